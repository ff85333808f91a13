#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "carving/carved_file_resave.h"
#include "carving/carved_file_saver.h"
#include "carving/carving_scan.h"
#include "carving/collecting_sink.h"
#include "carving/formats/carved_format.h"
#include "core/memory_disk.h"
#include "support/made_images.h"
#include "support/media_samples.h"
#include "support/recording_reporter.h"
#include "support/temp_folder.h"

namespace lumarest {
namespace {

using Bytes = testing::MediaBytes;
using testing::Box;
using testing::Filling;
using testing::Ftyp;
using testing::Joined;
using testing::PacketStream;

constexpr std::size_t kSector = 512;
constexpr std::size_t kPacket = 192;
constexpr std::size_t kPieceBytes = 4u << 20;
constexpr std::int64_t k2024 = 1720953022;  // 2024-07-14 10:30:22 UTC
constexpr std::uint64_t kFrom1904 = 2082844800;

SignatureList ShippedSignatures() {
    SignatureList signatures;
    LoadSignatureFile(SignatureFilePath(LUMAREST_SOURCE_DIR "/data", kGeneralSignatureFile),
                      signatures);
    return signatures;
}

// Takes every file in pieces, as the saving sink before the listing does, and keeps them.
class PieceSink : public testing::CollectingSink {
  public:
    bool TakesPieces(const CarvedFile&) const override { return true; }
    void FileSpilled(const CarvedFile& file, std::span<const std::uint8_t> piece) override {
        ++pieces[file.name];
        largest = std::max(largest, piece.size());
        Bytes& whole = spilled[file.name];
        whole.insert(whole.end(), piece.begin(), piece.end());
    }
    // A file as handed on: its pieces, then the rest.
    Bytes Whole(const Entry& entry) {
        Bytes whole = spilled[entry.file.name];
        whole.insert(whole.end(), entry.bytes.begin(), entry.bytes.end());
        return whole;
    }
    std::map<std::string, std::size_t> pieces;
    std::map<std::string, Bytes> spilled;
    std::size_t largest = 0;
};

// `files` laid on sector boundaries after a sector of filling, each followed by `gap` bytes.
Bytes LaidOut(std::initializer_list<Bytes> files, const Bytes& gap,
              std::vector<std::uint64_t>& firstSectors) {
    Bytes disk = Filling(kSector, 9);
    for (const Bytes& file : files) {
        firstSectors.push_back(disk.size() / kSector);
        disk.insert(disk.end(), file.begin(), file.end());
        disk.insert(disk.end(), gap.begin(), gap.end());
        disk.resize((disk.size() + kSector - 1) / kSector * kSector, 0);
    }
    return disk;
}

// A saved file, read at once: large ones are read byte by byte too slowly otherwise.
Bytes SavedFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    Bytes bytes(std::filesystem::exists(path) ? std::filesystem::file_size(path) : 0);
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

Bytes At(const Bytes& disk, std::uint64_t sector, std::uint64_t count) {
    const auto from = disk.begin() + static_cast<std::ptrdiff_t>(sector * kSector);
    return Bytes(from, from + static_cast<std::ptrdiff_t>(count));
}

// Clip media whose sector boundaries, counted from the file's start, hold other headers.
Bytes MediaWithHeaders(std::size_t headBytes, std::size_t bytes) {
    Bytes contents = Filling(bytes, 7);
    const Bytes jpeg = testing::JpegWithExifDate("2020:01:01 00:00:00");
    const Bytes mp4 = Joined({Ftyp("isom", {"isom"}), Box("moov", Filling(64, 1))});
    for (std::size_t at = 4 * kSector; at + jpeg.size() < bytes; at += 3 * kPieceBytes / 2) {
        testing::Overwrite(contents, at - headBytes, jpeg);
        testing::Overwrite(contents, at + 8 * kSector - headBytes, mp4);
    }
    return contents;
}

struct ClipCase {
    const char* name;
    Bytes clip;  // the file's bytes as laid on the disk
    bool cut;    // cut short: the disk ends with it
    bool gap;    // filling lies between it and the JPEG after it
    const char* extension;
    CarvedVerdict verdict;
    std::optional<std::int64_t> captured;
};

// A clip whose media runs over many pieces is handed on in pieces and saved byte-exact to the
// end its boxes declare, with the verdict its boxes give: the same file as when it is held
// whole. Headers inside its media are its data; a JPEG after it is a file of its own. One cut
// short by the disk's end is saved as carved.
TEST(Streams, ClipsSpanningManyPiecesAreSavedWholeAtTheirDeclaredEnd) {
    constexpr std::size_t kMedia = 3 * kPieceBytes + 1234;
    const Bytes dated = Box("moov", testing::Mvhd(0, kFrom1904 + k2024));
    const Bytes first = Joined({Ftyp("isom", {"isom", "avc1"}), dated});
    const Bytes whole = Joined({first, Box("mdat", Filling(kMedia, 3))});
    // Ends on a sector's end: the JPEG's sector follows its last byte.
    const std::size_t aligned = kMedia + kSector - (first.size() + 8 + kMedia) % kSector;
    const ClipCase cases[] = {
        {"on a sector's end, a JPEG right after", Joined({first, Box("mdat", Filling(aligned, 3))}),
         false, false, "mp4", CarvedVerdict::Complete, k2024},
        {"movie first", whole, false, true, "mp4", CarvedVerdict::Complete, k2024},
        {"movie last",
         Joined({Ftyp("qt  ", {"qt  "}), Box("wide", {}), Box("mdat", Filling(kMedia, 4)), dated}),
         false, true, "mov", CarvedVerdict::Complete, k2024},
        {"64-bit media box",
         Joined({Ftyp("mp42", {"mp42"}), dated, testing::LargeBox("mdat", Filling(kMedia, 5))}),
         false, true, "mp4", CarvedVerdict::Complete, k2024},
        {"headers inside the media",
         Joined({first, Box("mdat", MediaWithHeaders(first.size() + 8, kMedia))}), false, true,
         "mp4", CarvedVerdict::Complete, k2024},
        {"cut short", Bytes(whole.begin(), whole.begin() + 2 * kPieceBytes + 77), true, true, "mp4",
         CarvedVerdict::Truncated, k2024},
        {"no movie box", Joined({Ftyp("isom", {"isom"}), Box("mdat", Filling(kMedia, 6))}), false,
         true, "mp4", CarvedVerdict::Truncated, std::nullopt},
        {"matroska segment", testing::MatroskaFile("matroska", kMedia), false, true, "mkv",
         CarvedVerdict::Complete, std::nullopt},
    };
    const SignatureList signatures = ShippedSignatures();
    const Bytes jpeg = testing::JpegWithExifDate("2024:07:14 10:30:22");
    for (const ClipCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Headers inside a clip whose boxes go on are its data: one cut short ends with the disk.
        const bool cut = c.cut;
        std::vector<std::uint64_t> firstSectors;
        const Bytes disk =
            cut ? LaidOut({c.clip}, {}, firstSectors)
                : LaidOut({c.clip, jpeg}, c.gap ? Filling(3 * kSector, 8) : Bytes{}, firstSectors);
        const std::size_t files = cut ? 1 : 2;
        // A file with no end found is saved as carved: to the JPEG's sector, or the disk's end.
        const std::uint64_t carved =
            (cut ? disk.size() / kSector : firstSectors[1]) * kSector - firstSectors[0] * kSector;
        const std::uint64_t saved = c.verdict == CarvedVerdict::Complete ? c.clip.size() : carved;
        const testing::TempFolder folder("lumarest_streams");
        PieceSink streamed;
        testing::CollectingSink held;
        testing::RecordingReporter reporter;
        MemoryDisk memory(disk);
        {
            SavingSink saving(folder.Path().string(), streamed, reporter);
            RunCarvingPass(CarvingPass::General, signatures, memory, 0, memory.TotalSectors(),
                           saving, reporter, {});
        }
        RunCarvingPass(CarvingPass::General, signatures, memory, 0, memory.TotalSectors(), held,
                       reporter, {});
        ASSERT_EQ(streamed.entries.size(), files) << ::testing::PrintToString(streamed.Names());
        ASSERT_EQ(held.entries.size(), files) << ::testing::PrintToString(held.Names());
        const CarvedFile& file = streamed.entries[0].file;
        EXPECT_EQ(file.extension, c.extension);
        EXPECT_EQ(file.firstSector, firstSectors[0]);
        EXPECT_EQ(file.savedBytes, saved);
        EXPECT_EQ(file.verdict, c.verdict);
        EXPECT_EQ(file.captured, c.captured);
        EXPECT_GE(streamed.pieces[file.name], c.clip.size() / kPieceBytes);
        EXPECT_LE(streamed.largest, kPieceBytes + kSector);
        EXPECT_LE(streamed.entries[0].bytes.size(), kPieceBytes + kSector);
        const Bytes expected = At(disk, firstSectors[0], saved);
        EXPECT_TRUE(streamed.Whole(streamed.entries[0]) == expected);
        EXPECT_TRUE(SavedFile(folder.Path() / file.name) == expected);
        if (!cut) {
            EXPECT_EQ(streamed.entries[1].file.extension, "jpg");
            EXPECT_EQ(streamed.entries[1].file.firstSector, firstSectors[1]);
        }
        // Held whole, the same file.
        const auto& [heldFile, heldBytes] = held.entries[0];
        EXPECT_EQ(heldFile.savedBytes, file.savedBytes);
        EXPECT_EQ(heldFile.verdict, file.verdict);
        EXPECT_EQ(heldFile.captured, file.captured);
        EXPECT_TRUE(Bytes(heldBytes.begin(),
                          heldBytes.begin() + static_cast<std::ptrdiff_t>(saved)) == expected);
    }
}

// A clip recorded with its movie box last says when it was taken there, wherever the pieces it
// is handed on in cut that box.
TEST(Streams, ALargeMovieBoxLastGivesTheTimeWhereverPiecesCutIt) {
    const Bytes moov =
        Box("moov",
            Joined({testing::Mvhd(0, kFrom1904 + k2024), Box("trak", Filling((3u << 20) / 2, 1))}));
    const SignatureList signatures = ShippedSignatures();
    for (std::size_t step = 0; step < 8; ++step) {
        SCOPED_TRACE("media of " + std::to_string(step) + " eighths of a piece more");
        const Bytes clip =
            Joined({Ftyp("qt  ", {"qt  "}),
                    Box("mdat", Filling(2 * kPieceBytes + step * kPieceBytes / 8 + 99, 2)), moov});
        std::vector<std::uint64_t> firstSectors;
        MemoryDisk memory(LaidOut({clip}, Filling(3 * kSector, 8), firstSectors));
        PieceSink sink;
        testing::RecordingReporter reporter;
        RunCarvingPass(CarvingPass::General, signatures, memory, 0, memory.TotalSectors(), sink,
                       reporter, {});
        ASSERT_EQ(sink.entries.size(), 1u);
        EXPECT_EQ(sink.entries[0].file.savedBytes, clip.size());
        EXPECT_EQ(sink.entries[0].file.captured, k2024);
        EXPECT_TRUE(sink.Whole(sink.entries[0]) == clip);
    }
}

// Saved again from the disk after the search, a clip of many pieces is written in pieces to
// the same bytes; one with a sector that cannot be read is named so and leaves no file.
TEST(Streams, ClipsSavedAgainAreReadInPieces) {
    const Bytes clip = Joined({Ftyp("isom", {"isom"}), Box("moov", Filling(300, 1)),
                               Box("mdat", Filling(2 * kPieceBytes + 999, 2))});
    std::vector<std::uint64_t> firstSectors;
    const Bytes disk = LaidOut({clip, clip}, Filling(kSector, 3), firstSectors);
    MemoryDisk memory(disk);
    CarvedFile file;
    file.name = "GNLM00001.mp4";
    file.extension = "mp4";
    file.firstSector = firstSectors[0];
    file.bytes = (firstSectors[1] - firstSectors[0]) * kSector;
    file.savedBytes = clip.size();
    CarvedFile unreadable = file;
    unreadable.name = "GNLM00002.mp4";
    unreadable.firstSector = firstSectors[1];
    memory.MarkUnreadable(firstSectors[1] + (kPieceBytes + 7 * kSector) / kSector);
    const testing::TempFolder folder("lumarest_resave");
    int error = 0;
    std::optional<FolderHandle> handle = FolderHandle::Open(folder.Path().string(), error);
    ASSERT_TRUE(handle);
    const ResaveSummary summary = ResaveCarvedFiles({file, unreadable}, memory, std::move(*handle),
                                                    folder.Path().string(), nullptr, {});
    EXPECT_EQ(summary.saved, 1u);
    EXPECT_EQ(summary.unreadable, std::vector<std::string>{"GNLM00002.mp4"});
    EXPECT_TRUE(SavedFile(folder.Path() / "GNLM00001.mp4") == clip);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()),
                            std::filesystem::directory_iterator()),
              1);
}

