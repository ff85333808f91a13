#include <algorithm>

#include "carving/formats/known_formats.h"
#include "core/le_bytes.h"

// MTS and M2TS: the transport streams cameras record, a run of 192-byte packets, each a 4-byte
// arrival stamp then a 188-byte transport packet opening with its sync byte. Nothing in the
// stream says how long it is: it ends where the packets stop.
namespace lumarest {
namespace {

constexpr std::size_t kPacketBytes = 192;
constexpr std::size_t kSyncAt = 4;
constexpr std::uint8_t kSyncByte = 0x47;
// After the sync byte: set when the packet came damaged, which a recording's packets are not.
constexpr std::size_t kFlagsAt = kSyncAt + 1;
constexpr std::uint8_t kTransportError = 0x80;
// The packets a header's sector and what follows it must open with: the three whose sync
// bytes lie in the sector itself, and the rest when the bytes read hold them.
constexpr std::size_t kLeastHeaderPackets = 3;
constexpr std::size_t kMostHeaderPackets = 8;

bool SyncAt(ByteSpan bytes, std::size_t packet) {
    const auto sync = LoadLe8(bytes, packet + kSyncAt);
    return sync && *sync == kSyncByte;
}

bool SoundPacketAt(ByteSpan bytes, std::size_t packet) {
    const auto flags = LoadLe8(bytes, packet + kFlagsAt);
    return SyncAt(bytes, packet) && flags && (*flags & kTransportError) == 0;
}

}  // namespace

bool PacketStreamHolds(ByteSpan head) {
    const std::size_t whole = std::min(head.size() / kPacketBytes, kMostHeaderPackets);
    const std::size_t packets = std::max(whole, kLeastHeaderPackets);
    for (std::size_t i = 0; i < packets; ++i) {
        if (!SoundPacketAt(head, i * kPacketBytes)) {
            return false;
        }
    }
    return true;
}

namespace {

// Walks the packets from `point`: the stream ends before the first packet whose sync byte is
// not there. While the packets run on to the end of the bytes the stream goes on, at least
// through the packet under way.
FormatEnd PacketStreamWalk(ByteSpan bytes, WalkPoint& point) {
    const std::uint64_t base = point.at;
    std::size_t at = 0;  // from `base`
    for (; at + kSyncAt < bytes.size(); at += kPacketBytes) {
        if (!SyncAt(bytes, at)) {
            if (point.units == 0) {
                return NotThisFormat();
            }
            return {EndKind::Found, base + at};
        }
        if (at + kPacketBytes > bytes.size()) {
            break;  // its sync byte is there, the rest still to come
        }
        ++point.units;
        point.at = base + at + kPacketBytes;
    }
    const std::uint64_t unwalked = point.at;
    return {EndKind::PastBytes, unwalked + kPacketBytes};
}

FormatEnd PacketStreamEnd(ByteSpan bytes) {
    WalkPoint point;
    return PacketStreamWalk(bytes, point);
}

}  // namespace

const CarvedFormat kPacketStreamFormat{PacketStreamHolds, PacketStreamEnd,  false,
                                       nullptr,           PacketStreamWalk, true};

}  // namespace lumarest
