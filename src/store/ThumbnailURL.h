#pragma once
// Thumbnail addresses of a given width. The server keeps one folder per rendered width, the
// folder just before the image name ("/media/thumbs/120/cover.png"). Stateless.

#include <string>
#include <string_view>

namespace pagewell {

class ThumbnailURL {
  public:
    // The "/"-separated parts of the address with the second-to-last replaced by the width,
    // rejoined as "/part" for every non-empty part. An address of fewer than two parts is
    // logged ("FileParts count < 2") and gives the empty text. Meant for server-relative
    // paths: a full "scheme://host/..." address loses its "//" ("/http:/host/...").
    static std::string thumbnailURLForWidth(std::string_view fileURL, int width);
};

}  // namespace pagewell
