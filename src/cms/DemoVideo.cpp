#include "cms/DemoVideo.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "cms/DemoImage.h"
#include "platform/FileSystem.h"

namespace pagewell::cms {

namespace {

// RIFF writing: little-endian numbers, four-character codes, and chunks whose size is patched
// once their body is complete.
class RiffWriter {
  public:
    void u32(std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            bytes_.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
        }
    }
    void u16(std::uint16_t value) {
        bytes_.push_back(static_cast<char>(value & 0xff));
        bytes_.push_back(static_cast<char>(value >> 8));
    }
    void fourcc(const char* code) { bytes_.append(code, 4); }
    void raw(const std::string& data) { bytes_ += data; }

    // Writes the code and a size placeholder; returns where the size goes.
    std::size_t begin(const char* code) {
        fourcc(code);
        const std::size_t at = bytes_.size();
        u32(0);
        return at;
    }
    std::size_t beginList(const char* listType) {
        const std::size_t at = begin("LIST");
        fourcc(listType);
        return at;
    }
    // Chunk bodies are padded to an even length; the size excludes the pad byte.
    void end(std::size_t sizeAt) {
        const auto size = static_cast<std::uint32_t>(bytes_.size() - sizeAt - 4);
        for (int i = 0; i < 4; ++i) {
            bytes_[sizeAt + i] = static_cast<char>((size >> (8 * i)) & 0xff);
        }
        if (bytes_.size() % 2 != 0) {
            bytes_.push_back('\0');
        }
    }
    std::size_t size() const { return bytes_.size(); }
    std::string take() { return std::move(bytes_); }

  private:
    std::string bytes_;
};

}  // namespace

Result<std::string> DemoVideo::aviBytes(const DemoClip& clip) {
    if (clip.frames <= 0 || clip.framesPerSecond <= 0 || clip.width <= 0 || clip.height <= 0) {
        return Error::make(kErrorDomain, 1, "a clip needs a size, frames and a frame rate");
    }
    std::vector<std::string> frames;
    std::uint32_t largest = 0;
    for (int i = 0; i < clip.frames; ++i) {
        DemoPicture picture{clip.width, clip.height, clip.seed, clip.caption,
                            clip.frames == 1 ? 0.0 : double(i) / (clip.frames - 1)};
        auto jpeg = DemoImage::jpegBytes(picture, 75);
        if (!jpeg.ok()) {
            return jpeg.error();
        }
        largest = std::max<std::uint32_t>(largest, jpeg.value().size());
        frames.push_back(std::move(jpeg).value());
    }

    RiffWriter w;
    const auto riff = w.begin("RIFF");
    w.fourcc("AVI ");
    const auto header = w.beginList("hdrl");
    const auto avih = w.begin("avih");
    w.u32(1000000 / clip.framesPerSecond);  // microseconds per frame
    w.u32(largest * clip.framesPerSecond);  // maximum bytes per second
    w.u32(0);                               // padding granularity
    w.u32(0x10);                            // AVIF_HASINDEX
    w.u32(clip.frames);
    w.u32(0);  // initial frames
    w.u32(1);  // streams
    w.u32(largest);
    w.u32(clip.width);
    w.u32(clip.height);
    for (int i = 0; i < 4; ++i) {
        w.u32(0);
    }
    w.end(avih);
    const auto streamList = w.beginList("strl");
    const auto strh = w.begin("strh");
    w.fourcc("vids");
    w.fourcc("MJPG");
    w.u32(0);  // flags
    w.u16(0);  // priority
    w.u16(0);  // language
    w.u32(0);  // initial frames
    w.u32(1);  // scale
    w.u32(clip.framesPerSecond);
    w.u32(0);  // start
    w.u32(clip.frames);
    w.u32(largest);
    w.u32(0xffffffff);  // quality: default
    w.u32(0);           // sample size: varies per frame
    w.u16(0);
    w.u16(0);
    w.u16(static_cast<std::uint16_t>(clip.width));
    w.u16(static_cast<std::uint16_t>(clip.height));
    w.end(strh);
    const auto strf = w.begin("strf");  // BITMAPINFOHEADER
    w.u32(40);
    w.u32(clip.width);
    w.u32(clip.height);
    w.u16(1);   // planes
    w.u16(24);  // bits per pixel
    w.fourcc("MJPG");
    w.u32(clip.width * clip.height * 3);
    w.u32(0);
    w.u32(0);
    w.u32(0);
    w.u32(0);
    w.end(strf);
    w.end(streamList);
    w.end(header);

    const auto movi = w.beginList("movi");
    const std::size_t moviStart = movi + 4;  // index offsets count from the "movi" code
    std::vector<std::pair<std::uint32_t, std::uint32_t>> index;  // offset, size
    for (const auto& frame : frames) {
        index.emplace_back(static_cast<std::uint32_t>(w.size() - moviStart),
                           static_cast<std::uint32_t>(frame.size()));
        const auto chunk = w.begin("00dc");
        w.raw(frame);
        w.end(chunk);
    }
    w.end(movi);
    const auto idx1 = w.begin("idx1");
    for (const auto& [offset, size] : index) {
        w.fourcc("00dc");
        w.u32(0x10);  // AVIIF_KEYFRAME: every JPEG frame stands alone
        w.u32(offset);
        w.u32(size);
    }
    w.end(idx1);
    w.end(riff);
    return w.take();
}

Status DemoVideo::writeAvi(const std::filesystem::path& file, const DemoClip& clip) {
    auto bytes = aviBytes(clip);
    if (!bytes.ok()) {
        return bytes.error();
    }
    return FileSystem::writeFileAtomically(file, bytes.value());
}

}  // namespace pagewell::cms