// A disk that makes its bytes as they are read: a clip whose media box runs `mediaBytes`,
// then zeros. Each media sector is filled with a value of its own.
class ClipDisk : public SectorSource {
  public:
    ClipDisk(const Bytes& head, std::uint64_t mediaBytes, std::uint64_t sectors)
        : head_(head), clipBytes_(head.size() + mediaBytes), sectors_(sectors) {}

    int ReadSectors(std::uint64_t first, std::uint32_t count, std::uint8_t* buffer) override {
        Fill(first * kSector, std::span(buffer, std::size_t{count} * kSector));
        return 0;
    }
    std::uint64_t TotalSectors() const override { return sectors_; }
    std::string Name() const override { return "clip disk"; }
    std::uint64_t ClipBytes() const { return clipBytes_; }

    // The disk's bytes from `offset` on.
    void Fill(std::uint64_t offset, std::span<std::uint8_t> out) const {
        std::size_t done = 0;
        while (done < out.size()) {
            const std::uint64_t at = offset + done;
            const std::uint64_t sector = at / kSector;
            const std::size_t run =
                std::min<std::size_t>(out.size() - done, kSector - at % kSector);
            const std::uint8_t value =
                at < clipBytes_ ? static_cast<std::uint8_t>(0x80 + sector % 0x7F) : 0;
            std::memset(out.data() + done, value, run);
            done += run;
        }
        if (offset < head_.size()) {
            const std::size_t count = std::min<std::size_t>(head_.size() - offset, out.size());
            std::memcpy(out.data(), head_.data() + offset, count);
        }
        if (offset + out.size() > clipBytes_ && offset < clipBytes_) {
            std::memset(out.data() + (clipBytes_ - offset), 0,
                        out.size() - static_cast<std::size_t>(clipBytes_ - offset));
        }
    }

