#include "sync/FileDownloadOperation.h"

#include <utility>

namespace pagewell {

struct FileDownloadOperation::State {
    Completion completion;
    Progress progress;
    ErrorCallback error;
    Environment environment;
};

FileDownloadOperation::FileDownloadOperation(std::int64_t fileID, Completion completion,
                                             Progress progress, ErrorCallback error)
    : FileDownloadOperation(fileID, std::move(completion), std::move(progress), std::move(error),
                            sharedEnvironment()) {}

FileDownloadOperation::FileDownloadOperation(std::int64_t fileID, Completion completion,
                                             Progress progress, ErrorCallback error,
                                             Environment environment)
    : fileID_(fileID), state_(std::make_shared<State>()) {
    state_->completion = std::move(completion);
    state_->progress = std::move(progress);
    state_->error = std::move(error);
    state_->environment = std::move(environment);
}

FileDownloadOperation::~FileDownloadOperation() = default;

FileDownloadOperation::Environment FileDownloadOperation::sharedEnvironment() {
    return {};
}

void FileDownloadOperation::setSharedEnvironment(Environment) {}

std::string FileDownloadOperation::notificationNameForProgressChangeForFileWithID(
    std::int64_t fileID) {
    return kProgressNotificationPrefix + std::to_string(fileID);
}

std::string FileDownloadOperation::notificationNameForErrorForFileWithID(std::int64_t fileID) {
    return kErrorNotificationPrefix + std::to_string(fileID);
}

void FileDownloadOperation::main() {
    if (auto completion = std::exchange(state_->completion, nullptr)) {
        completion();
    }
    finish();
}

void FileDownloadOperation::onCancel() {}

}  // namespace pagewell
