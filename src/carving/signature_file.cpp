#include "carving/signature_file.h"

#include <fstream>
#include <iterator>

#include "core/text_number.h"

namespace lumarest {
namespace {

// A record is exactly four consecutive lines; a file ending inside one leaves the rest empty.
constexpr int kLinesPerRecord = 4;
constexpr std::size_t kSignatureLine = 2;  // counted from the record's first line
constexpr const char* kNoSignatureReason =
    "the record has no signature bytes, so it would make every sector a file";

// Splits text into lines at line feeds. A carriage return before the line feed is dropped, so
// files written with DOS line ends read the same as on the system they were written for.
class LineReader {
  public:
    explicit LineReader(std::string_view text) : text_(text) {}

    bool AtEnd() const { return position_ >= text_.size(); }

    // The next line, or empty text once the file is done.
    std::string_view Next() {
        if (AtEnd()) {
            return {};
        }
        const std::size_t end = text_.find('\n', position_);
        const std::size_t stop = end == std::string_view::npos ? text_.size() : end;
        std::string_view line = text_.substr(position_, stop - position_);
        position_ = end == std::string_view::npos ? text_.size() : end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        return line;
    }

  private:
    std::string_view text_;
    std::size_t position_ = 0;
};

std::string_view AfterLastColon(std::string_view line) {
    const std::size_t colon = line.rfind(':');
    return colon == std::string_view::npos ? line : line.substr(colon + 1);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Each pair of hexadecimal digits becomes one byte, written as its decimal number; an odd last
// digit stands alone.
void ConvertSignature(std::string_view hexText, FileType& type) {
    std::uint64_t count = 0;
    while (!hexText.empty()) {
        const std::size_t take = hexText.size() >= 2 ? 2 : 1;
        type.signature += std::to_string(HexPairValue(hexText.substr(0, take)));
        hexText.remove_prefix(take);
        ++count;
    }
    type.byteCount = std::to_string(count);
}

// Blank lines at the end of a file would otherwise make a record with an empty signature,
// which matches every sector and turns the whole disk into one-sector files.
bool IsBlankRecord(const std::string_view (&record)[kLinesPerRecord]) {
    for (std::string_view line : record) {
        if (!TrimBlanks(line).empty()) {
            return false;
        }
    }
    return true;
}

}  // namespace

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return 0;
}

int HexPairValue(std::string_view text) {
    // Unsigned so that a long text wraps instead of overflowing; pairs never come near it.
    std::uint32_t value = 0;
    for (char c : text) {
        value = value * 16 + static_cast<std::uint32_t>(HexDigitValue(c));
    }
    return static_cast<int>(value);
}

std::vector<RefusedRecord> ParseSignatureText(std::string_view text, SignatureList& list) {
    std::vector<RefusedRecord> refused;
    LineReader lines(text);
    for (std::size_t firstLine = 1; !lines.AtEnd(); firstLine += kLinesPerRecord) {
        FileType type;
        std::string_view record[kLinesPerRecord];
        for (auto& line : record) {
            line = lines.Next();
        }
        type.extension = std::string(AfterLastColon(record[0]));
        type.sizeLimit = std::string(AfterLastColon(record[1]));
        ConvertSignature(TrimBlanks(AfterLastColon(record[2])), type);
        type.spare = std::string(AfterLastColon(record[3]));
        if (IsBlankRecord(record)) {
            continue;
        }
        if (type.signature.empty()) {
            refused.push_back({firstLine + kSignatureLine, kNoSignatureReason});
            continue;
        }
        list.push_back(std::move(type));
    }
    return refused;
}

std::vector<std::string> LoadSignatureFile(const std::string& path, SignatureList& list) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return {};
    }
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::vector<std::string> messages;
    for (const RefusedRecord& record : ParseSignatureText(text, list)) {
        messages.push_back("the signature file " + path + ", line " + std::to_string(record.line) +
                           ": " + record.reason);
    }
    return messages;
}

std::string SignatureFilePath(const std::string& programFolder, const char* fileName) {
    if (programFolder.empty() || programFolder.back() == '/') {
        return programFolder + fileName;
    }
    return programFolder + "/" + fileName;
}

std::uint64_t SizeLimitBytes(const FileType& type) {
    const std::int64_t value = ParseTextNumber(type.sizeLimit);
    return value < 0 ? 0 : static_cast<std::uint64_t>(value);
}

std::uint64_t SignatureByteCount(const FileType& type) {
    const std::int64_t value = ParseTextNumber(type.byteCount);
    return value < 0 ? 0 : static_cast<std::uint64_t>(value);
}

}  // namespace lumarest
