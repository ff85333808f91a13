#pragma once

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

// Appends the records of one definition file to `list`. A missing file adds nothing.
void LoadSignatureFile(const std::string& path, SignatureList& list);

// The definition file's path: the program's folder plus the file name.
std::string SignatureFilePath(const std::string& programFolder, const char* fileName);

int HexDigitValue(char c);
int HexPairValue(std::string_view text);

}  // namespace lumarest