  private:
    Bytes head_;
    std::uint64_t clipBytes_;
    std::uint64_t sectors_;
};

// Checks each piece against the disk as it comes, holding none.
class CheckingSink : public CarvedFileSink {
  public:
    explicit CheckingSink(const ClipDisk& disk) : disk_(disk) {}
    void FileFinished(const CarvedFile& file, std::vector<std::uint8_t> bytes) override {
        Check(bytes);
        files.push_back(file);
        lastHeld = bytes.size();
    }
    std::uint64_t ImageCount() const override { return files.size(); }
    bool TakesPieces(const CarvedFile&) const override { return true; }
    void FileSpilled(const CarvedFile&, std::span<const std::uint8_t> piece) override {
        largest = std::max(largest, piece.size());
        Check(piece);
    }

    std::vector<CarvedFile> files;
    std::uint64_t handedOn = 0;
    std::size_t largest = 0;
    std::size_t lastHeld = 0;
    bool same = true;

  private:
    void Check(std::span<const std::uint8_t> bytes) {
        expected_.resize(bytes.size());
        disk_.Fill(handedOn, expected_);
        same = same && std::equal(bytes.begin(), bytes.end(), expected_.begin());
        handedOn += bytes.size();
    }
    const ClipDisk& disk_;
    Bytes expected_;
};

