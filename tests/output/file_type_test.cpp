#include "output/file_type.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumarest {
namespace {

constexpr FileTypeWording kChain = FileTypeWording::ClusterChainFolder;
constexpr FileTypeWording kRoot = FileTypeWording::RootFolderOrNtfs;

struct GroupCase {
    std::vector<std::string> endings;
    std::string description;
};

// Every ending of every group, in both spellings, behind a plain stem.
TEST(FileTypeDescription, EveryEndingGivesItsGroup) {
    const std::vector<GroupCase> groups = {
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
         "Compressed File"},
        {{".htm", ".HTM", ".HTML", ".html", ".ASP", ".asp", ".CSS", ".css", ".JS", ".js", ".JSP",
          ".jsp", ".PHP", ".php", ".XHTML", ".xhtml"},
         "Web file"},
        {{".chm", ".CHM"}, "Help File"},
        {{".REG", ".reg"}, "Windows Registry file"},
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
    };
    for (const GroupCase& group : groups) {
        for (const std::string& ending : group.endings) {
            EXPECT_EQ(FileTypeDescription("name" + ending, kChain), group.description) << ending;
        }
    }
}

TEST(FileTypeDescription, ComparesEndingsExactly) {
    EXPECT_EQ(FileTypeDescription("PHOTO.JPG", kChain), "Image File");
    EXPECT_EQ(FileTypeDescription("photo.jpg", kChain), "Image File");
    EXPECT_EQ(FileTypeDescription("Photo.Jpg", kChain), "File");
    EXPECT_EQ(FileTypeDescription("photo.JPg", kRoot), "File");
    EXPECT_EQ(FileTypeDescription("Report.Doc", kChain), "File");
}

TEST(FileTypeDescription, FirstGroupInTableOrderWins) {
    // ".PPS" belongs to the presentations, tested before the pictures' ".PS".
    EXPECT_EQ(FileTypeDescription("REPORT.PPS", kChain), "Microsoft Power Point File");
    EXPECT_EQ(FileTypeDescription("REPORT.PS", kChain), "Image File");
    EXPECT_EQ(FileTypeDescription("song.ram", kChain), "Sound file");
    EXPECT_EQ(FileTypeDescription("clip.rm", kChain), "Video File");
}

TEST(FileTypeDescription, NamesWithoutDotOrWithSeveralDots) {
    EXPECT_EQ(FileTypeDescription("README", kChain), "File");
    EXPECT_EQ(FileTypeDescription("", kChain), "File");
    EXPECT_EQ(FileTypeDescription(".", kChain), "File");
    // Only the last ending counts.
    EXPECT_EQ(FileTypeDescription("photo.jpg.zip", kChain), "Compressed File");
    EXPECT_EQ(FileTypeDescription("archive.zip.jpg", kChain), "Image File");
    EXPECT_EQ(FileTypeDescription("notes.txt.", kChain), "File");
    // A name made of the ending alone still ends with it.
    EXPECT_EQ(FileTypeDescription(".jpg", kChain), "Image File");
    // An ending longer than the name cannot match.
    EXPECT_EQ(FileTypeDescription("pg", kChain), "File");
    // A dotless "c" or "h" is not a source file.
    EXPECT_EQ(FileTypeDescription("abc", kChain), "File");
}

TEST(FileTypeDescription, WebEndingsWithoutDotMatchAnyName) {
    EXPECT_EQ(FileTypeDescription("index.html", kChain), "Web file");
    EXPECT_EQ(FileTypeDescription("notes_xhtml", kChain), "Web file");
    EXPECT_EQ(FileTypeDescription("HTML", kChain), "Web file");
    EXPECT_EQ(FileTypeDescription("pageHTML", kRoot), "Web file");
    EXPECT_EQ(FileTypeDescription("page_Html", kChain), "File");
}

TEST(FileTypeDescription, ArchivesAndRegistryFilesWordedByListing) {
    EXPECT_EQ(FileTypeDescription("ARCHIVE.ZIP", kChain), "Compressed File");
    EXPECT_EQ(FileTypeDescription("ARCHIVE.ZIP", kRoot), "Winzip File");
    EXPECT_EQ(FileTypeDescription("setup.reg", kChain), "Windows Registry file");
    EXPECT_EQ(FileTypeDescription("setup.reg", kRoot), "Registry file");
    // Every other group reads the same in both listings.
    EXPECT_EQ(FileTypeDescription("PHOTO.JPG", kRoot), "Image File");
    EXPECT_EQ(FileTypeDescription("misc.bin", kRoot), "File");
}

TEST(FileTypeDescription, NamesInOtherScriptsKeepTheirEndings) {
    EXPECT_EQ(FileTypeDescription("\xD1\x84\xD0\xBE\xD1\x82\xD0\xBE.jpg", kChain), "Image File");
    EXPECT_EQ(FileTypeDescription("\xE5\x86\x99\xE7\x9C\x9F.JPG", kRoot), "Image File");
    // A full-width "JPG" is not the ASCII ending.
    EXPECT_EQ(FileTypeDescription("a.\xEF\xBC\xAA\xEF\xBC\xB0\xEF\xBC\xA7", kChain), "File");
}

TEST(IconExtension, TakesTheTextFromTheLastDot) {
    EXPECT_EQ(IconExtension("photo.jpg"), ".jpg");
    EXPECT_EQ(IconExtension("a.tar.gz"), ".gz");
    EXPECT_EQ(IconExtension("README"), "");
    EXPECT_EQ(IconExtension("trailing."), ".");
}

}  // namespace
}  // namespace lumarest
