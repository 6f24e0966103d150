#pragma once
// Draws a page's objects onto a cairo context: each object is rescaled from the overlay it was
// made in to the page's rectangle on the context (as a page overlay does when it loads) and
// drawn there. One drawing code serves pictures and PDF pages. Stateless.

#include <vector>

#include "redlining/RedliningArchive.h"

typedef struct _cairo cairo_t;

namespace pagewell {

class RedliningPainter {
  public:
    // `pageRect`: the displayed page on the context (origin top left, y down).
    static void drawObjects(cairo_t* cr, const std::vector<RedliningObjectPtr>& objects,
                            const RedliningRect& pageRect);
};

}  // namespace pagewell