// A clip larger than any file is held, and than its type's limit, is streamed whole to the
// end its media box declares, never held.
TEST(Streams, AClipLargerThanWhatIsHeldIsStreamedWhole) {
    constexpr std::uint64_t kMedia = (600ull << 20) + 4321;
    const Bytes head =
        Joined({Ftyp("isom", {"isom", "avc1"}), Box("moov", testing::Mvhd(0, kFrom1904 + k2024)),
                testing::BoxHeader(1, "mdat")});
    Bytes sized = head;
    for (int shift = 56; shift >= 0; shift -= 8) {
        sized.push_back(static_cast<std::uint8_t>((kMedia + 16) >> shift));
    }
    ClipDisk disk(sized, kMedia, (sized.size() + kMedia) / kSector + 4096);
    CheckingSink sink(disk);
    testing::RecordingReporter reporter;
    RunCarvingPass(CarvingPass::General, ShippedSignatures(), disk, 0, disk.TotalSectors(), sink,
                   reporter, {});
    ASSERT_EQ(sink.files.size(), 1u);
    EXPECT_EQ(sink.files[0].savedBytes, disk.ClipBytes());
    EXPECT_EQ(sink.files[0].verdict, CarvedVerdict::Complete);
    EXPECT_EQ(sink.handedOn, disk.ClipBytes());
    EXPECT_TRUE(sink.same);
    EXPECT_LE(sink.largest, kPieceBytes + kSector);
    EXPECT_LE(sink.lastHeld, kPieceBytes + kSector);
}

