#pragma once
// Short video clips for the demo catalogue: Motion-JPEG frames in an AVI container, which common
// players open and which needs no encoder beyond JPEG. Frames come from DemoImage, so a clip is
// the same bytes on every build. Stateless; safe from any thread.

#include <filesystem>
#include <string>

#include "platform/Error.h"

namespace pagewell::cms {

struct DemoClip {
    int width = 320;
    int height = 240;
    int frames = 24;
    int framesPerSecond = 12;
    int seed = 0;
    std::string caption;
};

class DemoVideo {
  public:
    static constexpr const char* kErrorDomain = "DemoVideo";

    static Result<std::string> aviBytes(const DemoClip& clip);
    static Status writeAvi(const std::filesystem::path& file, const DemoClip& clip);
};

}  // namespace pagewell::cms
