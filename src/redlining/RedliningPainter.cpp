#include "redlining/RedliningPainter.h"

#include <cairo.h>

namespace pagewell {

void RedliningPainter::drawObjects(cairo_t* cr, const std::vector<RedliningObjectPtr>& objects,
                                   const RedliningRect& pageRect) {
    cairo_save(cr);
    cairo_translate(cr, pageRect.x, pageRect.y);
    for (const auto& object : objects) {
        auto copy = object->clone();
        copy->scaleToFrame({0, 0, pageRect.width, pageRect.height});
        copy->draw(cr);
    }
    cairo_restore(cr);
}

}  // namespace pagewell