// A walk that stops where its bytes do goes on from its point over the rest to the same end as
// one over all of them, wherever the bytes were split.
TEST(Streams, WalksGoOnFromWhereTheyStopped) {
    const Bytes moov = Box("moov", Filling(300, 1));
    const Bytes mdat = Box("mdat", Filling(5000, 2));
    const std::pair<const char*, Bytes> files[] = {
        {"mp4", Joined({Ftyp("isom", {"isom"}), moov, mdat, Filling(700, 3)})},
        {"mov", Joined({Ftyp("qt  ", {"qt  "}), mdat, moov, Filling(700, 3)})},
        {"mp4", Joined({Ftyp("isom", {"isom"}), mdat, Filling(700, 3)})},
        {"mkv", Joined({testing::MatroskaFile("matroska", 5000), Filling(700, 3)})},
        {"mts", Joined({PacketStream(40), Filling(700, 3)})},
        {"mts", PacketStream(40)},
    };
    for (const auto& [extension, bytes] : files) {
        const FormatEnd all = FindFormatEnd(extension, bytes);
        for (const std::size_t split : {std::size_t{3}, std::size_t{100}, std::size_t{1000},
                                        bytes.size() / 2, bytes.size() - 1}) {
            SCOPED_TRACE(std::string(extension) + " split at " + std::to_string(split));
            WalkPoint point;
            const auto head = WalkFormatFrom(extension, std::span(bytes).first(split), point);
            ASSERT_TRUE(head);
            if (head->kind != EndKind::PastBytes) {
                continue;
            }
            ASSERT_LE(point.at, bytes.size());
            const auto rest = WalkFormatFrom(
                extension, std::span(bytes).subspan(static_cast<std::size_t>(point.at)), point);
            EXPECT_EQ(rest->kind, all.kind);
            EXPECT_EQ(rest->length, all.length);
        }
    }
}

