#include <string_view>

#include "carving/formats/known_formats.h"
#include "core/le_bytes.h"

namespace lumarest {
namespace {

constexpr std::string_view kPdfHeader = "%PDF-";
constexpr std::string_view kEndOfFile = "%%EOF";

bool PdfHeaderHolds(ByteSpan head) {
    const auto version = LoadLe8(head, kPdfHeader.size());
    return SpellsAt(head, 0, kPdfHeader) && version && *version >= '1' && *version <= '9';
}

// After the last "%%EOF" and its end of line: incremental updates add sections, each with
// its own "%%EOF", so the last one carved closes the file.
FormatEnd PdfEnd(ByteSpan bytes) {
    if (!PdfHeaderHolds(bytes)) {
        return NotThisFormat();
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const std::size_t at = text.rfind(kEndOfFile);
    if (at == std::string_view::npos) {
        return CutShort();
    }
    std::size_t end = at + kEndOfFile.size();
    if (end < text.size() && text[end] == '\r') {
        ++end;
    }
    if (end < text.size() && text[end] == '\n') {
        ++end;
    }
    return {EndKind::Found, end};
}

}  // namespace

const CarvedFormat kPdfFormat{PdfHeaderHolds, PdfEnd, false};

}  // namespace lumarest
