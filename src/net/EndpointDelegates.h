#pragma once
// The collaborators the endpoint operations reach through interfaces because they live in
// modules built on top of the request layer: the catalogue importer, the change timestamps, the
// current content language and the tracking manager. The start-up sequence registers the real
// ones once; tests register fakes. An operation that needs a collaborator nobody registered
// fails with kMissingDelegateDomain instead of touching the network.
//
// Threading: every member may be called from any thread; mutex_ guards the four pointers.
// Callers get shared pointers, so a replacement while an import runs keeps the old one alive
// until that import returns.

#include <memory>
#include <mutex>

#include "net/CatalogueImporting.h"
#include "net/ChangeTimestamps.h"
#include "net/CurrentLocaleSource.h"
#include "net/TrackingConfiguring.h"
#include "platform/Error.h"

namespace pagewell {

class EndpointDelegates {
  public:
    std::shared_ptr<CatalogueImporting> importer() const;
    std::shared_ptr<ChangeTimestamps> timestamps() const;
    std::shared_ptr<CurrentLocaleSource> localeSource() const;
    std::shared_ptr<TrackingConfiguring> tracking() const;

    void setImporter(std::shared_ptr<CatalogueImporting> importer);
    void setTimestamps(std::shared_ptr<ChangeTimestamps> timestamps);
    void setLocaleSource(std::shared_ptr<CurrentLocaleSource> localeSource);
    void setTracking(std::shared_ptr<TrackingConfiguring> tracking);
    // Forgets all four (tests start from a clean registry).
    void reset();

    // The error of an operation whose collaborator is missing; `what` names it ("importer").
    static Error missing(const char* what);

    static EndpointDelegates& shared();

    static constexpr const char* kMissingDelegateDomain = "VXErrorDomain";

  private:
    mutable std::mutex mutex_;
    std::shared_ptr<CatalogueImporting> importer_;       // guarded by mutex_
    std::shared_ptr<ChangeTimestamps> timestamps_;       // guarded by mutex_
    std::shared_ptr<CurrentLocaleSource> localeSource_;  // guarded by mutex_
    std::shared_ptr<TrackingConfiguring> tracking_;      // guarded by mutex_
};

}  // namespace pagewell
