#include "redlining/RedliningArchiveValues.h"

#include <fmt/format.h>

#include <cmath>
#include <cstdio>
#include <sstream>

namespace pagewell {

namespace {

// A geometry text in place or by reference, or the named member of a value object.
std::optional<std::string> geometryText(const KeyedUnarchiver& archive, KeyedUnarchiver::Ref object,
                                        std::string_view key,
                                        std::initializer_list<const char*> valueKeys) {
    if (auto text = archive.decodeString(object, key)) {
        return text;
    }
    auto ref = archive.decodeReference(object, key);
    if (!ref) {
        return std::nullopt;
    }
    for (const char* valueKey : valueKeys) {
        if (auto text = archive.decodeString(*ref, valueKey)) {
            return text;
        }
    }
    return std::nullopt;
}

bool unit(double value) {
    return std::isfinite(value) && value >= 0 && value <= 1;
}

}  // namespace

KeyedArchiver::Ref RedliningArchiveValues::addColor(KeyedArchiver& archiver,
                                                    const RedliningColor& color) {
    archiver.beginObject({"UIColor", "NSObject"});
    archiver.encodeInteger("UIColorComponentCount", 4);
    archiver.encodeDouble("UIRed", color.red);
    archiver.encodeDouble("UIGreen", color.green);
    archiver.encodeDouble("UIBlue", color.blue);
    archiver.encodeDouble("UIAlpha", color.alpha);
    std::string rgb = fmt::format("{} {} {} {}", color.red, color.green, color.blue, color.alpha);
    rgb.push_back('\0');
    archiver.encodeData("NSRGB", rgb);
    archiver.encodeInteger("NSColorSpace", 2);
    return archiver.endObject();
}

KeyedArchiver::Ref RedliningArchiveValues::addPath(KeyedArchiver& archiver,
                                                   const RedliningPath& path) {
    archiver.beginObject({"UIBezierPath", "NSObject"});
    archiver.encodeData("UIBezierPathCGPathDataKey", path.encode());
    return archiver.endObject();
}

KeyedArchiver::Ref RedliningArchiveValues::addNumbers(KeyedArchiver& archiver,
                                                      const std::vector<double>& numbers) {
    std::vector<KeyedArchiver::Ref> refs;
    for (double number : numbers) {
        refs.push_back(archiver.addDouble(number));
    }
    archiver.beginObject({"NSArray", "NSObject"});
    archiver.encodeReferences("NS.objects", refs);
    return archiver.endObject();
}

std::optional<RedliningColor> RedliningArchiveValues::color(const KeyedUnarchiver& archive,
                                                            Ref object, std::string_view key) {
    auto ref = archive.decodeReference(object, key);
    if (!ref) {
        return std::nullopt;
    }
    RedliningColor color;
    auto red = archive.decodeDouble(*ref, "UIRed");
    auto white = archive.decodeDouble(*ref, "UIWhite");
    color.alpha = archive.decodeDouble(*ref, "UIAlpha").value_or(1.0);
    if (red) {
        color.red = *red;
        color.green = archive.decodeDouble(*ref, "UIGreen").value_or(0);
        color.blue = archive.decodeDouble(*ref, "UIBlue").value_or(0);
    } else if (white) {
        color.red = color.green = color.blue = *white;
    } else if (auto rgb = archive.decodeData(*ref, "NSRGB")) {
        std::istringstream in(std::string(rgb->c_str()));
        in >> color.red >> color.green >> color.blue;
        if (!in) {
            return std::nullopt;
        }
        if (!(in >> color.alpha)) {
            color.alpha = 1;
        }
    } else if (auto grey = archive.decodeData(*ref, "NSWhite")) {
        std::istringstream in(std::string(grey->c_str()));
        in >> color.red;
        if (!in) {
            return std::nullopt;
        }
        color.green = color.blue = color.red;
        if (!(in >> color.alpha)) {
            color.alpha = 1;
        }
    } else {
        return std::nullopt;
    }
    if (!unit(color.red) || !unit(color.green) || !unit(color.blue) || !unit(color.alpha)) {
        return std::nullopt;
    }
    return color;
}

std::optional<RedliningRect> RedliningArchiveValues::rect(const KeyedUnarchiver& archive,
                                                          Ref object, std::string_view key) {
    auto text = geometryText(archive, object, key, {"NS.rectval", "NS.rect"});
    return text ? RedliningGeometry::parseRect(*text) : std::nullopt;
}

std::optional<RedliningPoint> RedliningArchiveValues::point(const KeyedUnarchiver& archive,
                                                            Ref object, std::string_view key) {
    auto text = geometryText(archive, object, key, {"NS.pointval", "NS.point"});
    return text ? RedliningGeometry::parsePoint(*text) : std::nullopt;
}

std::optional<RedliningTransform> RedliningArchiveValues::transform(const KeyedUnarchiver& archive,
                                                                    Ref object,
                                                                    std::string_view key) {
    auto text = geometryText(archive, object, key, {"NS.atval", "NS.transformval"});
    return text ? RedliningGeometry::parseTransform(*text) : std::nullopt;
}

std::optional<RedliningPath> RedliningArchiveValues::path(const KeyedUnarchiver& archive,
                                                          Ref object, std::string_view key) {
    auto ref = archive.decodeReference(object, key);
    if (!ref) {
        return std::nullopt;
    }
    auto data = archive.decodeData(*ref, "UIBezierPathCGPathDataKey");
    return data ? RedliningPath::decode(*data) : std::nullopt;
}

std::optional<std::vector<double>> RedliningArchiveValues::numbers(const KeyedUnarchiver& archive,
                                                                   Ref object, std::string_view key,
                                                                   std::size_t maxCount) {
    auto ref = archive.decodeReference(object, key);
    if (!ref) {
        return std::nullopt;
    }
    auto refs = archive.decodeReferences(*ref, "NS.objects");
    if (!refs || refs->size() > maxCount) {
        return std::nullopt;
    }
    std::vector<double> values;
    for (auto item : *refs) {
        auto value = archive.doubleAt(item);
        if (!value || !std::isfinite(*value) || *value < 0) {
            return std::nullopt;
        }
        values.push_back(*value);
    }
    return values;
}

std::optional<std::string> RedliningArchiveValues::imageData(const KeyedUnarchiver& archive,
                                                             Ref object, std::string_view key) {
    if (auto data = archive.decodeData(object, key)) {
        return data;
    }
    auto ref = archive.decodeReference(object, key);
    if (!ref) {
        return std::nullopt;
    }
    if (auto data = archive.decodeData(*ref, "UIImageData")) {
        return data;
    }
    return archive.decodeData(*ref, "NS.data");
}

std::optional<std::string> RedliningArchiveValues::text(const KeyedUnarchiver& archive, Ref object,
                                                        std::string_view key) {
    if (auto plain = archive.decodeString(object, key)) {
        return plain;
    }
    auto ref = archive.decodeReference(object, key);
    if (!ref) {
        return std::nullopt;
    }
    return archive.decodeString(*ref, "NSString");
}

std::optional<double> RedliningArchiveValues::finiteNumber(const KeyedUnarchiver& archive,
                                                           Ref object, std::string_view key) {
    auto value = archive.decodeDouble(object, key);
    if (!value || !std::isfinite(*value) || std::abs(*value) > 1e7) {
        return std::nullopt;
    }
    return value;
}

}  // namespace pagewell
