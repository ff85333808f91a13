#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumarest {

// One signature record of a definition file: four lines, numbers kept as decimal text.
struct FileType {
    std::string extension;  // appended verbatim to the carved file's name, e.g. ".jpg"
    std::string sizeLimit;  // most bytes a carved file of this type takes
    std::string signature;  // the signature bytes, each in decimal, written back to back
    std::string spare;
    std::string byteCount;  // number of signature bytes
};

// Records in file order; the first record that matches a sector wins.
using SignatureList = std::vector<FileType>;

inline constexpr const char* kGeneralSignatureFile = "LMXExt2.dll";
inline constexpr const char* kThoroughSignatureFile = "LMXExt2Adv.dll";

// A record left out of the list: its signature line (counted from 1) and why.
struct RefusedRecord {
    std::size_t line = 0;
    std::string reason;
};

// Appends the records of one definition file to `list`. A missing file adds nothing. Returns a
// message naming the file and the line for each record it refuses.
std::vector<std::string> LoadSignatureFile(const std::string& path, SignatureList& list);

// Appends the records of a definition file's text: four lines a record, the value of each line
// after its last colon, the signature line's hexadecimal pairs turned into decimal text. Lines
// that are all blank at the end of a record add nothing. A record with no signature bytes would
// match every sector: it is refused and returned instead.
std::vector<RefusedRecord> ParseSignatureText(std::string_view text, SignatureList& list);

// The definition file's path: the program's folder plus the file name.
std::string SignatureFilePath(const std::string& programFolder, const char* fileName);

int HexDigitValue(char c);
int HexPairValue(std::string_view text);

// The record's numbers read back from their text; text that does not parse, or a negative
// number, reads as 0.
std::uint64_t SizeLimitBytes(const FileType& type);
std::uint64_t SignatureByteCount(const FileType& type);

}  // namespace lumarest
