#pragma once
// What the download operation's tests share: a probe that collects one operation's callbacks
// and its file's notifications, and catalogue records written straight into the store (a file
// with an optional thumbnail and resources), so each test shows exactly the records it needs.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/MainQueue.h"
#include "store/File.h"
#include "store/FileState.h"
#include "store/PersistentStore.h"
#include "store/Resource.h"
#include "store/StoredPath.h"
#include "store/Thumbnail.h"
#include "sync/FileDownloadOperation.h"

namespace pagewell::test {

struct DownloadOutcome {
    int completions = 0;
    std::vector<Error> errors;
    std::vector<double> progress;
    std::vector<FileDownloadOperation::ProgressInfo> progressNotifications;
    std::vector<FileDownloadOperation::ErrorInfo> errorNotifications;

    int reports() const { return completions + static_cast<int>(errors.size()); }
};

// Makes operations for one file and keeps what they report.
class DownloadProbe {
  public:
    explicit DownloadProbe(std::int64_t fileID)
        : fileID_(fileID), outcome_(std::make_shared<DownloadOutcome>()) {
        auto outcome = outcome_;
        progressToken_ = FileDownloadOperation::addObserverForProgressChangeForFileWithID(
            fileID, [outcome](const FileDownloadOperation::ProgressInfo& info) {
                outcome->progressNotifications.push_back(info);
            });
        errorToken_ = FileDownloadOperation::addObserverForErrorsForFileWithID(
            fileID, [outcome](const FileDownloadOperation::ErrorInfo& info) {
                outcome->errorNotifications.push_back(info);
            });
    }
    ~DownloadProbe() {
        FileDownloadOperation::removeObserverForProgressChangeForFileWithID(fileID_,
                                                                            progressToken_);
        FileDownloadOperation::removeObserverForErrorsForFileWithID(fileID_, errorToken_);
    }
    DownloadProbe(const DownloadProbe&) = delete;
    DownloadProbe& operator=(const DownloadProbe&) = delete;

    std::shared_ptr<FileDownloadOperation> make(FileDownloadOperation::Environment environment) {
        auto outcome = outcome_;
        return std::make_shared<FileDownloadOperation>(
            fileID_, [outcome] { ++outcome->completions; },
            [outcome](double fraction) { outcome->progress.push_back(fraction); },
            [outcome](const Error& error) { outcome->errors.push_back(error); },
            std::move(environment));
    }

    // Starts an operation on this thread and runs the main queue until it has reported and
    // finished; handlers queued behind it run too, so a second report would be seen.
    const DownloadOutcome& run(FileDownloadOperation::Environment environment) {
        auto operation = make(std::move(environment));
        operation->start();
        EXPECT_TRUE(MainQueue::shared().runUntil(
            [&] { return outcome_->reports() > 0 && operation->isFinished(); },
            std::chrono::seconds(30)));
        MainQueue::shared().poll();
        return *outcome_;
    }

    const DownloadOutcome& outcome() const { return *outcome_; }

  private:
    std::int64_t fileID_;
    std::shared_ptr<DownloadOutcome> outcome_;
    NotificationCenter::Token progressToken_ = 0;
    NotificationCenter::Token errorToken_ = 0;
};

// A file record as the importer leaves a new or changed file: not downloaded, an update
// pending, and hidden for the user (when one is given) until it arrives.
struct FileRecord {
    std::int64_t cmsID = 0;
    std::optional<std::string> url;
    std::optional<std::string> thumbnailURL;  // none: the file has no thumbnail record
    std::vector<std::optional<std::string>> resourceURLs;
    std::optional<std::string> filePath;
    std::optional<std::int64_t> userKey;
};

inline FileRecord fileRecord(std::int64_t cmsID, std::optional<std::string> url,
                             std::optional<std::string> thumbnailURL = std::nullopt,
                             std::vector<std::optional<std::string>> resourceURLs = {}) {
    FileRecord record;
    record.cmsID = cmsID;
    record.url = std::move(url);
    record.thumbnailURL = std::move(thumbnailURL);
    record.resourceURLs = std::move(resourceURLs);
    return record;
}

inline File addFileRecord(StoreContext& main, const FileRecord& record) {
    File file;
    EXPECT_TRUE(main.beginWrite().ok());
    file.cmsID = record.cmsID;
    file.title = "File " + std::to_string(record.cmsID);
    file.fileURL = record.url;
    file.filePath = record.filePath;
    file.updateAvailable = true;
    EXPECT_TRUE(file.update(main).ok());
    if (record.thumbnailURL) {
        Thumbnail thumbnail;
        thumbnail.cmsID = record.cmsID;
        thumbnail.fileURL = record.thumbnailURL;
        EXPECT_TRUE(thumbnail.update(main).ok());
        EXPECT_TRUE(thumbnail.addFile(main, file.pk).ok());
    }
    std::int64_t position = 0;
    for (const auto& url : record.resourceURLs) {
        Resource resource;
        resource.cmsID = record.cmsID * 100 + position;
        resource.url = url;
        resource.position = position++;
        resource.fileKey = file.pk;
        EXPECT_TRUE(resource.update(main).ok());
    }
    if (record.userKey) {
        EXPECT_TRUE(file.addUser(main, *record.userKey).ok());
        auto state = file.addFileStateForUser(main, *record.userKey);
        EXPECT_TRUE(state.ok() && state.value());
        if (state.ok() && state.value()) {
            FileState hidden = *state.value();
            hidden.pretendDeletion = true;
            EXPECT_TRUE(main.beginWrite().ok());
            EXPECT_TRUE(hidden.update(main).ok());
        }
    }
    EXPECT_TRUE(main.save().ok());
    return file;
}

inline File storedFile(StoreContext& main, std::int64_t cmsID) {
    auto found = File::findWithCmsID(main, cmsID);
    EXPECT_TRUE(found.ok() && found.value());
    return found.ok() && found.value() ? *found.value() : File{};
}

// Every entry of the item directory whose name holds `text`.
inline std::vector<std::string> entriesNamed(const std::filesystem::path& directory,
                                             const std::string& text) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(directory, ignored)) {
        const std::string name = entry.path().filename().string();
        if (name.find(text) != std::string::npos) {
            names.push_back(name);
        }
    }
    return names;
}

}  // namespace pagewell::test
