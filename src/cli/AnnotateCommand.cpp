#include "cli/AnnotateCommand.h"

#include <fmt/format.h>
#include <openssl/evp.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cmath>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>

#include "cli/CatalogueSession.h"
#include "cli/CommandContext.h"
#include "cli/DataDirectoryGuard.h"
#include "cli/ExitCode.h"
#include "pdfkit/PdfDocumentHandle.h"
#include "pdfkit/PdfPage.h"
#include "pdfkit/PdfPageRenderer.h"
#include "pdfkit/VXPDFTransform.h"
#include "platform/FileAreas.h"
#include "platform/FileSystem.h"
#include "platform/MainQueue.h"
#include "platform/Presenter.h"
#include "platform/PropertyList.h"
#include "redlining/RedliningImage.h"
#include "redlining/RedliningPdfExport.h"
#include "redlining/VXRedliningLineObject.h"
#include "redlining/VXRedliningObjectManager.h"
#include "redlining/VXRedliningPage.h"
#include "redlining/VXRedliningStateManager.h"
#include "redlining/VXRedliningTextObject.h"
#include "store/File.h"
#include "store/PersistentStore.h"
#include "store/RedliningFileName.h"
#include "store/StoredPath.h"

namespace pagewell::cli {

namespace {

using G = VXRedliningObject;
constexpr std::uintmax_t kMaxImageFileBytes = 64ull << 20;

// A usage fault (exit 2) or a failure (exit 1), with its message.
struct Refusal {
    int code;
    std::string message;
};

std::optional<double> number(const std::string& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value) || std::abs(value) > 1e6) {
        return std::nullopt;
    }
    return value;
}

std::optional<RedliningPoint> point(const std::string& text) {
    auto comma = text.find(',');
    if (comma == std::string::npos) {
        return std::nullopt;
    }
    auto x = number(text.substr(0, comma));
    auto y = number(text.substr(comma + 1));
    if (!x || !y) {
        return std::nullopt;
    }
    return RedliningPoint{*x, *y};
}

std::optional<RedliningColor> color(std::string text) {
    if (text.size() == 7) {
        text += "FF";
    }
    if (text.size() != 9 || text[0] != '#' ||
        text.find_first_not_of("0123456789abcdefABCDEF", 1) != std::string::npos) {
        return std::nullopt;
    }
    auto byte = [&](int i) { return std::stoi(text.substr(1 + 2 * i, 2), nullptr, 16) / 255.0; };
    return RedliningColor{byte(0), byte(1), byte(2), byte(3)};
}

std::string sha256(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += fmt::format("{:02x}", digest[i]);
    }
    return hex;
}

std::string fileDigest(const std::filesystem::path& path) {
    auto bytes = FileSystem::readFile(path);
    return bytes ? sha256(bytes.value()) : std::string();
}

nlohmann::json describe(const VXRedliningObject& object, std::size_t index) {
    static const char* kinds[] = {"stroke", "ellipse", "rect", "text", "image"};
    RedliningRect b = object.boundsOnOverlay();
    const RedliningTransform& t = object.transform();
    nlohmann::json entry = {
        {"index", index},
        {"kind", kinds[static_cast<int>(object.kind())]},
        {"color", object.strokeColor().hex()},
        {"lineWidth", object.lineWidth()},
        {"opacity", object.opacity()},
        {"dash", object.lineDashPattern().empty() ? nlohmann::json(nullptr)
                                                  : nlohmann::json(object.lineDashPattern())},
        {"bounds", {b.x, b.y, b.width, b.height}},
        {"transform", {t.a, t.b, t.c, t.d, t.tx, t.ty}}};
    if (const auto* text = dynamic_cast<const VXRedliningTextObject*>(&object)) {
        entry["text"] = text->text();
    }
    return entry;
}

class Session {
  public:
    Session(const CommandContext& context, const AnnotateCommand::Options& options)
        : context_(context), options_(options) {}

    int run() {
        DataDirectoryGuard guard(context_);
        if (!guard.acquired()) {
            return guard.exitCode();
        }
        if (int prepared = CatalogueSession::prepareSignedIn(context_); prepared != kExitSuccess) {
            return prepared;
        }
        if (auto refused = open()) {
            context_.output.failure(refused->message);
            return refused->code;
        }
        auto refused = perform();
        if (refused) {
            context_.output.failure(refused->message);
            return refused->code;
        }
        return kExitSuccess;
    }

