#include "net/EndpointDelegates.h"

#include <fmt/format.h>

namespace pagewell {

std::shared_ptr<CatalogueImporting> EndpointDelegates::importer() const {
    std::lock_guard lock(mutex_);
    return importer_;
}

std::shared_ptr<ChangeTimestamps> EndpointDelegates::timestamps() const {
    std::lock_guard lock(mutex_);
    return timestamps_;
}

std::shared_ptr<CurrentLocaleSource> EndpointDelegates::localeSource() const {
    std::lock_guard lock(mutex_);
    return localeSource_;
}

std::shared_ptr<TrackingConfiguring> EndpointDelegates::tracking() const {
    std::lock_guard lock(mutex_);
    return tracking_;
}

void EndpointDelegates::setImporter(std::shared_ptr<CatalogueImporting> importer) {
    std::lock_guard lock(mutex_);
    importer_ = std::move(importer);
}

void EndpointDelegates::setTimestamps(std::shared_ptr<ChangeTimestamps> timestamps) {
    std::lock_guard lock(mutex_);
    timestamps_ = std::move(timestamps);
}

void EndpointDelegates::setLocaleSource(std::shared_ptr<CurrentLocaleSource> localeSource) {
    std::lock_guard lock(mutex_);
    localeSource_ = std::move(localeSource);
}

void EndpointDelegates::setTracking(std::shared_ptr<TrackingConfiguring> tracking) {
    std::lock_guard lock(mutex_);
    tracking_ = std::move(tracking);
}

void EndpointDelegates::reset() {
    std::lock_guard lock(mutex_);
    importer_.reset();
    timestamps_.reset();
    localeSource_.reset();
    tracking_.reset();
}

Error EndpointDelegates::missing(const char* what) {
    return Error::make(kMissingDelegateDomain, -1, fmt::format("No {} is registered.", what));
}

EndpointDelegates& EndpointDelegates::shared() {
    static EndpointDelegates delegates;
    return delegates;
}

}  // namespace pagewell
