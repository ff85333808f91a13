#include <zlib.h>

#include <array>
#include <climits>
#include <optional>

#include "carving/formats/known_formats.h"
#include "core/le_bytes.h"

namespace lumarest {
namespace {

constexpr std::uint8_t kId1 = 0x1F;
constexpr std::uint8_t kId2 = 0x8B;
constexpr std::uint8_t kDeflate = 8;
constexpr std::size_t kFixedHeaderSize = 10;
constexpr std::size_t kTrailerSize = 8;  // CRC-32 and size of the data
constexpr std::uint8_t kFlagHeaderCrc = 0x02;
constexpr std::uint8_t kFlagExtra = 0x04;
constexpr std::uint8_t kFlagName = 0x08;
constexpr std::uint8_t kFlagComment = 0x10;
constexpr std::uint8_t kReservedFlags = 0xE0;
constexpr std::uint8_t kMaxOsCode = 13;
constexpr std::uint8_t kUnknownOs = 255;
constexpr int kRawDeflateWindow = -15;

// Where the compressed data starts, or why it cannot be told.
struct DataStart {
    enum { Found, RunsPast, Broken } kind = Broken;
    std::size_t at = 0;
};

bool IsTextByte(std::uint8_t c) {
    return c >= 0x20 || c == '\t' || c == '\n' || c == '\r';
}

// Past a zero-terminated name or comment from `pos`. One of text that runs past the bytes
// may yet end further on.
DataStart PastZeroTerminated(ByteSpan bytes, std::size_t pos) {
    for (; pos < bytes.size(); ++pos) {
        if (bytes[pos] == 0) {
            return {DataStart::Found, pos + 1};
        }
        if (!IsTextByte(bytes[pos])) {
            return {};
        }
    }
    return {DataStart::RunsPast, 0};
}

// Where the compressed data starts, when the header's fields agree with gzip's.
DataStart FindDataStart(ByteSpan bytes) {
    const auto flags = LoadLe8(bytes, 3);
    const auto os = LoadLe8(bytes, 9);
    if (bytes.size() < kFixedHeaderSize || bytes[0] != kId1 || bytes[1] != kId2 ||
        bytes[2] != kDeflate || !flags || (*flags & kReservedFlags) != 0 || !os ||
        (*os > kMaxOsCode && *os != kUnknownOs)) {
        return {};
    }
    std::size_t pos = kFixedHeaderSize;
    if ((*flags & kFlagExtra) != 0) {
        const auto extra = LoadLe16(bytes, pos);
        if (!extra) {
            return {DataStart::RunsPast, 0};
        }
        pos += 2 + std::size_t{*extra};
    }
    for (const std::uint8_t field : {kFlagName, kFlagComment}) {
        if ((*flags & field) != 0) {
            const DataStart past = PastZeroTerminated(bytes, pos);
            if (past.kind != DataStart::Found) {
                return past;
            }
            pos = past.at;
        }
    }
    if ((*flags & kFlagHeaderCrc) != 0) {
        pos += 2;
    }
    if (pos > bytes.size()) {
        return {DataStart::RunsPast, 0};
    }
    return {DataStart::Found, pos};
}

enum class Inflated { End, NeedsMore, Broken };

// Inflates the raw deflate data in `bytes` into a scratch buffer; on End, `consumed` is where the
// stream ended and `produced` how many bytes it gave.
Inflated InflateRaw(ByteSpan bytes, std::uint64_t& consumed, std::uint64_t& produced) {
    z_stream stream{};
    if (inflateInit2(&stream, kRawDeflateWindow) != Z_OK) {
        return Inflated::Broken;
    }
    std::array<Bytef, 64 * 1024> scratch{};
    const Bytef* next = bytes.data();
    std::uint64_t left = bytes.size();
    Inflated result = Inflated::NeedsMore;
    // Each pass consumes input or fills the scratch buffer; zlib reports no progress otherwise.
    while (true) {
        if (stream.avail_in == 0 && left > 0) {
            const auto chunk = static_cast<uInt>(std::min<std::uint64_t>(left, UINT_MAX));
            stream.next_in = const_cast<Bytef*>(next);
            stream.avail_in = chunk;
            next += chunk;
            left -= chunk;
        }
        stream.next_out = scratch.data();
        stream.avail_out = static_cast<uInt>(scratch.size());
        const int status = inflate(&stream, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            result = Inflated::End;
            break;
        }
        if (status == Z_BUF_ERROR ||
            (status == Z_OK && stream.avail_in == 0 && left == 0 && stream.avail_out != 0)) {
            result = Inflated::NeedsMore;
            break;
        }
        if (status != Z_OK) {
            result = Inflated::Broken;
            break;
        }
    }
    consumed = stream.total_in;
    produced = stream.total_out;
    inflateEnd(&stream);
    return result;
}

// The header's fields agree, and what follows in the header's bytes inflates without error:
// three header bytes alone are too short a signature to trust.
// A long extra field is no part of a sound header: it would let chance bytes through.
bool GzipHeaderHolds(ByteSpan head) {
    const DataStart start = FindDataStart(head);
    if (start.kind != DataStart::Found) {
        return start.kind == DataStart::RunsPast && (head[3] & kFlagExtra) == 0;
    }
    std::uint64_t consumed = 0;
    std::uint64_t produced = 0;
    return InflateRaw(head.subspan(start.at), consumed, produced) != Inflated::Broken;
}

// After the deflate stream's last block and the trailer whose size field matches.
FormatEnd GzipEnd(ByteSpan bytes) {
    const DataStart start = FindDataStart(bytes);
    if (start.kind != DataStart::Found) {
        return start.kind == DataStart::RunsPast ? CutShort() : NotThisFormat();
    }
    std::uint64_t consumed = 0;
    std::uint64_t produced = 0;
    switch (InflateRaw(bytes.subspan(start.at), consumed, produced)) {
        case Inflated::Broken:
            return NotThisFormat();
        case Inflated::NeedsMore:
            return CutShort();
        case Inflated::End:
            break;
    }
    const std::uint64_t end = start.at + consumed + kTrailerSize;
    const auto size = LoadLe32(bytes, static_cast<std::size_t>(end - 4));
    if (!size) {
        return CutShort();
    }
    if (*size != static_cast<std::uint32_t>(produced)) {
        return NotThisFormat();
    }
    return {EndKind::Found, end};
}

}  // namespace

const CarvedFormat kGzipFormat{GzipHeaderHolds, GzipEnd, false};

}  // namespace lumarest