  private:
    std::optional<Refusal> open() {
        StoreContext& store = PersistentStore::shared()->mainContext();
        auto found = File::findWithCmsID(store, options_.fileID);
        if (!found.ok()) {
            return Refusal{kExitFailure, found.error().description};
        }
        if (!found.value()) {
            return Refusal{kExitFailure,
                           fmt::format("there is no file with id {}", options_.fileID)};
        }
        const File& file = *found.value();
        std::error_code error;
        const FileAreas& areas = FileAreas::shared();
        std::optional<std::filesystem::path> local;
        if (file.filePath) {
            local = StoredPath::resolveInsideAreas(*file.filePath);
        }
        if (!local || !std::filesystem::is_regular_file(*local, error)) {
            return Refusal{kExitFailure,
                           fmt::format("file {} is not on this device", options_.fileID)};
        }
        auto id = file.getUserRedliningId();
        if (!id) {
            return Refusal{kExitFailure, "the file has no annotation key"};
        }
        pdfId_ = *id;
        auto document = PdfDocumentHandle::createWithPath(local->string());
        if (!document.ok()) {
            return Refusal{kExitFailure, "the file is no readable PDF"};
        }
        document_ = document.value();
        localPath_ = *local;
        int page = options_.page == 0 ? 1 : options_.page;
        if (page < 1 || page > document_->numberOfPages()) {
            return Refusal{kExitFailure, fmt::format("there is no page {} (the document has {})",
                                                     page, document_->numberOfPages())};
        }
        pageNumber_ = page;
        auto shown = shownRect(page);
        if (!shown) {
            return Refusal{kExitFailure, fmt::format("page {} is empty", page)};
        }
        overlay_ = *shown;

        manager_.setRedliningSaveBasePath(areas.documents() / "redlining");
        manager_.setPDFID(pdfId_);
        if (!manager_.loadRedliningFromFile()) {
            if (options_.action == "list") {
                return Refusal{kExitFailure, "the annotation set cannot be read"};
            }
            context_.output.note(
                "pagewell: the annotation set cannot be read; the next save keeps it aside");
        } else if (manager_.loadWasIncomplete()) {
            context_.output.note("pagewell: part of the annotation set could not be read");
        }
        historyPath_ =
            areas.caches() / "redlining" / (RedliningFileName::stem(pdfId_) + ".history");
        loadHistory();
        return std::nullopt;
    }

    std::optional<RedliningRect> shownRect(int page) const {
        auto pdfPage = document_->page(page);
        if (!pdfPage) {
            return std::nullopt;
        }
        PdfRect shown = VXPDFTransform::scaledPageRect(PdfPageRenderer::visibleBox(*pdfPage),
                                                       pdfPage->rotationAngle(), {});
        if (shown.isEmpty()) {
            return std::nullopt;
        }
        return RedliningRect{0, 0, shown.width, shown.height};
    }

    void loadHistory() {
        std::error_code error;
        if (!std::filesystem::exists(historyPath_, error)) {
            return;
        }
        auto stored = PropertyList::readFile(historyPath_.string());
        const PlistValue* digest = stored ? stored.value().find("digest") : nullptr;
        const PlistValue* history = stored ? stored.value().find("history") : nullptr;
        if (digest && history &&
            digest->stringValue() == fileDigest(manager_.redliningSavePath()) &&
            manager_.undoManager().restoreHistory(*history).ok()) {
            return;
        }
        context_.output.note(
            "pagewell: the undo history was dropped: the annotations changed elsewhere");
        std::filesystem::remove(historyPath_, error);
    }

    std::optional<Refusal> save() {
        Status saved = manager_.saveRedliningToFile();
        if (!saved) {
            return Refusal{kExitFailure,
                           "the annotations cannot be saved: " + saved.error().description};
        }
        if (!manager_.lastKeptOriginal().empty()) {
            context_.output.note(
                fmt::format("pagewell: the unreadable annotation set was kept as {}",
                            manager_.lastKeptOriginal().string()));
        }
        PlistDict stored;
        stored["digest"] = PlistValue(fileDigest(manager_.redliningSavePath()));
        stored["history"] = manager_.undoManager().history();
        if (Status created = FileSystem::createDirectories(historyPath_.parent_path()); created) {
            (void)PropertyList::writeFile(historyPath_.string(), PlistValue(std::move(stored)));
        }
        return std::nullopt;
    }

