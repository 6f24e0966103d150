#pragma once
// The app's side of a benchmark against pagewell-cms: a data directory of its own (settings,
// user defaults, a file keychain, a new store), the shipped configuration pointed at the
// server, the request layer pointed at the server, the
// catalogue importer and change timestamps registered the way the start-up registers them, a
// signed-in user and the English content language chosen. The destructor puts every
// process-wide instance back and removes the directory.
//
// Threading: main thread only (it pumps the main queue while it waits).

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/Error.h"

namespace pagewell {
class InterfaceManager;
class PersistentStore;
class TimestampManager;
}  // namespace pagewell

namespace pagewell::bench {

class BenchClient {
  public:
    // Sets everything up for `cmsUrl` ("http://HOST:PORT"), signs `user` in and fetches the
    // languages, English chosen.
    static Result<std::unique_ptr<BenchClient>> signIn(const std::string& cmsUrl,
                                                       const std::string& user,
                                                       const std::string& password);
    ~BenchClient();
    BenchClient(const BenchClient&) = delete;
    BenchClient& operator=(const BenchClient&) = delete;

    // One catalogue synchronisation (CatalogueRequests::getAllFilesForSync) to its end.
    Status syncCatalogue();

    // The token the server handed out at sign-in.
    std::string token() const;
    const std::filesystem::path& dataDirectory() const { return directory_; }
    PersistentStore& store() const { return *store_; }
    InterfaceManager& manager() const { return *manager_; }
    const std::shared_ptr<TimestampManager>& timestamps() const { return timestamps_; }

    // Waits on the main queue until `done` says so (false after a generous time limit).
    static bool pump(const std::function<bool()>& done);

  private:
    BenchClient() = default;
    Status setUp(const std::string& cmsUrl);
    Status login(const std::string& user, const std::string& password);
    Status chooseEnglish();

    std::filesystem::path directory_;
    std::shared_ptr<PersistentStore> store_;
    std::shared_ptr<InterfaceManager> manager_;
    std::shared_ptr<TimestampManager> timestamps_;
};

}  // namespace pagewell::bench
