#pragma once
// The signature of a share link "api2/share/LOCALE/FILE/TIME/USER/SIGNATURE/LINKID": HMAC with
// SHA-512 keyed with the deployment's login secret (the X-App-Secret clients send) over
// LOCALE, FILE, TIME and USER written one after the other, followed by the user's own secret;
// the 64 bytes as 128 lowercase hexadecimal digits. Stateless; safe from any thread.

#include <string>
#include <string_view>

namespace pagewell::cms {

class ShareLinkSignature {
  public:
    // HMAC-SHA-512 of `message` under `key`, as lowercase hexadecimal.
    static std::string hmacHex(std::string_view key, std::string_view message);

    static std::string sign(std::string_view loginSecret, std::string_view locale,
                            std::string_view file, std::string_view time, std::string_view user,
                            std::string_view userSecret);

    // Compares in time independent of where the texts differ, so a forger learns nothing
    // from how long a refusal takes.
    static bool matches(std::string_view expected, std::string_view given);
};

}  // namespace pagewell::cms
