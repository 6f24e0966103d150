#pragma once
// Pictures for the demo catalogue: photos, diagrams, slides and thumbnails drawn from a seed, so
// that every build of the catalogue gives the same bytes. PNG goes through cairo, JPEG through
// libturbojpeg. Stateless; safe from any thread.

#include <filesystem>
#include <string>

#include "platform/Error.h"

namespace pagewell::cms {

struct DemoPicture {
    int width = 640;
    int height = 480;
    int seed = 0;         // chooses the colours and the shapes
    std::string caption;  // drawn across the lower part; may be empty
    double phase = 0;     // 0..1: where the moving marker stands (frames of a clip)
};

class DemoImage {
  public:
    static constexpr const char* kErrorDomain = "DemoImage";

    static Result<std::string> pngBytes(const DemoPicture& picture);
    static Result<std::string> jpegBytes(const DemoPicture& picture, int quality = 85);

    static Status writePng(const std::filesystem::path& file, const DemoPicture& picture);
    static Status writeJpeg(const std::filesystem::path& file, const DemoPicture& picture);
};

}  // namespace pagewell::cms
