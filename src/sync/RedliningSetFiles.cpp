#include "sync/RedliningSetFiles.h"

#include <system_error>

#include "platform/Logger.h"
#include "sync/RedliningMigration.h"

namespace pagewell {

RedliningSetFiles::RedliningSetFiles(std::shared_ptr<FileAreas> areas) : areas_(std::move(areas)) {}

void RedliningSetFiles::removeAnnotationSet(const std::string& identifier) {
    const FileAreas& areas = areas_ ? *areas_ : FileAreas::shared();
    std::error_code error;
    std::filesystem::remove(RedliningMigration::redliningFilePath(areas, identifier), error);
    if (error) {
        PW_LOG_ERROR("Error[{}]: {}", error.value(), error.message());
    }
}

}  // namespace pagewell
