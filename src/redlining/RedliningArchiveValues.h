#pragma once
// The value forms inside an annotation archive: colours as colour objects (RGB, also read as
// grey or from their "NSRGB" text), rectangles, points and transforms as texts (also read from
// a value object), outlines as path objects holding element data, images as data (also read
// from an image object). Readers answer none for a missing or malformed value. Stateless.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "redlining/RedliningColor.h"
#include "redlining/RedliningGeometry.h"
#include "redlining/RedliningPath.h"

namespace pagewell {

class RedliningArchiveValues {
  public:
    using Ref = KeyedUnarchiver::Ref;

    static KeyedArchiver::Ref addColor(KeyedArchiver& archiver, const RedliningColor& color);
    static KeyedArchiver::Ref addPath(KeyedArchiver& archiver, const RedliningPath& path);
    static KeyedArchiver::Ref addNumbers(KeyedArchiver& archiver,
                                         const std::vector<double>& numbers);

    static std::optional<RedliningColor> color(const KeyedUnarchiver& archive, Ref object,
                                               std::string_view key);
    static std::optional<RedliningRect> rect(const KeyedUnarchiver& archive, Ref object,
                                             std::string_view key);
    static std::optional<RedliningPoint> point(const KeyedUnarchiver& archive, Ref object,
                                               std::string_view key);
    static std::optional<RedliningTransform> transform(const KeyedUnarchiver& archive, Ref object,
                                                       std::string_view key);
    // None also when the path data is malformed.
    static std::optional<RedliningPath> path(const KeyedUnarchiver& archive, Ref object,
                                             std::string_view key);
    // A list of finite numbers, at most `maxCount`.
    static std::optional<std::vector<double>> numbers(const KeyedUnarchiver& archive, Ref object,
                                                      std::string_view key,
                                                      std::size_t maxCount = 64);
    static std::optional<std::string> imageData(const KeyedUnarchiver& archive, Ref object,
                                                std::string_view key);
    // A plain string, a string object or an attributed string's text.
    static std::optional<std::string> text(const KeyedUnarchiver& archive, Ref object,
                                           std::string_view key);
    static std::optional<double> finiteNumber(const KeyedUnarchiver& archive, Ref object,
                                              std::string_view key);
};

}  // namespace pagewell
