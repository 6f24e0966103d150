#pragma once
// The synchronisation screen's test environment: the scripted sync manager of
// SyncManagerFixture, a scripted presenter for every question, a switchable connection with a
// counted offline-mode question, and a screen model whose display calls are recorded.

#include <memory>
#include <string>
#include <vector>

#include "ScriptedPresenter.h"
#include "platform/NotificationCenter.h"
#include "sync/FileDownloadOperation.h"
#include "sync/SyncManagerFixture.h"
#include "sync/SyncViewCell.h"
#include "sync/SyncViewController.h"

namespace pagewell {

// Everything the screen model told its view, in order.
struct DisplayLog {
    std::vector<std::string> events;  // "overlay on", "overlay off", "buttons busy", ...
    std::vector<SyncManager::FileOutcome> finishedFiles;
    int treeChanges = 0;
    int rowReloads = 0;
};

class SyncViewFixture : public SyncManagerFixture {
  protected:
    SyncViewCell::Services cellServices() {
        SyncViewCell::Services services;
        services.syncManager = manager_;
        services.store = store_;
        services.presenter = presenter_;
        return services;
    }

    // A screen over the manager made by makeManager().
    std::shared_ptr<SyncViewController> makeController() {
        SyncViewController::Services services;
        services.cell = cellServices();
        services.isReachable = [this] { return reachable_; };
        services.showOfflineModeAlert = [this](std::function<void(bool)> completion) {
            ++offlineQuestions_;
            completion(true);
        };
        services.renewToken = [this](SyncManager::TokenCompletion completion,
                                     SyncManager::ErrorCallback error) {
            ++renewals_;
            if (tokenError_) {
                error(*tokenError_);
            } else {
                completion(token_);
            }
        };
        auto log = display_;
        SyncViewController::Display display;
        display.overlay = [log](bool shown) {
            log->events.push_back(shown ? "overlay on" : "overlay off");
        };
        display.buttonsInProgress = [log](bool busy) {
            log->events.push_back(busy ? "buttons busy" : "buttons idle");
        };
        display.buttonsEnabled = [log](bool enabled) {
            log->events.push_back(enabled ? "buttons on" : "buttons off");
        };
        display.treeChanged = [log] { ++log->treeChanges; };
        display.fileFinished = [log](const SyncManager::FileOutcome& outcome) {
            log->finishedFiles.push_back(outcome);
        };
        display.reloadVisibleRows = [log] { ++log->rowReloads; };
        controller_ = SyncViewController::create(std::move(services), std::move(display));
        return controller_;
    }

    void TearDown() override {
        controller_.reset();
        SyncManagerFixture::TearDown();
    }

    // What the download operation posts for a file.
    static void postProgress(std::int64_t fileID, double progress) {
        NotificationCenter::shared().post(
            FileDownloadOperation::notificationNameForProgressChangeForFileWithID(fileID),
            FileDownloadOperation::ProgressInfo{progress, fileID});
    }
    static void postError(std::int64_t fileID, const Error& error) {
        NotificationCenter::shared().post(
            FileDownloadOperation::notificationNameForErrorForFileWithID(fileID),
            FileDownloadOperation::ErrorInfo{error, fileID});
    }

    File loadFile(std::int64_t pk) { return *File::find(main(), pk).value(); }

    // The alert shown last; fails the test when none was shown.
    const ScriptedPresenter::Shown& lastAlert() {
        EXPECT_FALSE(presenter_->shown.empty());
        static const ScriptedPresenter::Shown none{};
        return presenter_->shown.empty() ? none : presenter_->shown.back();
    }

    std::shared_ptr<ScriptedPresenter> presenter_ = std::make_shared<ScriptedPresenter>();
    std::shared_ptr<DisplayLog> display_ = std::make_shared<DisplayLog>();
    std::shared_ptr<SyncViewController> controller_;
    bool reachable_ = true;
    int offlineQuestions_ = 0;
};

}  // namespace pagewell
