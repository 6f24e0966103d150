#include "platform/BinaryPlistCheck.h"

#include <fmt/format.h>

#include <vector>

namespace pagewell {

namespace {

constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kTrailerSize = 32;

Error invalid(const std::string& what) {
    return Error::make(BinaryPlistCheck::kErrorDomain, 1, "Invalid binary property list: " + what);
}

std::uint64_t readBigEndian(const unsigned char* at, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) {
        value = (value << 8) | at[i];
    }
    return value;
}

class Walker {
  public:
    Walker(std::string_view bytes, const BinaryPlistCheck::Limits& limits)
        : data_(reinterpret_cast<const unsigned char*>(bytes.data())),
          size_(bytes.size()),
          limits_(limits) {}

    Status run() {
        const unsigned char* trailer = data_ + size_ - kTrailerSize;
        offsetSize_ = trailer[6];
        refSize_ = trailer[7];
        count_ = readBigEndian(trailer + 8, 8);
        std::uint64_t top = readBigEndian(trailer + 16, 8);
        tableOffset_ = readBigEndian(trailer + 24, 8);
        if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8) {
            return invalid("bad integer sizes in the trailer");
        }
        std::uint64_t tableEnd = size_ - kTrailerSize;
        if (count_ == 0 || top >= count_ || tableOffset_ < kHeaderSize || tableOffset_ > tableEnd ||
            count_ > (tableEnd - tableOffset_) / offsetSize_) {
            return invalid("bad object table");
        }
        state_.assign(count_, 0);
        nodes_.assign(count_, 0);
        expanded_.assign(count_, 0);
        std::uint64_t nodes = 0;
        std::uint64_t bytes = 0;
        if (Status status = visit(top, 1, nodes, bytes); !status) {
            return status;
        }
        return {};
    }

  private:
    Result<std::uint64_t> offsetOf(std::uint64_t index) const {
        std::uint64_t offset =
            readBigEndian(data_ + tableOffset_ + index * offsetSize_, offsetSize_);
        if (offset < kHeaderSize || offset >= tableOffset_) {
            return invalid("object offset out of range");
        }
        return offset;
    }

    // Reads a marker's length: the low nibble, or an integer object after it when it is 0xF.
    bool readLength(std::uint64_t& at, std::uint64_t& length) const {
        unsigned char marker = data_[at];
        length = marker & 0x0F;
        at += 1;
        if (length != 0x0F) {
            return true;
        }
        if (at >= tableOffset_ || (data_[at] & 0xF0) != 0x10) {
            return false;
        }
        std::size_t intSize = std::size_t{1} << (data_[at] & 0x0F);
        if (intSize > 8 || at + 1 + intSize > tableOffset_) {
            return false;
        }
        length = readBigEndian(data_ + at + 1, intSize);
        at += 1 + intSize;
        return true;
    }

    Status visit(std::uint64_t index, int depth, std::uint64_t& nodes, std::uint64_t& bytes) {
        if (depth > limits_.maxDepth) {
            return invalid("nested too deeply");
        }
        if (state_[index] == 1) {
            return invalid("object refers to itself");
        }
        if (state_[index] == 2) {
            return add(nodes_[index], expanded_[index], nodes, bytes);
        }
        state_[index] = 1;
        auto offset = offsetOf(index);
        if (!offset) {
            return offset.error();
        }
        std::uint64_t at = offset.value();
        unsigned char marker = data_[at];
        std::uint64_t ownNodes = 1;
        std::uint64_t ownBytes = 16;
        std::uint64_t payloadEnd = at + 1;
        std::vector<std::uint64_t> refs;
        switch (marker >> 4) {
            case 0x0:
                break;
            case 0x1:
            case 0x2:
                payloadEnd += std::uint64_t{1} << (marker & 0x0F);
                break;
            case 0x3:
                payloadEnd += 8;
                break;
            case 0x8:
                payloadEnd += (marker & 0x0F) + 1u;
                break;
            case 0x4:
            case 0x5:
            case 0x6:
            case 0x7: {
                std::uint64_t length = 0;
                if (!readLength(at, length) || length > size_) {
                    return invalid("bad string or data length");
                }
                std::uint64_t unit = (marker >> 4) == 0x6 ? 2 : 1;
                payloadEnd = at + length * unit;
                ownBytes += length * unit;
                break;
            }
            case 0xA:
            case 0xB:
            case 0xC:
            case 0xD: {
                std::uint64_t length = 0;
                if (!readLength(at, length) || length > size_) {
                    return invalid("bad container length");
                }
                std::uint64_t refCount = (marker >> 4) == 0xD ? length * 2 : length;
                if (refCount > (tableOffset_ - at) / refSize_) {
                    return invalid("container runs past the object table");
                }
                payloadEnd = at + refCount * refSize_;
                refs.reserve(refCount);
                for (std::uint64_t i = 0; i < refCount; ++i) {
                    std::uint64_t ref = readBigEndian(data_ + at + i * refSize_, refSize_);
                    if (ref >= count_) {
                        return invalid("reference out of range");
                    }
                    refs.push_back(ref);
                }
                break;
            }
            default:
                return invalid(fmt::format("unknown object marker 0x{:02x}", marker));
        }
        if (payloadEnd > tableOffset_) {
            return invalid("object runs past the object table");
        }
        for (std::uint64_t ref : refs) {
            if (Status status = visit(ref, depth + 1, ownNodes, ownBytes); !status) {
                return status;
            }
        }
        state_[index] = 2;
        nodes_[index] = ownNodes;
        expanded_[index] = ownBytes;
        return add(ownNodes, ownBytes, nodes, bytes);
    }

    Status add(std::uint64_t addNodes, std::uint64_t addBytes, std::uint64_t& nodes,
               std::uint64_t& bytes) const {
        nodes += addNodes;
        bytes += addBytes;
        if (nodes > limits_.maxNodes || bytes > limits_.maxExpandedBytes) {
            return invalid("expands beyond the allowed size");
        }
        return {};
    }

    const unsigned char* data_;
    std::uint64_t size_;
    const BinaryPlistCheck::Limits& limits_;
    unsigned offsetSize_ = 0;
    unsigned refSize_ = 0;
    std::uint64_t count_ = 0;
    std::uint64_t tableOffset_ = 0;
    std::vector<unsigned char> state_;  // 0 unseen, 1 on the current path, 2 measured
    std::vector<std::uint64_t> nodes_;
    std::vector<std::uint64_t> expanded_;
};

}  // namespace

bool BinaryPlistCheck::looksBinary(std::string_view bytes) {
    return bytes.size() >= kHeaderSize && bytes.substr(0, 6) == "bplist";
}

Status BinaryPlistCheck::check(std::string_view bytes, const Limits& limits) {
    if (bytes.size() > limits.maxFileBytes) {
        return Error::make(kErrorDomain, 2, "File is too large");
    }
    if (!looksBinary(bytes) || bytes.substr(0, 8) != "bplist00") {
        return invalid("missing header");
    }
    if (bytes.size() < kHeaderSize + kTrailerSize + 1) {
        return invalid("truncated");
    }
    return Walker(bytes, limits).run();
}

}  // namespace pagewell
