// The lead-capture records: reports with their images, product lines and the server lists.
#include <gtest/gtest.h>

#include "store/Businesscard.h"
#include "store/Contact.h"
#include "store/Contact_Product.h"
#include "store/Photo.h"
#include "store/Product.h"
#include "store/Representation.h"
#include "store/SideEntityTestSupport.h"

namespace pagewell {
namespace {

class LeadCaptureEntityTest : public SideEntityTest {};

TEST_F(LeadCaptureEntityTest, AReportKeepsEveryFieldAndItsImages) {
    Contact report;
    report.id = 1;
    report.company = "Example Ltd";
    report.lastname = "Okafor";
    report.comment = "Wants the 2025 catalogue";
    report.representation_id = 0;
    report.date = clock_->now();
    report.urgent = true;
    ASSERT_TRUE(report.update(main()).ok());

    // Image bytes with NUL and high bytes must come back unchanged (stored as blobs).
    const std::string jpeg("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\xFF\xD9", 15);
    Businesscard card;
    card.data = jpeg;
    card.contactKey = report.pk;
    ASSERT_TRUE(card.update(main()).ok());
    Photo photo;
    photo.data = jpeg + jpeg;
    photo.contactKey = report.pk;
    ASSERT_TRUE(photo.update(main()).ok());
    photo.synced = true;
    ASSERT_TRUE(photo.update(main()).ok());
    ASSERT_TRUE(main().save().ok());

    auto stored = Contact::contactsWithID(main(), 1);
    ASSERT_TRUE(stored.ok());
    ASSERT_EQ(stored.value().size(), 1u);
    const Contact& back = stored.value()[0];
    EXPECT_EQ(back.company, "Example Ltd");
    EXPECT_EQ(back.comment, "Wants the 2025 catalogue");
    EXPECT_EQ(back.representation_id, 0);
    EXPECT_EQ(back.date, clock_->now());
    EXPECT_TRUE(back.urgent);
    EXPECT_FALSE(back.sync);
    EXPECT_FALSE(back.all_attachment_synced);
    EXPECT_FALSE(back.cms_id.has_value());

    auto cards = back.businesscards(main());
    ASSERT_EQ(cards.value().size(), 1u);
    EXPECT_EQ(cards.value()[0].data, jpeg);
    EXPECT_FALSE(cards.value()[0].synced);
    auto photos = back.photos(main());
    ASSERT_EQ(photos.value().size(), 1u);
    EXPECT_EQ(photos.value()[0].data, jpeg + jpeg);
    EXPECT_TRUE(photos.value()[0].synced);

    Contact copy = back;
    ASSERT_TRUE(copy.deleteRecord(main()).ok());
    ASSERT_TRUE(main().save().ok());
    EXPECT_EQ(scalar("SELECT count(*) FROM Businesscard"), 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM Photo"), 0);
}

TEST_F(LeadCaptureEntityTest, ProductLinesAreFoundByReportNumberAndProduct) {
    auto line = [&](std::int64_t contact, std::int64_t product, bool get, bool create) {
        Contact_Product l;
        l.contact_id = contact;
        l.product_id = product;
        l.get = get;
        l.create = create;
        l.date = create;
        l.notice = "n" + std::to_string(product);
        EXPECT_TRUE(l.update(main()).ok());
        return l;
    };
    line(1, 10, true, false);
    line(1, 11, false, true);
    line(2, 10, true, true);
    line(0, 12, true, true);  // a form never saved
    ASSERT_TRUE(main().save().ok());

    auto lines = Contact_Product::productsOfContact(main(), 1);
    ASSERT_TRUE(lines.ok());
    ASSERT_EQ(lines.value().size(), 2u);
    EXPECT_TRUE(lines.value()[0].get);
    EXPECT_FALSE(lines.value()[0].create);
    EXPECT_TRUE(lines.value()[1].create);
    EXPECT_TRUE(lines.value()[1].date);

    auto found = Contact_Product::findLine(main(), 2, 10);
    ASSERT_TRUE(found.value().has_value());
    EXPECT_EQ(found.value()->notice, "n10");
    EXPECT_FALSE(Contact_Product::findLine(main(), 2, 11).value().has_value());

    ASSERT_TRUE(Contact_Product::deleteLinesOfContact(main(), 0).ok());
    ASSERT_TRUE(main().save().ok());
    EXPECT_EQ(scalar("SELECT count(*) FROM Contact_Product"), 3);
}

TEST_F(LeadCaptureEntityTest, ServerListsAreFoundByTheirIdentifier) {
    Product product;
    product.id = 11;
    product.name = "Conveyor";
    product.active = true;
    ASSERT_TRUE(product.update(main()).ok());
    Representation representation;
    representation.id = 3;
    representation.name = "North";
    ASSERT_TRUE(representation.update(main()).ok());
    ASSERT_TRUE(main().save().ok());

    auto foundProduct = Product::findWithID(main(), 11);
    ASSERT_TRUE(foundProduct.value().has_value());
    EXPECT_EQ(foundProduct.value()->name, "Conveyor");
    EXPECT_TRUE(foundProduct.value()->active);
    EXPECT_FALSE(Product::findWithID(main(), 3).value().has_value());
    auto foundRepresentation = Representation::findWithID(main(), 3);
    ASSERT_TRUE(foundRepresentation.value().has_value());
    EXPECT_FALSE(foundRepresentation.value()->active);
    EXPECT_EQ(Representation::all(main()).value().size(), 1u);
}

}  // namespace
}  // namespace pagewell