    std::optional<Refusal> styleState() {
        auto& state = VXRedliningStateManager::getInstance();
        if (!options_.color.empty()) {
            auto c = color(options_.color);
            if (!c) {
                return Refusal{kExitUsage, "--color wants #RRGGBB or #RRGGBBAA"};
            }
            state.setCurrentColor(*c);
        }
        if (!options_.width.empty()) {
            auto w = number(options_.width);
            if (!w || *w <= 0 || *w > 500) {
                return Refusal{kExitUsage, "--width wants a number above 0 and up to 500"};
            }
            state.setCurrentLineWidth(*w);
        }
        if (!options_.alpha.empty()) {
            auto a = number(options_.alpha);
            if (!a || *a < 0 || *a > 1) {
                return Refusal{kExitUsage, "--alpha wants a number from 0 to 1"};
            }
            state.setCurrentAlphaValue(*a);
        }
        if (!options_.dash.empty()) {
            std::vector<double> pattern;
            std::size_t start = 0;
            while (start <= options_.dash.size()) {
                auto end = options_.dash.find(',', start);
                auto v = number(options_.dash.substr(start, end - start));
                if (!v || *v <= 0) {
                    return Refusal{kExitUsage, "--dash wants lengths above 0, like 14,7"};
                }
                pattern.push_back(*v);
                if (end == std::string::npos) {
                    break;
                }
                start = end + 1;
            }
            state.setCurrentLineDashPattern(pattern);
        }
        return std::nullopt;
    }

    std::optional<Refusal> indices(std::vector<RedliningObjectPtr>& out) {
        const auto* objects = manager_.getRedliningObjectsForPage(pageNumber_);
        if (!options_.at.empty()) {
            auto p = point(options_.at);
            if (!p) {
                return Refusal{kExitUsage, "--at wants X,Y"};
            }
            if (objects) {
                for (const auto& object : *objects) {
                    if (object->pathHitTest(*p)) {
                        out.push_back(object);
                    }
                }
            }
            if (out.empty()) {
                return Refusal{kExitFailure, "no object there"};
            }
            return std::nullopt;
        }
        for (const auto& text : options_.arguments) {
            auto n = number(text);
            if (!n || *n < 0 || *n != std::floor(*n)) {
                return Refusal{kExitUsage, fmt::format("{} is no object index", text)};
            }
            auto index = static_cast<std::size_t>(*n);
            if (!objects || index >= objects->size()) {
                return Refusal{kExitFailure,
                               fmt::format("there is no object {} on page {}", index, pageNumber_)};
            }
            out.push_back((*objects)[index]);
        }
        if (out.empty()) {
            return Refusal{kExitUsage, "name the objects by index or --at X,Y"};
        }
        return std::nullopt;
    }

    std::optional<Refusal> changed(const std::vector<RedliningObjectPtr>& touched,
                                   const std::string& what) {
        if (auto refused = save()) {
            return refused;
        }
        std::vector<std::size_t> indices;
        if (const auto* objects = manager_.getRedliningObjectsForPage(pageNumber_)) {
            for (const auto& object : touched) {
                auto it = std::find(objects->begin(), objects->end(), object);
                if (it != objects->end()) {
                    indices.push_back(static_cast<std::size_t>(it - objects->begin()));
                }
            }
        }
        context_.output.result(
            fmt::format("{} on page {}{}", what, pageNumber_,
                        indices.empty() ? "" : fmt::format(": {}", fmt::join(indices, ", "))),
            {{"document", pdfId_},
             {"pages", {pageNumber_}},
             {"indices", indices},
             {"canUndo", manager_.undoManager().canUndo()},
             {"canRedo", manager_.undoManager().canRedo()}});
        return std::nullopt;
    }

