#include "store/Contact.h"

#include "store/Businesscard.h"
#include "store/EntityRows.h"
#include "store/Photo.h"

namespace pagewell {

namespace {

constexpr const char* kEntity = "Contact";

#define CONTACT_COLUMNS                                                                    \
    "pk, id, cms_id, company, contactperson, lastname, department, street, place, phone, " \
    "mail, website, comment, leaderperson, representation_id, date, urgent, sync, "        \
    "all_attachment_synced"

Contact readContact(Statement& row) {
    Contact contact;
    contact.pk = row.integer(0);
    contact.id = row.optionalInteger(1);
    contact.cms_id = row.optionalInteger(2);
    contact.company = row.optionalText(3);
    contact.contactperson = row.optionalText(4);
    contact.lastname = row.optionalText(5);
    contact.department = row.optionalText(6);
    contact.street = row.optionalText(7);
    contact.place = row.optionalText(8);
    contact.phone = row.optionalText(9);
    contact.mail = row.optionalText(10);
    contact.website = row.optionalText(11);
    contact.comment = row.optionalText(12);
    contact.leaderperson = row.optionalText(13);
    contact.representation_id = row.optionalInteger(14);
    contact.date = row.optionalTime(15);
    contact.urgent = row.boolean(16);
    contact.sync = row.boolean(17);
    contact.all_attachment_synced = row.boolean(18);
    return contact;
}

}  // namespace

Result<std::optional<Contact>> Contact::find(StoreContext& context, std::int64_t pk) {
    return EntityRows::first<Contact>(
        context, "SELECT " CONTACT_COLUMNS " FROM Contact WHERE pk = ?", readContact, pk);
}

Result<std::vector<Contact>> Contact::contactsWithID(StoreContext& context, std::int64_t id) {
    return EntityRows::all<Contact>(
        context, "SELECT " CONTACT_COLUMNS " FROM Contact WHERE id = ? ORDER BY pk", readContact,
        id);
}

Result<std::vector<Contact>> Contact::all(StoreContext& context) {
    return EntityRows::all<Contact>(context, "SELECT " CONTACT_COLUMNS " FROM Contact ORDER BY pk",
                                    readContact);
}

Result<std::vector<Businesscard>> Contact::businesscards(StoreContext& context) const {
    return Businesscard::businesscardsOfContact(context, pk);
}

Result<std::vector<Photo>> Contact::photos(StoreContext& context) const {
    return Photo::photosOfContact(context, pk);
}

Status Contact::update(StoreContext& context) {
    if (pk == 0) {
        auto inserted = EntityRows::insert(
            context, kEntity,
            "INSERT INTO Contact (id, cms_id, company, contactperson, lastname, department, "
            "street, place, phone, mail, website, comment, leaderperson, representation_id, "
            "date, urgent, sync, all_attachment_synced) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
            id, cms_id, company, contactperson, lastname, department, street, place, phone, mail,
            website, comment, leaderperson, representation_id, date, urgent, sync,
            all_attachment_synced);
        if (!inserted.ok()) {
            return inserted.error();
        }
        pk = inserted.value();
        return {};
    }
    return EntityRows::write(
        context, kEntity,
        "UPDATE Contact SET id = ?, cms_id = ?, company = ?, contactperson = ?, lastname = ?, "
        "department = ?, street = ?, place = ?, phone = ?, mail = ?, website = ?, comment = ?, "
        "leaderperson = ?, representation_id = ?, date = ?, urgent = ?, sync = ?, "
        "all_attachment_synced = ? WHERE pk = ?",
        id, cms_id, company, contactperson, lastname, department, street, place, phone, mail,
        website, comment, leaderperson, representation_id, date, urgent, sync,
        all_attachment_synced, pk);
}

Status Contact::deleteRecord(StoreContext& context) {
    Status deleted = EntityRows::write(context, kEntity, "DELETE FROM Contact WHERE pk = ?", pk);
    if (deleted.ok()) {
        context.noteChanged("Businesscard");
        context.noteChanged("Photo");
        pk = 0;
    }
    return deleted;
}

}  // namespace pagewell
