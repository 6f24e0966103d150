// The records of the server's side lists: beacons, customers and their groups, QR codes and
// the imprint. One record per server identifier; links to files both ways.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "store/Beacon.h"
#include "store/CustomerLocation.h"
#include "store/CustomerLocationGroup.h"
#include "store/Imprint.h"
#include "store/QRCode.h"
#include "store/SideEntityTestSupport.h"

namespace pagewell {
namespace {

class SideListEntityTest : public SideEntityTest {
  protected:
    Beacon beacon(std::int64_t cmsID, const std::string& uuid, std::int64_t major,
                  std::int64_t minor) {
        auto created = Beacon::createBeaconWithID(main(), cmsID, uuid, major, minor,
                                                  "beacon " + std::to_string(cmsID));
        EXPECT_TRUE(created.ok());
        return created.ok() ? created.value() : Beacon{};
    }
};

TEST_F(SideListEntityTest, BestMatchingBeaconFallsBackFromExactToMajorToUUID) {
    const std::string u = "F7826DA6-4FA2-4E98-8024-BC5B71E0893E";
    // Stored in this order, so "first" is told apart from "best".
    beacon(10, u, 2, 1);
    beacon(11, u, 1, 1);
    beacon(12, u, 1, 2);
    beacon(13, "B9407F30-F5F8-466E-AFF9-25556B57FE6D", 5, 5);
    ASSERT_TRUE(main().save().ok());

    struct Case {
        const char* why;
        std::string uuid;
        std::int64_t major;
        std::int64_t minor;
        std::optional<std::int64_t> expected;  // cmsID
    };
    const Case cases[] = {
        {"an exact match wins over earlier beacons of the same UUID", u, 1, 2, 12},
        {"unknown minor: the first beacon with that UUID and major", u, 1, 9, 11},
        {"unknown major: the first beacon with that UUID", u, 9, 9, 10},
        {"unknown UUID: none", "00000000-0000-0000-0000-000000000000", 1, 1, std::nullopt},
        {"UUIDs are compared as stored text", "f7826da6-4fa2-4e98-8024-bc5b71e0893e", 1, 2,
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        auto match = Beacon::bestMatchingBeaconWithUUID(main(), c.uuid, c.major, c.minor);
        ASSERT_TRUE(match.ok());
        ASSERT_EQ(match.value().has_value(), c.expected.has_value());
        if (c.expected) {
            EXPECT_EQ(match.value()->cmsID, c.expected);
        }
    }
}

TEST_F(SideListEntityTest, CreateBeaconWithIDKeepsOneRecordPerIdentifier) {
    Beacon first = beacon(10, "A", 1, 1);
    auto again = Beacon::createBeaconWithID(main(), 10, "B", 2, std::nullopt, "Hall 4");
    ASSERT_TRUE(again.ok());
    ASSERT_TRUE(main().save().ok());
    EXPECT_EQ(again.value().pk, first.pk);
    EXPECT_EQ(scalar("SELECT count(*) FROM Beacon"), 1);
    auto stored = Beacon::find(main(), first.pk).value();
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->uuid, "B");
    EXPECT_EQ(stored->major, 2);
    EXPECT_FALSE(stored->minor.has_value());
    EXPECT_EQ(stored->name, "Hall 4");
}

TEST_F(SideListEntityTest, ConcurrentImportsCreateEachBeaconOnce) {
    constexpr int kThreads = 4;
    constexpr std::int64_t kBeacons = 150;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            auto context = store_->newPrivateContext();
            if (!context.ok()) {
                ++failures;
                return;
            }
            for (std::int64_t i = 0; i < kBeacons; ++i) {
                // Each thread walks the list from a different place, so they meet mid-way.
                std::int64_t id = (i + t * kBeacons / kThreads) % kBeacons + 1;
                auto created =
                    Beacon::createBeaconWithID(*context.value(), id, "A", t, i, std::nullopt);
                if (!created.ok() || !context.value()->save().ok()) {
                    ++failures;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM Beacon"), kBeacons);
    EXPECT_EQ(scalar("SELECT count(DISTINCT cmsID) FROM Beacon"), kBeacons);
}

TEST_F(SideListEntityTest, FileLinksAreSetsAndFollowDeletion) {
    std::int64_t brochure = insertFile(12, "Brochure");
    std::int64_t prices = insertFile(13, "Prices");
    Beacon hall = beacon(10, "A", 1, 1);
    auto code = QRCode::findOrCreate(main(), 20);
    auto customer = CustomerLocation::findOrCreate(main(), 30);
    auto group = CustomerLocationGroup::findOrCreate(main(), 40);
    ASSERT_TRUE(code.ok() && customer.ok() && group.ok());

    for (std::int64_t file : {brochure, prices, brochure}) {
        ASSERT_TRUE(hall.addFile(main(), file).ok());
        ASSERT_TRUE(code.value().addFile(main(), file).ok());
        ASSERT_TRUE(customer.value().addFile(main(), file).ok());
        ASSERT_TRUE(group.value().addFile(main(), file).ok());
    }
    ASSERT_TRUE(hall.removeFile(main(), prices).ok());
    ASSERT_TRUE(code.value().removeFile(main(), brochure).ok());
    ASSERT_TRUE(main().save().ok());

    EXPECT_EQ(hall.fileKeys(main()).value(), std::vector<std::int64_t>{brochure});
    EXPECT_EQ(code.value().fileKeys(main()).value(), std::vector<std::int64_t>{prices});
    EXPECT_EQ(customer.value().fileKeys(main()).value(),
              (std::vector<std::int64_t>{brochure, prices}));
    EXPECT_EQ(group.value().fileKeys(main()).value(),
              (std::vector<std::int64_t>{brochure, prices}));

    ASSERT_TRUE(customer.value().deleteRecord(main()).ok());
    ASSERT_TRUE(main().save().ok());
    EXPECT_EQ(scalar("SELECT count(*) FROM File_customers"), 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM File"), 2);
}

TEST_F(SideListEntityTest, CustomersAndGroupsSeeEachOther) {
    auto north = CustomerLocation::findOrCreate(main(), 1);
    auto south = CustomerLocation::findOrCreate(main(), 2);
    auto group = CustomerLocationGroup::findOrCreate(main(), 7);
    auto empty = CustomerLocationGroup::findOrCreate(main(), 8);
    ASSERT_TRUE(north.ok() && south.ok() && group.ok() && empty.ok());
    ASSERT_TRUE(group.value().addCustomer(main(), north.value().pk).ok());
    ASSERT_TRUE(south.value().addGroup(main(), group.value().pk).ok());
    ASSERT_TRUE(group.value().addCustomer(main(), south.value().pk).ok());  // already there
    ASSERT_TRUE(main().save().ok());

    auto members = group.value().customers(main());
    ASSERT_TRUE(members.ok());
    ASSERT_EQ(members.value().size(), 2u);
    EXPECT_EQ(members.value()[0].cmsID, 1);
    EXPECT_EQ(members.value()[1].cmsID, 2);
    EXPECT_TRUE(empty.value().customers(main()).value().empty());
    auto groups = north.value().groups(main());
    ASSERT_EQ(groups.value().size(), 1u);
    EXPECT_EQ(groups.value()[0].cmsID, 7);

    ASSERT_TRUE(north.value().removeGroup(main(), group.value().pk).ok());
    EXPECT_TRUE(north.value().groups(main()).value().empty());
    EXPECT_EQ(group.value().customers(main()).value().size(), 1u);
}

TEST_F(SideListEntityTest, FindOrCreateKeepsOneRecordPerIdentifierAndKeepsItsFields) {
    auto customer = CustomerLocation::findOrCreate(main(), 30);
    ASSERT_TRUE(customer.ok());
    customer.value().name = "Harbour depot";
    customer.value().latitude = "53.5413";
    customer.value().longitude = "9.9841";
    ASSERT_TRUE(customer.value().update(main()).ok());
    ASSERT_TRUE(main().save().ok());

    auto again = CustomerLocation::findOrCreate(main(), 30);
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(again.value().pk, customer.value().pk);
    EXPECT_EQ(again.value().latitude, "53.5413");
    EXPECT_EQ(again.value().longitude, "9.9841");
    EXPECT_EQ(QRCode::findOrCreate(main(), 5).value().pk,
              QRCode::findOrCreate(main(), 5).value().pk);
    EXPECT_EQ(CustomerLocationGroup::findOrCreate(main(), 5).value().pk,
              CustomerLocationGroup::findOrCreate(main(), 5).value().pk);
    EXPECT_EQ(Imprint::findOrCreate(main(), 5).value().pk,
              Imprint::findOrCreate(main(), 5).value().pk);
    ASSERT_TRUE(main().save().ok());
    for (const char* table : {"CustomerLocation", "QRCode", "CustomerLocationGroup", "Imprint"}) {
        SCOPED_TRACE(table);
        EXPECT_EQ(scalar((std::string("SELECT count(*) FROM ") + table).c_str()), 1);
    }
}

TEST_F(SideListEntityTest, FindCodeWithTextMatchesTheScannedTextExactly) {
    auto code = QRCode::findOrCreate(main(), 20);
    ASSERT_TRUE(code.ok());
    code.value().text = "https://example.com/qr/20";
    code.value().name = "Stand 20";
    ASSERT_TRUE(code.value().update(main()).ok());
    auto other = QRCode::findOrCreate(main(), 21);
    other.value().text = "https://example.com/qr/21";
    ASSERT_TRUE(other.value().update(main()).ok());
    ASSERT_TRUE(main().save().ok());

    auto found = QRCode::findCodeWithText(main(), "https://example.com/qr/20");
    ASSERT_TRUE(found.ok());
    ASSERT_TRUE(found.value().has_value());
    EXPECT_EQ(found.value()->name, "Stand 20");
    for (const char* text : {"https://example.com/qr/2", "HTTPS://EXAMPLE.COM/QR/20", ""}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(QRCode::findCodeWithText(main(), text).value().has_value());
    }
}

TEST_F(SideListEntityTest, DeleteAllExceptKeepsTheListedRecords) {
    for (std::int64_t id : {1, 2, 3}) {
        beacon(id, "A", id, id);
        ASSERT_TRUE(QRCode::findOrCreate(main(), id).ok());
        ASSERT_TRUE(CustomerLocation::findOrCreate(main(), id).ok());
        ASSERT_TRUE(CustomerLocationGroup::findOrCreate(main(), id).ok());
    }
    ASSERT_TRUE(Beacon::deleteAllExcept(main(), {1, 3}).ok());
    ASSERT_TRUE(QRCode::deleteAllExcept(main(), {2}).ok());
    ASSERT_TRUE(CustomerLocation::deleteAllExcept(main(), {}).ok());
    ASSERT_TRUE(CustomerLocationGroup::deleteAllExcept(main(), {1, 2, 3, 4}).ok());
    ASSERT_TRUE(main().save().ok());
    EXPECT_EQ(scalar("SELECT count(*) FROM Beacon WHERE cmsID IN (1, 3)"), 2);
    EXPECT_EQ(scalar("SELECT count(*) FROM Beacon"), 2);
    EXPECT_EQ(scalar("SELECT count(*) FROM QRCode WHERE cmsID = 2"), 1);
    EXPECT_EQ(scalar("SELECT count(*) FROM QRCode"), 1);
    EXPECT_EQ(scalar("SELECT count(*) FROM CustomerLocation"), 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM CustomerLocationGroup"), 3);
}

TEST_F(SideListEntityTest, ImprintOfLocale) {
    std::int64_t german = insertRow("INSERT INTO Locale (cmsID, title) VALUES (2, 'Deutsch')");
    auto imprint = Imprint::findOrCreate(main(), 9);
    ASSERT_TRUE(imprint.ok());
    imprint.value().text = "Example Ltd, 1 Quay Street";
    imprint.value().localeKey = localeKey_;
    ASSERT_TRUE(imprint.value().update(main()).ok());
    ASSERT_TRUE(main().save().ok());

    auto found = Imprint::imprintOfLocale(main(), localeKey_);
    ASSERT_TRUE(found.ok());
    ASSERT_TRUE(found.value().has_value());
    EXPECT_EQ(found.value()->text, "Example Ltd, 1 Quay Street");
    EXPECT_FALSE(Imprint::imprintOfLocale(main(), german).value().has_value());

    ASSERT_TRUE(found.value()->deleteRecord(main()).ok());
    EXPECT_FALSE(Imprint::imprintOfLocale(main(), localeKey_).value().has_value());
}

}  // namespace
}  // namespace pagewell