    std::optional<Refusal> list() {
        nlohmann::json pages = nlohmann::json::array();
        std::string text;
        std::optional<RedliningPoint> at;
        if (!options_.at.empty()) {
            at = point(options_.at);
            if (!at) {
                return Refusal{kExitUsage, "--at wants X,Y"};
            }
        }
        for (const auto& [page, objects] : manager_.getRedliningObjects()) {
            if (options_.page != 0 && page != options_.page) {
                continue;
            }
            // Objects are shown at the size of their own page.
            std::unique_ptr<VXRedliningPage> overlay;
            if (auto shown = shownRect(page)) {
                overlay = std::make_unique<VXRedliningPage>(page, *shown, manager_,
                                                            VXRedliningStateManager::getInstance());
            }
            nlohmann::json entries = nlohmann::json::array();
            for (std::size_t i = 0; i < objects.size(); ++i) {
                if (at && !objects[i]->pathHitTest(*at)) {
                    continue;
                }
                auto entry = describe(*objects[i], i);
                const auto& b = entry["bounds"];
                text += fmt::format("page {} #{} {} {} at {:.0f},{:.0f} size {:.0f}x{:.0f}\n", page,
                                    i, entry["kind"].get<std::string>(),
                                    entry["color"].get<std::string>(), b[0].get<double>(),
                                    b[1].get<double>(), b[2].get<double>(), b[3].get<double>());
                entries.push_back(std::move(entry));
            }
            pages.push_back({{"page", page}, {"objects", std::move(entries)}});
        }
        if (text.empty()) {
            text = "No annotations.\n";
        }
        context_.output.result(text, {{"document", pdfId_},
                                      {"pages", std::move(pages)},
                                      {"canUndo", manager_.undoManager().canUndo()},
                                      {"canRedo", manager_.undoManager().canRedo()}});
        return std::nullopt;
    }

    std::optional<Refusal> add() {
        if (options_.arguments.empty()) {
            return Refusal{kExitUsage,
                           "add wants a kind: pen, marker, line, rect, ellipse, text, image"};
        }
        const std::string kind = options_.arguments.front();
        std::vector<RedliningPoint> points;
        for (std::size_t i = 1; i < options_.arguments.size(); ++i) {
            auto p = point(options_.arguments[i]);
            if (!p) {
                return Refusal{kExitUsage,
                               fmt::format("{} is no point X,Y", options_.arguments[i])};
            }
            points.push_back(*p);
        }
        static const std::map<std::string, int> types = {{"pen", 0},     {"marker", 1}, {"line", 0},
                                                         {"ellipse", 2}, {"rect", 3},   {"text", 4},
                                                         {"image", 5}};
        auto type = types.find(kind);
        if (type == types.end()) {
            return Refusal{kExitUsage, fmt::format("{} is no kind of annotation", kind)};
        }
        bool stroke = kind == "pen" || kind == "marker";
        if ((stroke && points.size() < 5) || (!stroke && points.size() != 2)) {
            return Refusal{kExitUsage, stroke ? "a stroke wants at least five points"
                                              : "a shape wants two corners"};
        }
        auto& state = VXRedliningStateManager::getInstance();
        state.resetToDefaultState();
        state.setCurrentDrawType(type->second);
        if (kind == "marker") {
            state.setCurrentLineWidth(14.0);
            state.setCurrentAlphaValue(0.4);
        }
        state.setCurrentText(options_.text);
        if (auto refused = styleState()) {
            return refused;
        }
        state.setPaintMode(true);
        VXRedliningPage page(pageNumber_, overlay_, manager_, state);
        if (kind == "image") {
            std::error_code error;
            auto size = std::filesystem::file_size(options_.image, error);
            if (options_.image.empty() || error) {
                return Refusal{kExitFailure, "add image wants --image FILE, a readable picture"};
            }
            if (size > kMaxImageFileBytes) {
                return Refusal{kExitFailure, "the picture file is too large"};
            }
            auto bytes = FileSystem::readFile(options_.image);
            if (!bytes || !RedliningImage::pixelSize(bytes.value())) {
                return Refusal{kExitFailure, "the picture is no PNG or JPEG"};
            }
            page.setPendingImage(bytes.value());
        }
        std::size_t before = manager_.getRedliningObjectsForPage(pageNumber_)
                                 ? manager_.getRedliningObjectsForPage(pageNumber_)->size()
                                 : 0;
        if (kind == "line") {
            auto line = std::make_shared<VXRedliningLineObject>(
                RedliningRect{0, 0, overlay_.width, overlay_.height});
            RedliningPath path;
            path.moveTo(points[0]);
            path.lineTo(points[1]);
            line->setPath(path);
            if (!line->drawsSomething() || (points[0] == points[1])) {
                return Refusal{kExitUsage, "a line wants two different points"};
            }
            manager_.addRedliningObject(line, pageNumber_);
        } else {
            // Every point is a touch (the first begins, the others move); the gesture then
            // ends where the last one was.
            std::vector<RedliningPoint> feed = points;
            feed.push_back(points.back());
            for (std::size_t i = 0; i < feed.size(); ++i) {
                page.pan(feed[i], i == 0 ? G::Began : i + 1 == feed.size() ? G::Ended : G::Changed);
            }
        }
        const auto* objects = manager_.getRedliningObjectsForPage(pageNumber_);
        if (!objects || objects->size() == before) {
            return Refusal{kExitFailure, "the drawing shows nothing and was not added"};
        }
        return changed({objects->back()}, "Added");
    }

