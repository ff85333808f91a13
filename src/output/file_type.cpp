#include "output/file_type.h"

#include <algorithm>
#include <array>
#include <unordered_map>
#include <vector>

namespace lumarest {

namespace {

constexpr std::string_view kOtherFile = "File";

struct TypeGroup {
    std::vector<std::string_view> endings;
    std::string_view description;
    // Set for the two groups whose wording depends on the listing.
    std::string_view rootOrNtfsDescription = {};
};

// Tested in this order, and within a group ending by ending: ".PPS" must be tried before the
// ".PS" of the pictures.
const std::array<TypeGroup, 35>& TypeGroups() {
    static const std::array<TypeGroup, 35> groups{{
        {{".DOC", ".doc", ".docx", ".DOCX"}, "Microsoft Word File"},
        {{".PPT", ".ppt", ".PPTX", ".pptx", ".PPSX", ".ppsx", ".PPS", ".pps"},
         "Microsoft Power Point File"},
        {{".XLS", ".xls", ".XLSX", ".xlsx"}, "Microsoft Excel File"},
        {{".ICO", ".ico"}, "Icon file"},
        {{".PDF", ".pdf"}, "PDF file"},
        {{".EXE", ".exe", ".bat", ".BAT", ".com", ".COM"}, "Executable file"},
        {{".TTF", ".ttf", ".FON", ".fon", ".FNT", ".fnt", ".OTF", ".otf"}, "Font file"},
        {{".PS",  ".ps",  ".AI",  ".ai",  ".BMP", ".bmp",  ".GIF", ".gif", ".PNG",
          ".png", ".PSD", ".psd", ".PSP", ".psp", ".THM",  ".thm", ".TIF", ".tif",
          ".DRW", ".drw", ".DXF", ".dxf", ".EPS", ".eps",  ".SVG", ".svg", ".JPG",
          ".jpg", ".MNG", ".mng", ".PCT", ".pct", ".JPEG", ".jpeg"},
         "Image File"},
        {{".ZIP", ".zip", ".RAR", ".rar", ".7Z", ".7z", ".DEB", ".deb", ".GZ", ".gz", ".PKG",
          ".pkg", ".SEA", ".sea", ".SIT", ".sit", ".SITX", ".sitx"},
         "Compressed File",
         "Winzip File"},
        // The three endings without a dot match any name that ends in those letters.
        {{".htm", ".HTM", "HTML", "html", ".ASP", ".asp", ".CSS", ".css", ".JS", ".js", ".JSP",
          ".jsp", ".PHP", ".php", ".XHTML", "xhtml"},
         "Web file"},
        {{".chm", ".CHM"}, "Help File"},
        {{".REG", ".reg"}, "Windows Registry file", "Registry file"},
        {{".WAV",  ".wav",  ".AU",  ".au",  ".MP3", ".mp3", ".M4A", ".m4a", ".MID", ".mid",
          ".MIDI", ".midi", ".MPA", ".mpa", ".WMA", ".wma", ".AMR", ".amr", ".RA",  ".ra",
          ".RAM",  ".ram",  ".M3U", ".m3u", ".IFF", ".iff", ".AIF", ".aif", ".AAC", ".aac"},
         "Sound file"},
        {{".AVI", ".avi", ".MOV", ".mov", ".MKV", ".mkv", ".FLV", ".flv", ".ASX", ".asx",
          ".ASF", ".asf", ".3GP", ".3gp", ".3G2", ".3g2", ".MP4", ".mp4", ".MPG", ".mpg",
          ".SWF", ".swf", ".VOB", ".vob", ".WMV", ".wmv", ".QT",  ".qt",  ".RM",  ".rm"},
         "Video File"},
        {{".BAK", ".bak", ".BUP", ".bup", ".GHO", ".gho", ".OLD", ".old", ".ORI", ".ori"},
         "Backup File"},
        {{".CPP", ".cpp", ".C", ".c"}, "C++ file"},
        {{".VB", ".vb", ".WS", ".ws"}, "Scripting File"},
        {{".LNK", ".lnk", ".SYS", ".sys"}, "System File"},
        {{".ISO", ".iso", ".VCD", ".vcd"}, "Disk File"},
        {{".MDBX", ".mdbx", ".SQL", ".sql", ".MDB", ".mdb", ".DB", ".db"}, "Database File"},
        {{".JAVA", ".java"}, "Java Source Code File"},
        {{".PIF", ".pif"}, "Program Information File"},
        {{".TORRENT", ".torrent"}, "BitTorrent File"},
        {{".PL", ".pl"}, "Perl Script File"},
        {{".TMP", ".tmp"}, "Temporary File"},
        {{".H", ".h"}, "Header file"},
        {{".MSI", ".msi"}, "Windows Installer Package File"},
        {{".RTF", ".rtf"}, "Rich Text Format File"},
        {{".MSG", ".msg"}, "Mail Message File"},
        {{".CSV", ".csv"}, "Comma Separated Values File"},
        {{".DAT", ".dat"}, "Data File"},
        {{".DLL", ".dll"}, "Dynamic Link Library File"},
        {{".XML", ".xml"}, "XML File"},
        {{".WKS", ".wks"}, "Microsoft Works Spreadsheet File"},
        {{".TXT", ".txt", ".LOG", ".log"}, "Text file"},
    }};
    return groups;
}

std::string_view Wording(const TypeGroup& group, FileTypeWording wording) {
    if (wording == FileTypeWording::RootFolderOrNtfs && !group.rootOrNtfsDescription.empty()) {
        return group.rootOrNtfsDescription;
    }
    return group.description;
}

// Every ending with the first group that has it, and the lengths endings come in: a name is
// matched by looking up its last few characters instead of trying each ending in turn.
struct EndingIndex {
    std::unordered_map<std::string_view, std::size_t> groupOfEnding;
    std::vector<std::size_t> lengths;
};

const EndingIndex& Endings() {
    static const EndingIndex index = [] {
        EndingIndex built;
        const auto& groups = TypeGroups();
        for (std::size_t group = 0; group < groups.size(); ++group) {
            for (std::string_view ending : groups[group].endings) {
                built.groupOfEnding.emplace(ending, group);
                if (std::find(built.lengths.begin(), built.lengths.end(), ending.size()) ==
                    built.lengths.end()) {
                    built.lengths.push_back(ending.size());
                }
            }
        }
        return built;
    }();
    return index;
}

}  // namespace

// The first group, in the order above, with any ending the name has.
std::string FileTypeDescription(std::string_view name, FileTypeWording wording) {
    const EndingIndex& endings = Endings();
    std::size_t first = TypeGroups().size();
    for (const std::size_t length : endings.lengths) {
        if (length > name.size()) {
            continue;
        }
        const auto found = endings.groupOfEnding.find(name.substr(name.size() - length));
        if (found != endings.groupOfEnding.end()) {
            first = std::min(first, found->second);
        }
    }
    return first < TypeGroups().size() ? std::string(Wording(TypeGroups()[first], wording))
                                       : std::string(kOtherFile);
}

std::string_view IconExtension(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view{} : name.substr(dot);
}

}  // namespace lumarest
