// Fuzzes the reading of NTFS file records: the update-sequence fix-up, the attribute walk,
// names, data sizes, attribute lists and run decoding; and of index blocks.
//
// Input: the last byte chooses the record size (1024, 2048 or 4096 bytes); the first that many
// bytes are a file record as it lies on the disk; the whole input is also a small disk (the
// master file table at sector 0, one sector per cluster, records of the chosen size) on which
// the run table is built and a record's data read (sparse runs of any length as holes); the whole
// input, "INDX" put first, is also an index block, its slack walked for the folder its bytes 16
// to 23 name (so entries of that folder can be planted). Every decoded run must start inside the
// volume, every span lie inside its record, and every walk end within its bound.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <ostream>
#include <streambuf>
#include <vector>

#include "core/hole_stream.h"
#include "core/memory_disk.h"
#include "ntfs/attribute_list.h"
#include "ntfs/attributes.h"
#include "ntfs/data_runs.h"
#include "ntfs/extension_records.h"
#include "ntfs/file_data.h"
#include "ntfs/file_name.h"
#include "ntfs/index_block.h"
#include "ntfs/mft_record.h"
#include "ntfs/mft_run_table.h"

namespace {

using namespace lumarest;

constexpr std::size_t kMaxDiskBytes = 64 * 1024;
constexpr std::uint64_t kVolumeStart = 0;
// Writes beyond this fail: a fuzzed size would otherwise write zeros for a long time.
constexpr std::uint64_t kMaxWrittenBytes = 1 << 20;
constexpr std::uint32_t kRecordSectorChoices[] = {2, 4, 8};

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool Inside(ByteSpan part, ByteSpan whole) {
    return part.empty() || (part.data() >= whole.data() &&
                            part.data() + part.size() <= whole.data() + whole.size());
}

// Counts what is written and keeps nothing; fails like a full disk past kMaxWrittenBytes. Takes
// holes as a new file does: of any length, for nothing.
class CountingBuffer : public HoleStreamBuffer {
  public:
    std::uint64_t count = 0;
    bool full = false;

    bool SkipZeros(std::uint64_t) override { return true; }

  protected:
    std::streamsize xsputn(const char*, std::streamsize n) override {
        if (count + static_cast<std::uint64_t>(n) > kMaxWrittenBytes) {
            full = true;
            return 0;
        }
        count += static_cast<std::uint64_t>(n);
        return n;
    }
    int overflow(int c) override { return xsputn(nullptr, 1) == 1 ? c : traits_type::eof(); }
};

void CheckRuns(ByteSpan runs, std::uint32_t sectorsPerCluster) {
    const DecodedRuns decoded = DecodeRuns(runs, kVolumeStart + 100, sectorsPerCluster);
    Check(decoded.runs.size() <= kMaxRunsPerList);
    for (const DataRun& run : decoded.runs) {
        Check(run.sparse ? run.startSector == 0 : run.startSector >= kVolumeStart + 100);
    }
}

void WalkRecord(ByteSpan record) {
    const std::size_t visited = WalkAttributes(record, [&](const Attribute& attribute) {
        Check(Inside(attribute.bytes, record));
        Check(Inside(attribute.content, attribute.bytes));
        Check(Inside(attribute.runs, attribute.bytes));
        Check(Inside(attribute.name, attribute.bytes));
        if (attribute.nonResident && attribute.runsInBounds) {
            CheckRuns(attribute.runs, 1 + (attribute.length & 0x7F));
        }
        if (attribute.type == kAttrAttributeList && attribute.contentInBounds) {
            Check(WalkAttributeList(attribute.content, [](const AttributeListEntry&) {
                      return true;
                  }) <= kMaxAttributeListEntries);
        }
        return true;
    });
    Check(visited <= kMaxAttributesPerRecord);
    std::vector<FileNameInfo> names;
    CollectFileNames(record, names);
    DataSize(record);
    Check(CollectExtensionRecords(record, 7).records.size() <= kMaxExtensionRecords);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint32_t recordSectors =
        kRecordSectorChoices[size == 0 ? 0 : data[size - 1] % std::size(kRecordSectorChoices)];
    MftRecordBuffer record(recordSectors);
    Check(record.size() == std::size_t{recordSectors} * kSectorSize);
    std::copy_n(data, std::min(size, record.size()), record.begin());
    const FixupResult fixup = ApplyFixup(record);
    Check(fixup.sectorsRestored <= recordSectors);
    WalkRecord(record);

    std::vector<std::uint8_t> block(data, data + std::min(size, kMaxIndexBlockBytes));
    if (block.size() >= 4) {
        std::copy_n("INDX", 4, block.begin());
    }
    ApplyFixup(block);
    Check(WalkIndexEntries(block, [&](const IndexEntry& entry) {
              Check(entry.offset + entry.length <= block.size());
              return true;
          }) <= kMaxIndexEntries);
    const IndexOwner owner{LoadLe32(block, 16).value_or(0), LoadLe16(block, 22).value_or(0)};
    Check(WalkIndexSlack(block, owner, [&](const IndexEntry& entry) {
              Check(entry.offset + entry.length <= block.size());
              Check(entry.fileName.parent == owner.record);
          }) <= kMaxIndexEntries);

    std::vector<std::uint8_t> bytes(data, data + std::min(size, kMaxDiskBytes));
    bytes.resize((bytes.size() + kSectorSize - 1) / kSectorSize * kSectorSize);
    MemoryDisk disk(std::move(bytes));
    const NtfsLayout layout{kVolumeStart, 1, 0, recordSectors};
    MftRunTable table;
    BuildMftRunTable(disk, layout, table);
    for (std::uint32_t number = 0; number < 4; ++number) {
        const std::uint64_t sector = MftRecordSector(table, number);
        MftRecordBuffer own(table.recordSectors);
        if (sector == 0 || !ReadMftRecord(disk, sector, own)) {
            continue;
        }
        Check(own.Sectors() == recordSectors);
        const ExtensionRecordList list = ReadExtensionRecords(disk, layout, own, number);
        Check(list.records.size() <= kMaxExtensionRecords);
        const std::vector<MftRecordBuffer> records = ReadFileRecords(disk, table, own, list);
        for (const MftRecordBuffer& read : records) {
            Check(read.Sectors() == recordSectors);
        }
        RecordName(records);
        DataSize(records);
        CountingBuffer counter;
        std::ostream out(&counter);
        WriteRecordData(disk, layout, records, out);
        Check(counter.count <= kMaxWrittenBytes);
        // What the room check counts is what was written: holes take none.
        Check(counter.full || counter.count == StoredRecordDataBytes(layout, records));
    }
    return 0;
}