    std::optional<Refusal> exportCopy() {
        if (options_.output.empty()) {
            return Refusal{kExitUsage, "export wants -o OUT.pdf"};
        }
        std::vector<int> only;
        std::size_t start = 0;
        while (!options_.pages.empty() && start <= options_.pages.size()) {
            auto end = options_.pages.find(',', start);
            auto n = number(options_.pages.substr(start, end - start));
            if (!n || *n < 1 || *n != std::floor(*n)) {
                return Refusal{kExitUsage, "--pages wants page numbers like 1,3"};
            }
            if (*n > document_->numberOfPages()) {
                return Refusal{kExitFailure, fmt::format("there is no page {}", *n)};
            }
            only.push_back(static_cast<int>(*n));
            if (end == std::string::npos) {
                break;
            }
            start = end + 1;
        }
        auto written = options_.asAnnotations
                           ? RedliningPdfExport::asAnnotations(localPath_, options_.output,
                                                               manager_.getRedliningObjects(), only)
                           : RedliningPdfExport::burnIn(localPath_, options_.output,
                                                        manager_.getRedliningObjects(), only);
        if (!written) {
            return Refusal{kExitFailure, written.error().description};
        }
        const auto& summary = written.value();
        context_.output.result(
            fmt::format("Wrote {} ({} pages, drawings on {})", options_.output, summary.pages,
                        summary.annotatedPages.empty()
                            ? std::string("none")
                            : fmt::format("{}", fmt::join(summary.annotatedPages, ", "))),
            {{"output", options_.output},
             {"pages", summary.pages},
             {"annotatedPages", summary.annotatedPages},
             {"mode", options_.asAnnotations ? "annotations" : "burned-in"}});
        return std::nullopt;
    }

