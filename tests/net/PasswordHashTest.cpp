#include "net/PasswordHash.h"

#include <gtest/gtest.h>

#include "net/SHA1Generator.h"

namespace pagewell {
namespace {

TEST(SHA1GeneratorTest, HashesTheUtf8BytesAsLowerCaseHex) {
    struct Case {
        const char* text;
        const char* digest;
    };
    const Case cases[] = {
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"demo", "89e495e7941cf9e40e6980d14a16bf023ccd4c91"},
        // "ä" as the two UTF-8 bytes C3 A4, not as the one Latin-1 byte E4.
        {"\xC3\xA4", "961fa22f61a56e19f3f5f8867901ac8cf5e6d11f"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SHA1Generator::getSHA1Hash(c.text), c.digest) << c.text;
    }
}

TEST(PasswordHashTest, MakesASaltedSlowHashInTheStoredForm) {
    std::string stored = PasswordHash::make("demo");
    // pbkdf2-sha256$100000$<32 hex salt>$<64 hex hash>
    ASSERT_EQ(stored.rfind("pbkdf2-sha256$100000$", 0), 0u) << stored;
    std::string rest = stored.substr(std::string("pbkdf2-sha256$100000$").size());
    ASSERT_EQ(rest.size(), 32u + 1 + 64u);
    EXPECT_EQ(rest[32], '$');
    EXPECT_GE(PasswordHash::kIterations, 100'000);
    // A fresh salt each time: equal passwords do not give equal stored values.
    EXPECT_NE(PasswordHash::make("demo"), stored);
}

TEST(PasswordHashTest, KnownVectorOfPbkdf2HmacSha256) {
    // RFC 7914 section 11: P="passwd", S="salt", c=1, dkLen=64; the first 32 bytes.
    EXPECT_EQ(PasswordHash::make("passwd", "73616c74", 1),
              "pbkdf2-sha256$1$73616c74$"
              "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc");
}

TEST(PasswordHashTest, VerifiesRightWrongLegacyAndDamagedValues) {
    const std::string salted = PasswordHash::make("p\xC3\xA4ss");
    const std::string weak =
        PasswordHash::make("p\xC3\xA4ss", "00112233445566778899aabbccddeeff", 10);
    const std::string sha1 = SHA1Generator::getSHA1Hash("p\xC3\xA4ss");
    std::string upperSha1 = sha1;
    for (char& c : upperSha1) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    struct Case {
        const char* why;
        std::string password;
        std::string stored;
        PasswordHash::Match expected;
    };
    const Case cases[] = {
        {"right password", "p\xC3\xA4ss", salted, PasswordHash::Match::Yes},
        {"wrong password", "pass", salted, PasswordHash::Match::No},
        {"empty password", "", salted, PasswordHash::Match::No},
        {"too few rounds: accepted, to be replaced", "p\xC3\xA4ss", weak,
         PasswordHash::Match::YesButOutdated},
        {"too few rounds, wrong password", "x", weak, PasswordHash::Match::No},
        {"legacy SHA-1: accepted, to be replaced", "p\xC3\xA4ss", sha1,
         PasswordHash::Match::YesButOutdated},
        {"legacy SHA-1 in capitals", "p\xC3\xA4ss", upperSha1, PasswordHash::Match::YesButOutdated},
        {"legacy SHA-1, wrong password", "pass", sha1, PasswordHash::Match::No},
        {"empty stored value", "p\xC3\xA4ss", "", PasswordHash::Match::No},
        {"unknown scheme", "p\xC3\xA4ss", "md5$1$00$00", PasswordHash::Match::No},
        {"cut hash", "p\xC3\xA4ss", salted.substr(0, salted.size() - 2), PasswordHash::Match::No},
        {"zero rounds", "p\xC3\xA4ss", "pbkdf2-sha256$0$00112233$" + std::string(64, '0'),
         PasswordHash::Match::No},
        {"salt not hex", "p\xC3\xA4ss", "pbkdf2-sha256$10$zz$" + std::string(64, '0'),
         PasswordHash::Match::No},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PasswordHash::verify(c.password, c.stored), c.expected) << c.why;
    }
}

}  // namespace
}  // namespace pagewell
