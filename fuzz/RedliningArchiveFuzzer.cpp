// The whole load of an annotation set: check, parse, unarchive, rescale, draw, hit test and
// write again, whose result must read back with the same objects. An input that is not a binary
// property list is read as drawing input instead (pairs of bytes as touch points), so the
// writer's own archives are explored too.

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "redlining/RedliningArchive.h"
#include "redlining/VXRedliningObject.h"

using namespace pagewell;

namespace {

std::string archiveFromTouches(const std::uint8_t* data, std::size_t size) {
    RedliningPageMap pages;
    std::size_t at = 0;
    while (at + 1 < size) {
        int type = data[at] % 6;
        std::size_t count = 2 + data[at + 1] % 12;
        at += 2;
        auto object = VXRedliningObject::create(type, {0, 0, 255, 255});
        for (std::size_t i = 0; i < count && at + 1 < size; ++i, at += 2) {
            auto state = i == 0           ? VXRedliningObject::Began
                         : i + 1 == count ? VXRedliningObject::Ended
                                          : VXRedliningObject::Changed;
            object->performDrawOperation({double(data[at]), double(data[at + 1])}, state);
        }
        object->setPage(type);
        pages[type].push_back(std::move(object));
    }
    return RedliningArchive::encode(pages);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    if (bytes.rfind("bplist", 0) != 0) {
        bytes = archiveFromTouches(data, size);
    }
    auto decoded = RedliningArchive::decode(bytes);
    if (!decoded.ok()) {
        return 0;
    }
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 64, 64);
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, 0.1, 0.1);
    std::size_t count = 0;
    for (auto& [page, objects] : decoded.value().pages) {
        for (auto& object : objects) {
            object->scaleToFrame({0, 0, 640, 640});
            object->draw(cr);
            (void)object->pathHitTest({100, 100});
            ++count;
        }
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    auto again = RedliningArchive::decode(RedliningArchive::encode(decoded.value().pages));
    std::size_t countAgain = 0;
    if (again.ok()) {
        for (const auto& [page, objects] : again.value().pages) {
            countAgain += objects.size();
        }
    }
    if (!again.ok() || countAgain != count) {
        std::abort();  // what we wrote must read back whole
    }
    return 0;
}
