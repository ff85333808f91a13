#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ntfs/mft_record.h"

namespace lumarest::testing {

// Writes file records the way NTFS lays them out, for inline tests: header, update sequence
// at 48 (check value 0x0001 at every 512-byte end), attributes from 56 (after the array in
// larger records), the end marker.
// Records are 1024 bytes unless `recordSectors` names more.
class RecordBuilder {
  public:
    static constexpr std::size_t kUsaOffset = 48;
    static constexpr std::size_t kFirstAttribute = 56;

    explicit RecordBuilder(std::uint8_t flags = kRecordInUse,
                           std::uint32_t recordSectors = kMftRecordSectors)
        : bytes_(recordSectors), next_(Align(kUsaOffset + 2 * (bytes_.Sectors() + 1))) {
        bytes_[0] = 'F';
        bytes_[1] = 'I';
        bytes_[2] = 'L';
        bytes_[3] = 'E';
        Put16(4, kUsaOffset);
        Put16(6, bytes_.Sectors() + 1);
        Put16(20, next_);
        bytes_[22] = flags;
        Put32(28, bytes_.size());
        Put16(kUsaOffset, 0x0001);
    }

    void Put16(std::size_t at, std::uint32_t value) { PutLe(at, value, 2); }
    void Put32(std::size_t at, std::uint64_t value) { PutLe(at, value, 4); }
    void Put64(std::size_t at, std::uint64_t value) { PutLe(at, value, 8); }
    void PutLe(std::size_t at, std::uint64_t value, std::size_t width) {
        for (std::size_t i = 0; i < width; ++i) {
            bytes_[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    }

    // Returns the attribute's offset.
    std::size_t AddResident(std::uint32_t type, const std::vector<std::uint8_t>& content,
                            std::uint8_t nameLength = 0) {
        const std::size_t length = Align(24 + content.size());
        const std::size_t at = Begin(type, length);
        bytes_[at + 9] = nameLength;
        Put32(at + 16, content.size());
        Put16(at + 20, 24);
        std::copy(content.begin(), content.end(), bytes_.begin() + at + 24);
        return at;
    }

    std::size_t AddNonResident(std::uint32_t type, const std::vector<std::uint8_t>& runs,
                               std::uint64_t realSize, std::uint64_t firstVcn = 0) {
        const std::size_t length = Align(64 + runs.size() + 1);
        const std::size_t at = Begin(type, length);
        bytes_[at + 8] = 1;
        Put64(at + 16, firstVcn);
        Put16(at + 32, 64);
        Put64(at + 48, realSize);
        Put64(at + 56, realSize);
        std::copy(runs.begin(), runs.end(), bytes_.begin() + at + 64);
        return at;
    }

    void AddFileName(const std::u16string& name, std::uint8_t nameSpace, std::uint32_t parent = 5,
                     std::uint64_t created = 0x01CA047E5A1C2000) {
        std::vector<std::uint8_t> content(66 + 2 * name.size());
        for (std::size_t i = 0; i < 4; ++i) {
            content[i] = static_cast<std::uint8_t>(parent >> (8 * i));
        }
        for (std::size_t i = 0; i < 8; ++i) {
            content[8 + i] = static_cast<std::uint8_t>(created >> (8 * i));
        }
        content[64] = static_cast<std::uint8_t>(name.size());
        content[65] = nameSpace;
        for (std::size_t i = 0; i < name.size(); ++i) {
            content[66 + 2 * i] = static_cast<std::uint8_t>(name[i]);
            content[67 + 2 * i] = static_cast<std::uint8_t>(name[i] >> 8);
        }
        AddResident(0x30, content);
    }

    // The record as it lies on the disk: sector ends moved into the update sequence array.
    MftRecordBuffer OnDisk() const {
        MftRecordBuffer disk = Fixed();
        for (std::size_t i = 1; i <= disk.Sectors(); ++i) {
            disk[kUsaOffset + 2 * i] = disk[512 * i - 2];
            disk[kUsaOffset + 2 * i + 1] = disk[512 * i - 1];
            disk[512 * i - 2] = 0x01;
            disk[512 * i - 1] = 0x00;
        }
        return disk;
    }

    // The record as the readers see it after the fix-up.
    MftRecordBuffer Fixed() const {
        MftRecordBuffer fixed = bytes_;
        fixed[next_] = 0xFF;
        fixed[next_ + 1] = 0xFF;
        fixed[next_ + 2] = 0xFF;
        fixed[next_ + 3] = 0xFF;
        return fixed;
    }

  private:
    static std::size_t Align(std::size_t length) { return (length + 7) / 8 * 8; }

    std::size_t Begin(std::uint32_t type, std::size_t length) {
        const std::size_t at = next_;
        Put32(at, type);
        Put32(at + 4, length);
        next_ += length;
        return at;
    }

    MftRecordBuffer bytes_;
    std::size_t next_;  // kFirstAttribute in records of 1024 bytes, after the longer array else
};

}  // namespace lumarest::testing