struct WalkCase {
    const char* name;
    Bytes bytes;
    EndKind kind;
    std::uint64_t length;
};

// A packet stream ends before the first packet that lost its sync; one whose packets run to
// the end of the bytes goes on; bytes that do not open with packets are no stream.
TEST(Streams, PacketStreamsEndWhereTheirPacketsStop) {
    const Bytes stream = PacketStream(40);
    Bytes lost = stream;
    lost[25 * kPacket + 4] = 0x46;
    Bytes firstLost = stream;
    firstLost[4] = 0;
    const WalkCase cases[] = {
        {"filling after", Joined({stream, Filling(3000)}), EndKind::Found, stream.size()},
        {"zeros after", Joined({stream, Bytes(3000, 0)}), EndKind::Found, stream.size()},
        {"sync lost", lost, EndKind::Found, 25 * kPacket},
        {"to the end", stream, EndKind::PastBytes, stream.size() + kPacket},
        {"cut in a packet", Bytes(stream.begin(), stream.end() - 100), EndKind::PastBytes,
         stream.size()},
        {"cut before a sync byte", Bytes(stream.begin(), stream.end() - kPacket + 3),
         EndKind::PastBytes, stream.size()},
        {"first packet lost", firstLost, EndKind::Unknown, 0},
        {"nothing", {}, EndKind::PastBytes, kPacket},
    };
    for (const WalkCase& c : cases) {
        SCOPED_TRACE(c.name);
        const FormatEnd end = FindFormatEnd("mts", c.bytes);
        EXPECT_EQ(end.kind, c.kind);
        EXPECT_EQ(end.length, c.length);
    }
    EXPECT_TRUE(HeaderHolds("mts", stream));
    EXPECT_TRUE(HeaderHolds("mts", std::span(stream).first(kSector)));
    EXPECT_FALSE(HeaderHolds("mts", firstLost));
    EXPECT_FALSE(HeaderHolds("mts", Joined({Bytes(2, 0), stream})));
    Bytes damaged = stream;
    damaged[2 * kPacket + 5] |= 0x80;  // the transport error flag
    EXPECT_FALSE(HeaderHolds("mts", damaged));
}

struct StreamCase {
    const char* name;
    Bytes stream;
    Bytes after;     // what follows it on the disk
    bool toDiskEnd;  // the disk ends inside the stream's last sector
    CarvedVerdict verdict;
    std::vector<std::string> others;  // the types of the files after it
};

