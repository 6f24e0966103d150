#pragma once
// A printed code whose scanned text selects files: one record per server identifier, looked
// up by the scanned text. A plain value; its operations run in the store context given.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace pagewell {

class StoreContext;

struct QRCode {
    std::int64_t pk = 0;  // 0 until stored
    std::optional<std::int64_t> cmsID;
    std::optional<std::string> name;
    std::optional<std::string> text;  // the scanned content (the server's "url")

    static Result<std::optional<QRCode>> find(StoreContext& context, std::int64_t pk);
    // The code with that server identifier, created (with only cmsID set) when absent.
    // Inside the context's write transaction; the caller saves.
    static Result<QRCode> findOrCreate(StoreContext& context, std::int64_t cmsID);
    // The first (oldest) code whose text equals the scanned text exactly.
    static Result<std::optional<QRCode>> findCodeWithText(StoreContext& context,
                                                          const std::string& scannedText);
    // Deletes every code whose cmsID is not in the list (the server's full list was read).
    static Status deleteAllExcept(StoreContext& context, const std::vector<std::int64_t>& cmsIDs);

    // Row keys of the files this code selects; adding twice keeps one link.
    Result<std::vector<std::int64_t>> fileKeys(StoreContext& context) const;
    Status addFile(StoreContext& context, std::int64_t filePk) const;
    Status removeFile(StoreContext& context, std::int64_t filePk) const;

    // Inserts (pk == 0, then sets pk) or writes every attribute; does not save.
    Status update(StoreContext& context);
    // The row; its links to files go with it.
    Status deleteRecord(StoreContext& context);
};

}  // namespace pagewell
