#include "core/hole_stream.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/new_file.h"
#include "support/temp_folder.h"

namespace lumarest {
namespace {

// One step of writing a file: bytes of one letter, or a run of zeros.
struct Step {
    char letter;  // 0 for zeros
    std::uint64_t count;
};

void Apply(const std::vector<Step>& steps, std::ostream& out) {
    for (const Step& step : steps) {
        if (step.letter == 0) {
            WriteZeros(out, step.count);
        } else {
            out << std::string(step.count, step.letter);
        }
    }
}

std::string Expected(const std::vector<Step>& steps) {
    std::string text;
    for (const Step& step : steps) {
        text.append(step.count, step.letter);
    }
    return text;
}

// Zeros become holes in a new file and plain zeros in a string stream; either way the bytes
// read back are the same, a hole at the end included.
TEST(HoleStream, ZerosReadBackWhereverTheyFall) {
    constexpr std::uint64_t kBig = 1 << 16;  // past the new file's buffer
    const std::vector<std::pair<const char*, std::vector<Step>>> cases{
        {"zeros only", {{0, 5000}}},
        {"hole between", {{'a', 10}, {0, 9000}, {'b', 3}}},
        {"hole at the end", {{'a', 4096}, {0, 8192}}},
        {"big writes round a hole", {{'a', kBig}, {0, kBig}, {'b', kBig + 1}}},
        {"holes in a row", {{0, 1}, {0, 4095}, {'c', 1}, {0, 0}, {0, 2}}},
        {"nothing", {}},
    };
    const testing::TempFolder folder;
    int error = 0;
    const std::optional<FolderHandle> handle = FolderHandle::Open(folder.Path().string(), error);
    ASSERT_TRUE(handle);
    for (const auto& [name, steps] : cases) {
        const std::unique_ptr<NewFile> file = NewFile::Create(*handle, error);
        ASSERT_TRUE(file) << name;
        Apply(steps, file->Stream());
        ASSERT_EQ(file->Place(name, PlaceMode::KeepExisting), 0) << name;
        const std::vector<std::uint8_t> bytes = testing::ReadWholeFile(folder.Path() / name);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), Expected(steps)) << name;

        std::ostringstream text;
        Apply(steps, text);
        EXPECT_EQ(text.str(), Expected(steps)) << name;
    }
}

}  // namespace
}  // namespace lumarest
