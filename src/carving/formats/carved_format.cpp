#include "carving/formats/carved_format.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>

#include "carving/formats/known_formats.h"

namespace lumarest {
namespace {

std::string RegistryKey(std::string_view extension) {
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!extension.empty() && blank(extension.front())) {
        extension.remove_prefix(1);
    }
    while (!extension.empty() && blank(extension.back())) {
        extension.remove_suffix(1);
    }
    if (!extension.empty() && extension.front() == '.') {
        extension.remove_prefix(1);
    }
    std::string key(extension);
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return key;
}

// Extensions of the signature files (and their usual kin) and the checks each gets.
const std::pair<std::string_view, const CarvedFormat*> kRegistry[] = {
    {"jpg", &kJpegFormat},         {"jpeg", &kJpegFormat},         {"png", &kPngFormat},
    {"gif", &kGifFormat},          {"bmp", &kBmpFormat},           {"tif", &kTiffFormat},
    {"tiff", &kTiffFormat},        {"pdf", &kPdfFormat},           {"zip", &kZipFormat},
    {"docx", &kZipFormat},         {"xlsx", &kZipFormat},          {"pptx", &kZipFormat},
    {"odt", &kZipFormat},          {"jar", &kZipFormat},           {"epub", &kZipFormat},
    {"avi", &kRiffFormat},         {"wav", &kRiffFormat},          {"webp", &kRiffPictureFormat},
    {"gz", &kGzipFormat},          {"mp3", &kId3Format},           {"pcx", &kPcxFormat},
    {"ogg", &kOggFormat},          {"mp4", &kIsoMediaFormat},      {"mov", &kIsoMediaFormat},
    {"m4v", &kIsoMediaFormat},     {"m4a", &kIsoMediaFormat},      {"3gp", &kIsoMediaFormat},
    {"heic", &kIsoPictureFormat},  {"heif", &kIsoPictureFormat},   {"avif", &kIsoPictureFormat},
    {"cr3", &kIsoPictureFormat},   {"cr2", &kRawTiffFormat},       {"nef", &kRawTiffFormat},
    {"nrw", &kRawTiffFormat},      {"arw", &kRawTiffFormat},       {"dng", &kRawTiffFormat},
    {"pef", &kRawTiffFormat},      {"orf", &kRawTiffFormat},       {"rw2", &kRawTiffFormat},
    {"raf", &kRafFormat},          {"mkv", &kMatroskaFormat},      {"webm", &kMatroskaFormat},
    {"mts", &kPacketStreamFormat}, {"m2ts", &kPacketStreamFormat},
};

// Types shown by a decoder of their own; any other picture type is a common picture.
const std::pair<std::string_view, MediaKind> kMediaKinds[] = {
    {"heic", MediaKind::HeifPicture}, {"heif", MediaKind::HeifPicture},
    {"avif", MediaKind::HeifPicture}, {"cr2", MediaKind::RawPhoto},
    {"cr3", MediaKind::RawPhoto},     {"nef", MediaKind::RawPhoto},
    {"nrw", MediaKind::RawPhoto},     {"arw", MediaKind::RawPhoto},
    {"dng", MediaKind::RawPhoto},     {"pef", MediaKind::RawPhoto},
    {"orf", MediaKind::RawPhoto},     {"rw2", MediaKind::RawPhoto},
    {"raf", MediaKind::RawPhoto},     {"mp4", MediaKind::Clip},
    {"mov", MediaKind::Clip},         {"m4v", MediaKind::Clip},
    {"3gp", MediaKind::Clip},         {"mkv", MediaKind::Clip},
    {"webm", MediaKind::Clip},        {"avi", MediaKind::Clip},
    {"mts", MediaKind::Clip},         {"m2ts", MediaKind::Clip},
};

// Cameras split a recording into files of at most 4 GiB, as their card's file system allows.
constexpr std::uint64_t kMostStreamFileBytes = 4ull << 30;

const MarkedType kMarkedTypes[] = {
    {".mts", kMostStreamFileBytes, PacketStreamHolds},
};

}  // namespace

MediaKind MediaKindOf(std::string_view extension) {
    const std::string key = RegistryKey(extension);
    for (const auto& [name, kind] : kMediaKinds) {
        if (name == key) {
            return kind;
        }
    }
    return IsPictureType(key) ? MediaKind::Picture : MediaKind::Other;
}

const CarvedFormat* FormatForExtension(std::string_view extension) {
    const std::string key = RegistryKey(extension);
    for (const auto& [name, format] : kRegistry) {
        if (name == key) {
            return format;
        }
    }
    return nullptr;
}

bool HeaderHolds(std::string_view extension, std::span<const std::uint8_t> head) {
    const CarvedFormat* format = FormatForExtension(extension);
    return format == nullptr || format->headerHolds == nullptr || format->headerHolds(head);
}

FormatEnd FindFormatEnd(std::string_view extension, std::span<const std::uint8_t> bytes) {
    const CarvedFormat* format = FormatForExtension(extension);
    if (format == nullptr || format->findEnd == nullptr) {
        return {};
    }
    return format->findEnd(bytes);
}

bool IsPictureType(std::string_view extension) {
    const CarvedFormat* format = FormatForExtension(extension);
    return format != nullptr && format->picture;
}

std::string_view TrueFileType(std::string_view extension, std::span<const std::uint8_t> bytes) {
    const CarvedFormat* format = FormatForExtension(extension);
    if (format == nullptr || format->trueType == nullptr) {
        return {};
    }
    return format->trueType(bytes);
}

std::span<const MarkedType> MarkedTypes() {
    return kMarkedTypes;
}

std::optional<FormatEnd> WalkFormatFrom(std::string_view extension,
                                        std::span<const std::uint8_t> bytes, WalkPoint& point) {
    const CarvedFormat* format = FormatForExtension(extension);
    if (format == nullptr || format->walkFrom == nullptr) {
        return std::nullopt;
    }
    return format->walkFrom(bytes, point);
}

bool RunsOnUnits(std::string_view extension) {
    const CarvedFormat* format = FormatForExtension(extension);
    return format != nullptr && format->runsOnUnits;
}

std::uint64_t SavedLength(const FormatEnd& end, std::uint64_t carvedBytes) {
    return end.kind == EndKind::Found ? std::min(end.length, carvedBytes) : carvedBytes;
}

}  // namespace lumarest
