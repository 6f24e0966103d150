#pragma once
// One lead report captured at a trade fair: the contact's company and address, who is
// responsible, and its business-card and document photos. `id` is the local report number;
// cms_id the server's once the report is registered. `sync`: the contact record is
// registered; `all_attachment_synced`: the record and every image are on the server.
// A plain value; its operations run in the store context they are given.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Error.h"

namespace pagewell {

class StoreContext;
struct Businesscard;
struct Photo;

struct Contact {
    std::int64_t pk = 0;  // 0 until stored
    std::optional<std::int64_t> id;
    std::optional<std::int64_t> cms_id;
    std::optional<std::string> company;
    std::optional<std::string> contactperson;
    std::optional<std::string> lastname;
    std::optional<std::string> department;
    std::optional<std::string> street;
    std::optional<std::string> place;
    std::optional<std::string> phone;
    std::optional<std::string> mail;
    std::optional<std::string> website;
    std::optional<std::string> comment;
    std::optional<std::string> leaderperson;
    std::optional<std::int64_t> representation_id;
    std::optional<SystemTime> date;
    bool urgent = false;
    bool sync = false;
    bool all_attachment_synced = false;

    static Result<std::optional<Contact>> find(StoreContext& context, std::int64_t pk);
    // Every contact with that report number (there should be one).
    static Result<std::vector<Contact>> contactsWithID(StoreContext& context, std::int64_t id);
    static Result<std::vector<Contact>> all(StoreContext& context);

    Result<std::vector<Businesscard>> businesscards(StoreContext& context) const;
    Result<std::vector<Photo>> photos(StoreContext& context) const;

    // Inserts (pk == 0, then sets pk) or writes every attribute; does not save.
    Status update(StoreContext& context);
    // The row; its business cards and photos go with it.
    Status deleteRecord(StoreContext& context);
};

}  // namespace pagewell
