#include "carving/signature_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "carving/signature_matcher.h"

namespace lumarest {
namespace {

FileType ParseOne(const std::string& text) {
    SignatureList list;
    ParseSignatureText(text, list);
    EXPECT_EQ(list.size(), 1u) << text;
    return list.empty() ? FileType{} : list.front();
}

FileType WithSignatureLine(const std::string& line) {
    return ParseOne("Extension:.jpg\nSize:100\n" + line + "\nDescription:x\n");
}

TEST(SignatureFile, ReadsTheTextAfterTheLastColonOfEachLine) {
    const FileType type =
        ParseOne("Extension:.jpg\nSize:16777216\nSignature:FFD8FF\nDescription:JPEG\n");
    EXPECT_EQ(type.extension, ".jpg");
    EXPECT_EQ(type.sizeLimit, "16777216");
    EXPECT_EQ(type.signature, "255216255");
    EXPECT_EQ(type.byteCount, "3");
    EXPECT_EQ(type.spare, "JPEG");

    EXPECT_EQ(ParseOne("a:b:.jpg\n1\nFF\nx\n").extension, ".jpg");
    EXPECT_EQ(ParseOne(".jpg\n1\nFF\nx\n").extension, ".jpg");
    // A description with a colon of its own keeps only its last part.
    EXPECT_EQ(ParseOne(".jpg\n1\nFF\nDescription:JPEG: Exif\n").spare, " Exif");
}

TEST(SignatureFile, TrimsOnlyTheSignatureLine) {
    const FileType type = ParseOne("Extension: .jpg \nSize: 12\nSignature:  FFD8FF \t\nD: x \n");
    EXPECT_EQ(type.extension, " .jpg ");
    EXPECT_EQ(type.sizeLimit, " 12");
    EXPECT_EQ(type.signature, "255216255");
    EXPECT_EQ(type.spare, " x ");
    EXPECT_EQ(SizeLimitBytes(type), 12u);
}

TEST(SignatureFile, ConvertsHexadecimalPairsToDecimalText) {
    struct Case {
        const char* line;
        const char* signature;
        const char* byteCount;
    };
    const Case cases[] = {
        {"Signature: FFD8FF", "255216255", "3"},
        {"ffd8ff", "255216255", "3"},
        {"FFD8F", "25521615", "3"},  // an odd last digit stands alone
        {"FF D8", "255138", "3"},    // FF, " D", "8": a blank counts as 0
        {"0117", "123", "2"},
        {"zz0G", "00", "2"},  // digits that are not hexadecimal count as 0
    };
    for (const Case& c : cases) {
        const FileType type = WithSignatureLine(c.line);
        EXPECT_EQ(type.signature, c.signature) << c.line;
        EXPECT_EQ(type.byteCount, c.byteCount) << c.line;
    }
}

TEST(SignatureFile, HexValues) {
    EXPECT_EQ(HexDigitValue('0'), 0);
    EXPECT_EQ(HexDigitValue('9'), 9);
    EXPECT_EQ(HexDigitValue('a'), 10);
    EXPECT_EQ(HexDigitValue('F'), 15);
    EXPECT_EQ(HexDigitValue('g'), 0);
    EXPECT_EQ(HexDigitValue(' '), 0);
    EXPECT_EQ(HexPairValue("FF"), 255);
    EXPECT_EQ(HexPairValue("F"), 15);
    EXPECT_EQ(HexPairValue("1a2"), 0x1a2);
    EXPECT_EQ(HexPairValue(""), 0);
}

TEST(SignatureFile, RecordsAreFourLinesWhateverTheyHold) {
    // A blank line inside the list is read as a line of the record it falls into.
    SignatureList list;
    ParseSignatureText(".a\n1\nFF\nx\n\n.b\n2\nEE\ny\n", list);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].extension, "");
    EXPECT_EQ(list[1].sizeLimit, ".b");
    EXPECT_EQ(list[1].signature, "2");
    EXPECT_EQ(list[1].byteCount, "1");
    EXPECT_EQ(list[1].spare, "EE");
}

TEST(SignatureFile, AFileEndingInsideARecordCompletesItWithEmptyValues) {
    SignatureList list;
    ParseSignatureText(".a\n1\nFF\nx\n.b\n7\nEE", list);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].extension, ".b");
    EXPECT_EQ(list[1].sizeLimit, "7");
    EXPECT_EQ(list[1].signature, "238");
    EXPECT_EQ(list[1].byteCount, "1");
    EXPECT_EQ(list[1].spare, "");
}

