#pragma once

#include <cstdint>

namespace lumarest {

class TextTable;

// Removes from `records` (rows of run.ntfsRecordTable, in sector order) the copies of records
// 0 to 3 that a volume keeps in its mirror: four records numbered 0 to 3 in consecutive slots
// whose next slot holds no record 4. The master file table goes on with record 4 there; the
// mirror does not. A group whose next slot lies at or past `examinedEnd` was not seen whole and
// stays.
void DropMirrorCopies(TextTable& records, std::uint64_t examinedEnd);

}  // namespace lumarest
