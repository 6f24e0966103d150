#pragma once
// How many bytes each kind of server answer may have before it is refused as too large
// (HttpRequest::maxBodyBytes). The bounds are generous on purpose: they keep a broken or hostile
// server from making the app hold gigabytes, and never police an ordinary catalogue (one
// category of 100,000 files answers about 75 MB). Answers not named here get the request
// layer's default, HttpRequest::kDefaultMaxBodyBytes.

#include <cstddef>

namespace pagewell {

struct AnswerLimits {
    static constexpr std::size_t kMiB = std::size_t{1} << 20;

    // The sign-in answers: a token, a secret, a user identifier.
    static constexpr std::size_t kSignIn = 1 * kMiB;
    // The content languages.
    static constexpr std::size_t kLocaleList = 4 * kMiB;
    // The category list and the category changes.
    static constexpr std::size_t kCategoryList = 64 * kMiB;
    // File lists: a category's files, the highlights, search answers, proximity file lists.
    static constexpr std::size_t kFileList = 1024 * kMiB;
};

}  // namespace pagewell
