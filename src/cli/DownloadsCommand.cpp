#include "cli/DownloadsCommand.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <array>
#include <nlohmann/json.hpp>

#include "cli/CatalogueSession.h"
#include "cli/CommandContext.h"
#include "cli/ExitCode.h"
#include "cli/TerminalText.h"
#include "library/CategoryTree.h"
#include "library/CategoryWrapper.h"
#include "store/PersistentStore.h"
#include "sync/SyncViewCell.h"
#include "sync/SyncViewController.h"

namespace pagewell::cli {

namespace {

constexpr std::array<const char*, 5> kFilterWords = {"all", "downloaded", "not-downloaded", "error",
                                                     "update"};

// Renders one kept category and everything below it, as text lines and as JSON; each file's
// state is the one its row on the synchronisation screen would show.
class TreePrinter {
  public:
    TreePrinter(SyncViewController& screen, CategoryTree& tree, StoreContext& context)
        : screen_(screen), tree_(tree), context_(context) {}

    Status print(const CategoryWrapper& wrapper, int depth, nlohmann::json& into) {
        const FileCategory& category = wrapper.fileCategory;
        std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
        text_ +=
            fmt::format("{}{} [{}]\n", indent, TerminalText::escape(category.name.value_or("")),
                        category.cmsID.value_or(0));
        nlohmann::json node = {{"id", category.cmsID.value_or(0)},
                               {"name", category.name.value_or("")},
                               {"files", nlohmann::json::array()},
                               {"subcategories", nlohmann::json::array()}};
        auto files = tree_.filteredFiles(category, screen_.filter());
        if (!files.ok()) {
            return files.error();
        }
        for (const File& file : files.value()) {
            auto size = file.completeFileSize(context_);
            if (!size.ok()) {
                return size.error();
            }
            std::unique_ptr<SyncViewCell> row = screen_.makeCell(file);
            text_ +=
                fmt::format("{}  - {} [{}]  {}  {}\n", indent, TerminalText::escape(row->title()),
                            file.cmsID.value_or(0), row->sizeText(), row->buttonTitle());
            node["files"].push_back(
                {{"id", file.cmsID.value_or(0)},
                 {"title", file.title.value_or("")},
                 {"size", size.value()},
                 {"state", SyncViewCell::labelForState(row->buttonState()).fallback}});
        }
        for (const CategoryWrapper& child : wrapper.wrappedSubcategories) {
            if (Status printed = print(child, depth + 1, node["subcategories"]); !printed.ok()) {
                return printed;
            }
        }
        into.push_back(std::move(node));
        return {};
    }

    const std::string& text() const { return text_; }

  private:
    SyncViewController& screen_;
    CategoryTree& tree_;
    StoreContext& context_;
    std::string text_;
};

}  // namespace

std::optional<CategoryFilterType> DownloadsCommand::filterTypeNamed(const std::string& word) {
    for (std::size_t index = 0; index < kFilterWords.size(); ++index) {
        if (word == kFilterWords[index]) {
            return categoryFilterTypeFromInt(static_cast<std::int64_t>(index));
        }
    }
    return std::nullopt;
}

void DownloadsCommand::add(CLI::App& parent, int& exitCode) {
    CLI::App* command = parent.add_subcommand(
        "downloads", "Show the category tree with each file's size and download state");
    command
        ->add_option("--filter", filter_,
                     "Which files count: all, downloaded, not-downloaded, error or update")
        ->check(CLI::IsMember(std::vector<std::string>(kFilterWords.begin(), kFilterWords.end())));
    command->add_option("--keyword", keyword_,
                        "Keep the files whose title contains TEXT (replaces --filter)");
    command->callback([this, &exitCode] {
        CategoryFilter filter =
            keyword_ ? CategoryFilter::withKeyword(*keyword_)
                     : CategoryFilter::withType(
                           filterTypeNamed(filter_).value_or(CategoryFilterType::All));
        exitCode = run(context_, filter);
    });
}

int DownloadsCommand::run(const CommandContext& context, const CategoryFilter& filter) {
    if (int prepared = CatalogueSession::prepare(context); prepared != kExitSuccess) {
        return prepared;
    }
    std::shared_ptr<SyncViewController> screen = SyncViewController::create();
    if (filter.isKeyword()) {
        screen->setSearchText(*filter.keyword);
    } else {
        screen->setFilterType(filter.type);
    }
    CategoryTree tree = screen->makeTree();
    auto roots = CategoryWrapper::wrappedRootCategories(tree, screen->filter());
    if (!roots.ok()) {
        context.output.failure(roots.error().description, &roots.error());
        return kExitFailure;
    }
    TreePrinter printer(*screen, tree, PersistentStore::shared()->mainContext());
    nlohmann::json document = nlohmann::json::array();
    for (const CategoryWrapper& root : roots.value()) {
        if (Status printed = printer.print(root, 0, document); !printed.ok()) {
            context.output.failure(printed.error().description, &printed.error());
            return kExitFailure;
        }
    }
    std::string text = printer.text();
    if (roots.value().empty()) {
        text = filter.isKeyword() || filter.type != CategoryFilterType::All
                   ? "No file matches.\n"
                   : "The catalogue is empty; run `pagewell sync` first.\n";
    }
    context.output.result(text, document);
    return kExitSuccess;
}

}  // namespace pagewell::cli