// A camera's stream is found by the mark at byte 4 of its sectors and comes back as one .mts
// file, though a packet run starts afresh every third sector inside it: saved byte-exact at
// its length when its packets stop, truncated when the disk ends inside it, in pieces when long.
// What follows it never lengthens it.
TEST(Streams, CameraStreamsComeBackAsOneFileEachAtTheirLength) {
    const StreamCase cases[] = {
        {"a JPEG after it",
         PacketStream(32 * 20),
         testing::JpegWithExifDate("2020:01:01 00:00:00"),
         false,
         CarvedVerdict::Complete,
         {"jpg"}},
        {"filling after it",
         PacketStream(1001),
         Filling(6 * kSector, 3),
         false,
         CarvedVerdict::Complete,
         {}},
        {"zeros after it",
         PacketStream(1001),
         Bytes(6 * kSector, 0),
         false,
         CarvedVerdict::Complete,
         {}},
        {"another stream after a gap",
         PacketStream(32 * 20),
         Joined({Filling(kSector, 4), PacketStream(64, 0x33)}),
         false,
         CarvedVerdict::Complete,
         {"mts"}},
        {"the disk ends inside it", PacketStream(32 * 20), {}, true, CarvedVerdict::Truncated, {}},
        {"long",
         PacketStream(3 * kPieceBytes / kPacket + 5),
         Filling(kSector, 5),
         false,
         CarvedVerdict::Complete,
         {}},
    };
    const SignatureList signatures = ShippedSignatures();
    for (const StreamCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint64_t> firstSectors;
        Bytes disk = LaidOut({c.stream}, {}, firstSectors);
        const std::uint64_t streamSectors = (c.stream.size() + kSector - 1) / kSector;
        std::uint64_t saved = c.stream.size();
        if (c.toDiskEnd) {
            disk.resize(disk.size() - kSector);
            saved = disk.size() - firstSectors[0] * kSector;
        } else {
            disk.insert(disk.end(), c.after.begin(), c.after.end());
            disk.resize((disk.size() + kSector - 1) / kSector * kSector + 2 * kSector, 0);
        }
        const testing::TempFolder folder("lumarest_mts");
        PieceSink shown;
        testing::RecordingReporter reporter;
        MemoryDisk memory(disk);
        {
            SavingSink saving(folder.Path().string(), shown, reporter);
            RunCarvingPass(CarvingPass::General, signatures, memory, 0, memory.TotalSectors(),
                           saving, reporter, {});
        }
        ASSERT_EQ(shown.entries.size(), 1 + c.others.size())
            << ::testing::PrintToString(shown.Names());
        const CarvedFile& file = shown.entries[0].file;
        EXPECT_EQ(file.name, "GNLM00001.mts");
        EXPECT_EQ(file.firstSector, firstSectors[0]);
        EXPECT_EQ(file.savedBytes, saved);
        EXPECT_EQ(file.verdict, c.verdict);
        EXPECT_TRUE(SavedFile(folder.Path() / file.name) == At(disk, firstSectors[0], saved));
        EXPECT_GE(shown.pieces[file.name], c.stream.size() / kPieceBytes);
        EXPECT_LE(shown.largest, kPieceBytes + kSector);
        for (std::size_t i = 0; i < c.others.size(); ++i) {
            EXPECT_EQ(shown.entries[i + 1].file.extension, c.others[i]);
            EXPECT_EQ(shown.entries[i + 1].file.firstSector,
                      firstSectors[0] + streamSectors + (c.others[i] == "mts" ? 1 : 0));
        }
    }
}

// A stream made by a real muxer comes back whole as one file.
TEST(Streams, AMuxedStreamComesBackWhole) {
    if (!testing::ToolInstalled("ffmpeg")) {
        GTEST_SKIP() << "making a camera's stream needs ffmpeg";
    }
    const testing::TempFolder temp("lumarest_muxed");
    const std::filesystem::path made = temp.Path() / "made.mts";
    const std::string command =
        "ffmpeg -loglevel error -f lavfi -i testsrc=duration=1:size=160x120:rate=10 "
        "-c:v mpeg2video -f mpegts -mpegts_m2ts_mode 1 '" +
        made.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const Bytes stream = SavedFile(made);
    ASSERT_EQ(stream.size() % kPacket, 0u);
    std::vector<std::uint64_t> firstSectors;
    const Bytes disk = LaidOut({stream}, Filling(4 * kSector, 2), firstSectors);
    MemoryDisk memory(disk);
    testing::CollectingSink sink;
    testing::RecordingReporter reporter;
    RunCarvingPass(CarvingPass::General, ShippedSignatures(), memory, 0, memory.TotalSectors(),
                   sink, reporter, {});
    ASSERT_EQ(sink.entries.size(), 1u) << ::testing::PrintToString(sink.Names());
    const auto& [file, bytes] = sink.entries[0];
    EXPECT_EQ(file.extension, "mts");
    EXPECT_EQ(file.savedBytes, stream.size());
    EXPECT_EQ(file.verdict, CarvedVerdict::Complete);
    EXPECT_TRUE(Bytes(bytes.begin(),
                      bytes.begin() + static_cast<std::ptrdiff_t>(file.savedBytes)) == stream);
}

}  // namespace
}  // namespace lumarest
