#include "cli/ShelfCommand.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <ctime>
#include <nlohmann/json.hpp>

#include "cli/CatalogueSession.h"
#include "cli/CommandContext.h"
#include "cli/ExitCode.h"
#include "cli/SyncReport.h"
#include "cli/TerminalText.h"
#include "library/ShelfCategoryPanel.h"
#include "library/ShelfViewController.h"
#include "platform/DataDirectoryLock.h"
#include "platform/FileAreas.h"
#include "platform/MainQueue.h"
#include "store/CurrentSelection.h"
#include "store/Database.h"
#include "store/FavoriteFolder.h"
#include "store/FileSizeText.h"
#include "store/PersistentStore.h"
#include "store/ServerDate.h"

namespace pagewell::cli {

namespace {

// How long one reload or server search may take before the command gives up on it.
constexpr std::chrono::minutes kServerWait{3};

struct Failure {
    int exitCode;
    std::string message;
};

std::optional<std::int64_t> numeric(const std::string& text) {
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return std::stoll(text);
}

// Runs a callback-style step on the main queue until it reports.
Status await(const std::function<void(ShelfViewController::Finished)>& step) {
    std::optional<Status> result;
    step([&result](const Status& status) { result = status; });
    if (!MainQueue::shared().runUntil([&result] { return result.has_value(); }, kServerWait)) {
        return Error::make(kAppErrorDomain, -1, "the server took too long to answer");
    }
    return *result;
}

std::string dayText(const std::optional<SystemTime>& time) {
    if (!time) {
        return "--.--.----";
    }
    const std::time_t value = std::chrono::system_clock::to_time_t(*time);
    std::tm fields{};
    localtime_r(&value, &fields);
    char buffer[16];
    std::strftime(buffer, sizeof buffer, "%d.%m.%Y", &fields);
    return buffer;
}

nlohmann::json dateJson(const std::optional<SystemTime>& time) {
    return time ? nlohmann::json(ServerDate::format(*time)) : nlohmann::json(nullptr);
}

// A category of the current locale that the user sees, by server id.
Result<std::optional<FileCategory>> visibleCategory(StoreContext& context, std::int64_t id) {
    auto statement = context.database().prepare(
        "SELECT c.pk FROM FileCategory c WHERE c.cmsID = ? AND c.locale = ? AND EXISTS (SELECT 1 "
        "FROM FileCategory_users u WHERE u.category = c.pk AND u.user = ?)");
    if (!statement.ok()) {
        return statement.error();
    }
    statement.value()->bindAll(id, CurrentSelection::localeKey().value_or(0),
                               CurrentSelection::userKey().value_or(0));
    auto row = statement.value()->step();
    std::optional<std::int64_t> pk;
    if (row.ok() && row.value()) {
        pk = statement.value()->integer(0);
    }
    statement.value()->reset();
    if (!row.ok()) {
        return row.error();
    }
    if (!pk) {
        return std::optional<FileCategory>();
    }
    return FileCategory::find(context, *pk);
}

// The row key of the record of `table` with that server id.
Result<std::optional<std::int64_t>> keyOf(StoreContext& context, const std::string& table,
                                          std::int64_t id) {
    auto statement =
        context.database().prepare("SELECT pk FROM " + table + " WHERE cmsID = ? LIMIT 1");
    if (!statement.ok()) {
        return statement.error();
    }
    statement.value()->bind(1, id);
    auto row = statement.value()->step();
    std::optional<std::int64_t> pk;
    if (row.ok() && row.value()) {
        pk = statement.value()->integer(0);
    }
    statement.value()->reset();
    if (!row.ok()) {
        return row.error();
    }
    return pk;
}

const char* sourceName(const ShelfDatabaseFilter& filter) {
    if (filter.isSearching()) {
        return "search";
    }
    switch (filter.filterType()) {
        case ShelfFilterType::AllFiles:
        case ShelfFilterType::HighlightFiles:
            return "highlights";
        case ShelfFilterType::Category:
            return "category";
        case ShelfFilterType::Favorites:
            return "favorites";
        case ShelfFilterType::FavoriteFolder:
            return "folder";
        case ShelfFilterType::Beacon:
            return "beacon";
        case ShelfFilterType::Customer:
            return "customer";
        case ShelfFilterType::QRCode:
            return "qrcode";
    }
    return "highlights";
}

const char* sortName(const ShelfDatabaseFilter& filter) {
    auto keys = filter.sortDescriptors();
    if (!keys || keys->empty()) {
        return "store";
    }
    switch (keys->front()) {
        case ShelfSortKey::ByTitle:
            return "title";
        case ShelfSortKey::ByLastModified:
            return "date";
        case ShelfSortKey::ByServerSetting:
            return "server";
        case ShelfSortKey::ByManualChoice:
            return "manual";
    }
    return "store";
}

}  // namespace

void ShelfCommand::add(CLI::App& parent, int& exitCode) {
    CLI::App* command = parent.add_subcommand(
        "shelf",
        "Show a shelf: highlights, categories [ID], favourites [FOLDER], locations, "
        "search TEXT");
    command->add_option("source", words_,
                        "highlights | categories [ID] | favourites [FOLDER] | locations | "
                        "search TEXT");
    command->add_option("--sort", sort_, "title, date, server or manual (favourites only)")
        ->check(CLI::IsMember({"title", "date", "server", "manual"}));
    command->add_flag("--mark-read", markRead_, "Mark every shown file as read");
    command->add_flag("--refresh", refresh_, "Reload the shelf from the server first");
    command->add_option("--move", move_, "Drag row FROM to row TO (favourites only)")->expected(2);
    command->add_flag("--covers", covers_, "Fetch missing covers and prepare them");
    command->add_flag("--local", local_, "Search the store only, as typing does");
    command->add_option("--beacon", beacon_, "The files of the beacon with that id");
    command->add_option("--customer", customer_, "The files of the customer site with that id");
    command->add_option("--qrcode", qrcode_, "The files of the QR code with that id");
    command->callback([this, &exitCode] { exitCode = run(); });
}

int ShelfCommand::run() {
    const Output& output = context_.output;
    auto usage = [&output](const std::string& message) {
        output.failure(message);
        return kExitUsage;
    };
    const std::string source = words_.empty() ? "highlights" : words_.front();
    const std::vector<std::string> rest(words_.begin() + (words_.empty() ? 0 : 1), words_.end());
    int shelfType = 0;
    if (source == "highlights" || source == "search") {
        shelfType = 1;
    } else if (source == "categories") {
        shelfType = 2;
    } else if (source == "favourites" || source == "favorites") {
        shelfType = 3;
    } else if (source == "locations") {
        shelfType = 4;
    } else {
        return usage("unknown shelf `" + TerminalText::escape(source) +
                     "`; choose highlights, categories, favourites, locations or search");
    }
    if (source == "search" ? rest.size() != 1 : rest.size() > 1) {
        return usage(source == "search" ? "search takes one TEXT (quote it)"
                                        : "too many arguments for `shelf " + source + "`");
    }
    if (shelfType != 3 && (sort_ == "manual" || !move_.empty())) {
        return usage("--sort manual and --move belong to favourites shelves only");
    }
    if (shelfType != 4 && (beacon_ || customer_ || qrcode_)) {
        return usage("--beacon, --customer and --qrcode belong to `shelf locations`");
    }
    if (local_ && source != "search") {
        return usage("--local belongs to `shelf search`");
    }
    std::optional<std::int64_t> sourceID;
    if (shelfType == 2 && !rest.empty()) {
        sourceID = numeric(rest.front());
        if (!sourceID) {
            return usage("a category id is a number: " + TerminalText::escape(rest.front()));
        }
    }
    std::optional<std::int64_t> locationID;
    for (const auto* given : {&beacon_, &customer_, &qrcode_}) {
        if (*given) {
            if (locationID) {
                return usage("choose one of --beacon, --customer and --qrcode");
            }
            locationID = numeric(**given);
            if (!locationID) {
                return usage("an id is a number: " + TerminalText::escape(**given));
            }
        }
    }
    std::optional<std::pair<std::int64_t, std::int64_t>> move;
    if (!move_.empty()) {
        auto from = numeric(move_[0]);
        auto to = numeric(move_.size() > 1 ? move_[1] : "");
        if (!from || !to || *from < 1 || *to < 1) {
            return usage("--move takes two row numbers from 1");
        }
        move.emplace(*from, *to);
    }
    if (covers_ && !coverStep_) {
        output.failure("covers cannot be prepared by this build");
        return kExitFailure;
    }

    if (int prepared = CatalogueSession::prepare(context_); prepared != kExitSuccess) {
        return prepared;
    }
    // Another process at work: list what the store holds, without reloading or writing.
    std::optional<DataDirectoryLock> lock;
    auto acquired =
        DataDirectoryLock::acquire(FileAreas::shared().lockFile(), std::chrono::milliseconds(0));
    const bool busy = !acquired.ok();
    if (busy) {
        if (acquired.error().domain != DataDirectoryLock::kErrorDomain ||
            acquired.error().code != DataDirectoryLock::kHeldElsewhere) {
            output.failure(acquired.error().description, &acquired.error());
            return kExitFailure;
        }
        if (markRead_ || move) {
            output.failure(acquired.error().description, &acquired.error());
            return kExitDataDirectoryBusy;
        }
        output.note(
            "another pagewell process is using the data directory; the shelf shows the store "
            "as it is, without reloading");
    } else {
        lock.emplace(std::move(acquired).value());
    }

    StoreContext& store = PersistentStore::shared()->mainContext();
    std::vector<std::string> warnings;
    ShelfViewController::Services services = ShelfViewController::Services::standard();
    services.showWarning = [&warnings](const std::string& text) { warnings.push_back(text); };
    if (context_.options.nonInteractive || context_.options.no) {
        // A "No" that nobody can take back would otherwise ask for ever.
        services.maxOfflineQuestions = 1;
    }
    auto shelf = ShelfViewController::initWithShelfType(shelfType, store, std::move(services));
    shelf->setReadOnly(busy);
    std::optional<Error> serverError;
    auto noteServer = [&serverError](const Status& status) {
        if (!status.ok()) {
            serverError = status.error();
        }
    };

    if (busy) {
        if (Status shown = shelf->updateContentFilter(); !shown.ok()) {
            output.failure(shown.error().description, &shown.error());
            return kExitFailure;
        }
    } else {
        noteServer(await([&](auto done) { shelf->viewWillAppear(done); }));
    }

    std::vector<ShelfCategoryPanel::Entry> categories;
    ShelfCategoryPanel panel(store);
    if (shelfType == 2) {
        if (sourceID) {
            auto category = visibleCategory(store, *sourceID);
            if (!category.ok() || !category.value()) {
                output.failure(category.ok()
                                   ? fmt::format("there is no category with id {}", *sourceID)
                                   : category.error().description);
                return kExitFailure;
            }
            noteServer(await([&](auto done) {
                shelf->didSelectCategory(*category.value(), true, !busy, done);
            }));
            auto children = panel.children(*category.value());
            if (children.ok()) {
                categories = std::move(children).value();
            }
        } else {
            auto roots = panel.roots();
            if (roots.ok()) {
                categories = std::move(roots).value();
            }
        }
    } else if (shelfType == 3 && !rest.empty()) {
        auto folders =
            FavoriteFolder::visibleFolders(store, CurrentSelection::userKey().value_or(0),
                                           CurrentSelection::localeKey().value_or(0));
        if (!folders.ok()) {
            output.failure(folders.error().description, &folders.error());
            return kExitFailure;
        }
        std::optional<FavoriteFolder> chosen;
        const auto id = numeric(rest.front());
        for (const FavoriteFolder& folder : folders.value()) {
            if ((id && folder.cmsID == id) || folder.title == rest.front()) {
                chosen = folder;
                break;
            }
        }
        if (!chosen) {
            output.failure("there is no favourite folder " + TerminalText::escape(rest.front()));
            return kExitFailure;
        }
        if (Status shown = shelf->didSelectFolder(chosen); !shown.ok()) {
            output.failure(shown.error().description, &shown.error());
            return kExitFailure;
        }
    } else if (shelfType == 4 && locationID) {
        const char* table = beacon_ ? "Beacon" : customer_ ? "CustomerLocation" : "QRCode";
        auto key = keyOf(store, table, *locationID);
        if (!key.ok() || !key.value()) {
            output.failure(fmt::format("there is no {} with id {}",
                                       beacon_     ? "beacon"
                                       : customer_ ? "customer site"
                                                   : "QR code",
                                       *locationID));
            return kExitFailure;
        }
        Status shown;
        if (beacon_) {
            shown = shelf->didSelectLocation({*Beacon::find(store, *key.value()).value(), {}, 0});
        } else if (customer_) {
            shown = shelf->didSelectLocation(
                {{}, *CustomerLocation::find(store, *key.value()).value(), 0});
        } else {
            shown = shelf->didScanQRCode(*QRCode::find(store, *key.value()).value());
        }
        if (!shown.ok()) {
            output.failure(shown.error().description, &shown.error());
            return kExitFailure;
        }
    } else if (source == "search") {
        if (local_ || busy) {
            if (Status shown = shelf->performSearchWithText(rest.front()); !shown.ok()) {
                output.failure(shown.error().description, &shown.error());
                return kExitFailure;
            }
        } else {
            noteServer(
                await([&](auto done) { shelf->startOnlineSearchWithKeyword(rest.front(), done); }));
        }
    }

    if (refresh_ && !busy) {
        noteServer(await([&](auto done) { shelf->refresh(done); }));
    }
    if (sort_) {
        using Action = ShelfViewController::MenuAction;
        const Action action = *sort_ == "title"    ? Action::SortTitle
                              : *sort_ == "date"   ? Action::SortDate
                              : *sort_ == "server" ? Action::SortServer
                                                   : Action::SortUser;
        if (Status sorted = shelf->chooseMenuEntry(action); !sorted.ok()) {
            output.failure(sorted.error().description, &sorted.error());
            return kExitFailure;
        }
    }
    if (move) {
        const std::size_t count = shelf->results()->count();
        if (static_cast<std::size_t>(move->first) > count ||
            static_cast<std::size_t>(move->second) > count) {
            return usage(fmt::format("the shelf has {} rows", count));
        }
        if (Status moved = shelf->moveRow(static_cast<std::size_t>(move->first - 1),
                                          static_cast<std::size_t>(move->second - 1));
            !moved.ok()) {
            output.failure(moved.error().description, &moved.error());
            return kExitFailure;
        }
    }
    if (markRead_) {
        if (Status marked = shelf->markAllDisplayedFilesAsRead(); !marked.ok()) {
            output.failure(marked.error().description, &marked.error());
            return kExitFailure;
        }
    }

    ShelfResultList& results = *shelf->results();
    auto rows = results.rows(0, results.count());
    if (!rows.ok()) {
        output.failure(rows.error().description, &rows.error());
        return kExitFailure;
    }
    std::map<std::int64_t, std::string> covers;
    if (coverStep_) {
        std::vector<File> files;
        for (const auto& row : rows.value()) {
            files.push_back(row.file);
        }
        auto prepared = coverStep_(files, covers_ && !busy);
        if (!prepared.ok()) {
            output.failure(prepared.error().description, &prepared.error());
            return kExitFailure;
        }
        covers = std::move(prepared).value();
    }

    const bool offline = !ShelfScope::current().reachable;
    const ShelfDatabaseFilter& filter = shelf->databaseFilter();
    nlohmann::json document = {{"title", shelf->title()},
                               {"source", sourceName(filter)},
                               {"offline", offline},
                               {"sort", sortName(filter)},
                               {"categories", nlohmann::json::array()},
                               {"files", nlohmann::json::array()}};
    std::string text = TerminalText::escape(shelf->title()) + "\n";
    for (const auto& entry : categories) {
        document["categories"].push_back(
            {{"id", entry.category.cmsID.value_or(0)},
             {"name", entry.category.name.value_or("")},
             {"position", entry.position ? nlohmann::json(*entry.position) : nlohmann::json()},
             {"hasSubcategories", entry.hasSubcategories}});
        text +=
            fmt::format("  > {} [{}]{}\n", TerminalText::escape(entry.category.name.value_or("")),
                        entry.category.cmsID.value_or(0), entry.hasSubcategories ? " +" : "");
    }
    for (const auto& row : rows.value()) {
        const File& file = row.file;
        nlohmann::json badges = nlohmann::json::array();
        std::string words;
        if (row.state.favorite) {
            badges.push_back("favorite");
            words += " favourite";
        }
        if (file.downloaded && !row.state.pretendDeletion) {
            badges.push_back("saved");
            words += " saved";
        }
        if (!row.state.read) {
            words += " new";
        }
        const std::string type = file.getFileTypeString();
        const std::string size = FileSizeText::stringFromFileSize(
            static_cast<std::uint64_t>(std::max<std::int64_t>(0, file.size.value_or(0))));
        auto cover = covers.find(file.pk);
        document["files"].push_back(
            {{"id", file.cmsID.value_or(0)},
             {"title", file.title.value_or("")},
             {"badges", badges},
             {"new", !row.state.read},
             {"created", dateJson(file.created)},
             {"modified", dateJson(file.modified)},
             {"size", file.size.value_or(0)},
             {"type", type},
             {"cover", cover != covers.end() ? nlohmann::json(cover->second) : nlohmann::json()}});
        text +=
            fmt::format("  [{}] {}{}  {} {}  {}  {}\n", file.cmsID.value_or(0),
                        TerminalText::escape(file.title.value_or("")), words, dayText(file.created),
                        dayText(file.modified), size, TerminalText::escape(type));
    }
    if (rows.value().empty()) {
        text += "  (no files)\n";
    }
    for (const std::string& warning : warnings) {
        output.note(warning);
    }
    output.result(text, document);
    if (serverError && SyncReport::isUnreachable(*serverError) && rows.value().empty() &&
        categories.empty()) {
        output.note(serverError->description);
        return kExitOffline;
    }
    return kExitSuccess;
}

}  // namespace pagewell::cli