    std::optional<Refusal> perform() {
        const std::string& action = options_.action;
        if (action == "list") {
            return list();
        }
        if (action == "add") {
            return add();
        }
        if (action == "export") {
            return exportCopy();
        }
        if (action == "undo" || action == "redo") {
            bool done =
                action == "undo" ? manager_.undoManager().undo() : manager_.undoManager().redo();
            if (!done) {
                return Refusal{kExitFailure, fmt::format("nothing to {}", action)};
            }
            return changed({}, action == "undo" ? "Undone" : "Redone");
        }
        if (action == "clear") {
            if (!manager_.pdfHasRedlining()) {
                return Refusal{kExitFailure, "there are no annotations"};
            }
            Alert alert;
            alert.title = "Redlining";
            alert.message =
                "Do you really want to remove ALL redlining objects from this document?";
            alert.cancelButtonTitle = "NO";
            alert.otherButtonTitles = {"YES"};
            std::optional<int> answer;
            Presenter::shared().showAlert(alert, [&answer](int button) { answer = button; });
            MainQueue::shared().runUntil([&] { return answer.has_value(); },
                                         std::chrono::minutes(3));
            if (answer != alert.firstOtherButtonIndex()) {
                context_.output.note("Nothing was removed.");
                return Refusal{kExitFailure, "declined"};
            }
            manager_.removeAllRedliningObjects();
            return changed({}, "Removed every annotation");
        }
        std::vector<RedliningObjectPtr> targets;
        if (action == "erase" || action == "move" || action == "scale" || action == "rotate" ||
            action == "style") {
            if (auto refused = indices(targets)) {
                return refused;
            }
        } else {
            return Refusal{kExitUsage, fmt::format("{} is no annotate action", action)};
        }
        if (action == "erase") {
            manager_.undoManager().beginGroup();
            for (const auto& object : targets) {
                manager_.removeRedliningObject(object, pageNumber_);
            }
            manager_.undoManager().endGroup();
            return changed({}, fmt::format("Erased {} object{}", targets.size(),
                                           targets.size() == 1 ? "" : "s"));
        }
        if (action == "style") {
            auto& state = VXRedliningStateManager::getInstance();
            state.resetToDefaultState();
            if (auto refused = styleState()) {
                return refused;
            }
            for (const auto& object : targets) {
                if (!options_.color.empty()) {
                    manager_.setLineColor(object, state.getCurrentColor());
                }
                if (!options_.width.empty()) {
                    manager_.setLineWidth(object, state.getCurrentLineWidth());
                }
                if (!options_.alpha.empty()) {
                    manager_.setLineAlpha(object, state.getCurrentAlphaValue());
                }
                if (!options_.dash.empty()) {
                    manager_.setLineDashPattern(object, state.getCurrentLineDashPattern());
                }
            }
            return changed(targets, "Restyled");
        }
        RedliningTransform change;
        if (action == "move") {
            auto by = point(options_.by);
            if (!by) {
                return Refusal{kExitUsage, "move wants --by DX,DY"};
            }
            change = RedliningTransform::translation(by->x, by->y);
            manager_.transformObjects(targets, change);
        } else {
            auto by = number(options_.by);
            if (!by || (action == "scale" && !(*by > 0 && *by <= 100))) {
                return Refusal{kExitUsage, action == "scale"
                                               ? "scale wants --by F, above 0 and up to 100"
                                               : "rotate wants --by DEGREES"};
            }
            manager_.undoManager().beginGroup();
            for (const auto& object : targets) {
                RedliningTransform inner = action == "scale"
                                               ? RedliningTransform::scale(*by, *by)
                                               : RedliningTransform::rotation(*by * M_PI / 180);
                RedliningTransform target = object->transform().after(inner);
                manager_.transformObjects({object}, target.after(*object->transform().inverted()));
            }
            manager_.undoManager().endGroup();
        }
        return changed(targets, action == "move"    ? "Moved"
                                : action == "scale" ? "Scaled"
                                                    : "Rotated");
    }

    const CommandContext& context_;
    const AnnotateCommand::Options& options_;
    std::string pdfId_;
    std::shared_ptr<PdfDocumentHandle> document_;
    std::filesystem::path localPath_;
    int pageNumber_ = 1;
    RedliningRect overlay_;
    VXRedliningObjectManager manager_;
    std::filesystem::path historyPath_;
};

}  // namespace

void AnnotateCommand::add(CLI::App& parent, int& exitCode) {
    CLI::App* command = parent.add_subcommand(
        "annotate", "Draw on a downloaded file's pages, list, change, undo and redo your drawings");
    command->add_option("ID", options_.fileID, "The file's id")->required();
    command
        ->add_option("ACTION", options_.action,
                     "list, add, erase, move, scale, rotate, style, clear, undo, redo")
        ->required();
    command->add_option("ARGS", options_.arguments, "The action's kind, points or indices");
    command->add_option("--page", options_.page, "The page, from 1")->check(CLI::PositiveNumber);
    command->add_option("--at", options_.at, "A point X,Y on the page");
    command->add_option("--color", options_.color, "#RRGGBB or #RRGGBBAA");
    command->add_option("--width", options_.width, "Line width in points");
    command->add_option("--alpha", options_.alpha, "Opacity from 0 to 1");
    command->add_option("--dash", options_.dash, "Dash lengths ON,OFF");
    command->add_option("--text", options_.text, "The text of a text note");
    command->add_option("--image", options_.image, "A PNG or JPEG picture");
    command->add_option("-o,--output", options_.output, "The copy export writes");
    command->add_option("--pages", options_.pages, "The pages export draws on, like 1,3");
    command->add_flag("--as-annotations", options_.asAnnotations,
                      "Export as markup annotations instead of drawing over the pages");
    command->add_option("--by", options_.by,
                        "DX,DY for move, a factor for scale, degrees for rotate");
    command->positionals_at_end(false);
    command->allow_extras(false);
    command->callback([this, &exitCode] { exitCode = run(context_, options_); });
}

int AnnotateCommand::run(const CommandContext& context, const Options& options) {
    return Session(context, options).run();
}

}  // namespace pagewell::cli