// A record with no signature bytes would match every sector: it is left out, and its
// signature line is named.
TEST(SignatureFile, RefusesARecordWithNoSignatureBytes) {
    struct Case {
        const char* text;
        std::size_t kept;
        std::vector<std::size_t> refusedLines;
    };
    const Case cases[] = {
        {".a\n1\nSignature:\nx\n", 0, {3}},
        {".a\n1\nFF\nx\n.b\n2\n  \t\ny\n.c\n3\nEE\nz\n", 2, {7}},
        {".a\n1\nFF\nx\n.b\n7", 1, {7}},    // the file ends before the signature line
        {".a\n1\nFF\nx\n\n\n\n\n", 1, {}},  // a blank record at the end is no record
        {".a\n1\n\nx\n.b\n1\n\ny\n", 0, {3, 7}},
    };
    for (const Case& c : cases) {
        SignatureList list;
        const std::vector<RefusedRecord> refused = ParseSignatureText(c.text, list);
        EXPECT_EQ(list.size(), c.kept) << c.text;
        std::vector<std::size_t> lines;
        for (const RefusedRecord& record : refused) {
            lines.push_back(record.line);
            EXPECT_FALSE(record.reason.empty()) << c.text;
        }
        EXPECT_EQ(lines, c.refusedLines) << c.text;
    }
}

TEST(SignatureFile, BlankLinesAtTheEndAddNoCatchAllRecord) {
    SignatureList list;
    ParseSignatureText(".a\n1\nFF\nx\n\n\n", list);
    EXPECT_EQ(list.size(), 1u);
    ParseSignatureText(".a\n1\nFF\nx\n \r\n\t\n", list);
    EXPECT_EQ(list.size(), 2u);
}

TEST(SignatureFile, DosLineEndsReadLikeUnixOnes) {
    const FileType type = ParseOne("Extension:.png\r\nSize:5\r\nSignature:89504E47\r\nD:png\r\n");
    EXPECT_EQ(type.extension, ".png");
    EXPECT_EQ(type.sizeLimit, "5");
    EXPECT_EQ(type.signature, "137807871");
    EXPECT_EQ(type.spare, "png");
}

TEST(SignatureFile, LoadingAppendsAndAMissingFileAddsNothing) {
    const std::string path =
        (std::filesystem::temp_directory_path() / "lumarest_signature_test.dll").string();
    {
        std::ofstream file(path, std::ios::binary);
        file << ".jpg\n10\nFFD8\nx\n.png\n20\n8950\ny\n";
    }
    SignatureList list;
    LoadSignatureFile(path, list);
    LoadSignatureFile(path, list);
    EXPECT_TRUE(LoadSignatureFile(path + ".missing", list).empty());
    {
        std::ofstream file(path, std::ios::binary);
        file << ".jpg\n10\nFFD8\nx\n.bad\n10\n\nx\n";
    }
    const std::vector<std::string> refused = LoadSignatureFile(path, list);
    std::filesystem::remove(path);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_NE(refused[0].find(path + ", line 7:"), std::string::npos) << refused[0];
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(list[2].extension, ".jpg");
    EXPECT_EQ(list[3].signature, "13780");
    EXPECT_EQ(SignatureFilePath("/opt/lumarest/bin", kGeneralSignatureFile),
              "/opt/lumarest/bin/LMXExt2.dll");
    EXPECT_EQ(SignatureFilePath("/", kThoroughSignatureFile), "/LMXExt2Adv.dll");
}

// The shipped lists: every record reachable, every description whole, sane sizes.
class ShippedSignatureFile : public ::testing::TestWithParam<const char*> {};

TEST_P(ShippedSignatureFile, EveryRecordIsWellFormedAndReachable) {
    SignatureList list;
    LoadSignatureFile(SignatureFilePath(LUMAREST_SOURCE_DIR "/data", GetParam()), list);
    ASSERT_GT(list.size(), 10u);
    std::ifstream raw(SignatureFilePath(LUMAREST_SOURCE_DIR "/data", GetParam()));
    std::string line;
    std::vector<std::string> lines;
    while (std::getline(raw, line)) {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 4 * list.size());
    for (std::size_t r = 0; r < list.size(); ++r) {
        const FileType& type = list[r];
        SCOPED_TRACE(lines[4 * r + 3]);
        EXPECT_EQ(lines[4 * r + 3], "Description:" + type.spare);  // no second colon
        EXPECT_EQ(type.extension.front(), '.');
        EXPECT_GE(SizeLimitBytes(type), 1u << 20);
        EXPECT_LE(SizeLimitBytes(type), 128u << 20);
        EXPECT_GE(SignatureByteCount(type), 2u);
        // A sector made of this record's bytes is carved by this record, not an earlier one.
        const std::string hex = lines[4 * r + 2].substr(lines[4 * r + 2].rfind(':') + 1);
        std::vector<std::uint8_t> sector(512, 0);
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
            sector[i / 2] = static_cast<std::uint8_t>(HexPairValue(hex.substr(i, 2)));
        }
        EXPECT_EQ(SignatureMatcher(list).Match(sector.data()), r);
    }
}

INSTANTIATE_TEST_SUITE_P(Lists, ShippedSignatureFile,
                         ::testing::Values(kGeneralSignatureFile, kThoroughSignatureFile));

}  // namespace
}  // namespace lumarest
