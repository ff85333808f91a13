#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/command_output.h"
#include "support/image_guard.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;
using testing::CommandOutput;
using testing::ShellQuoted;

// A FAT32 volume holding one large file that starts with a raw picture header whose end no
// format check finds: saving it, or carving it, takes long enough to be interrupted.
std::string LargeFileImage(const fs::path& folder) {
    const fs::path image = folder / "large.img";
    const std::string command =
        "cd " + ShellQuoted(folder.string()) +
        " && rm -f large.img large.x3f && truncate -s 200M large.img"
        " && mkfs.fat -F 32 large.img >/dev/null"
        " && { printf 'FOVb'; head -c 150M /dev/urandom; } > large.x3f"
        " && mcopy -i large.img large.x3f ::/LARGE.X3F && rm large.x3f && echo made";
    return CommandOutput(command + " 2>/dev/null").find("made") != std::string::npos
               ? image.string()
               : std::string();
}

// Ctrl+C while a large file is being written: the saving stops, the file being written is
// removed, what was saved is summed up, and the status is 130.
TEST(SaveInterrupt, CtrlCRemovesTheFileBeingWrittenAndEndsWith130) {
    const fs::path folder = fs::path(LUMAREST_FIXTURE_DIR) / "save_interrupt";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::string image = LargeFileImage(folder);
    if (image.empty()) {
        GTEST_SKIP() << "mkfs.fat or mtools is missing";
    }
    const testing::ImageGuard guard(image);
    struct Row {
        std::string name;
        std::string arguments;
        std::string summary;  // what lists the saved files
    };
    const std::vector<Row> rows = {
        {"standard --save", "standard --partition 1 --save saved", "Saved in saved: "},
        {"raw --out", "raw --out saved", " saved in saved"},
    };
    for (const Row& row : rows) {
        fs::remove_all(folder / "saved");
        fs::create_directories(folder / "saved");
        // The signal goes out once a hidden partial file holds more than a megabyte.
        const std::string command =
            "cd " + ShellQuoted(folder.string()) +
            " || exit; XDG_CONFIG_HOME=" + ShellQuoted((folder / "config").string()) + " " +
            ShellQuoted(std::string(LUMAREST_BIN_DIR) + "/lumarest-cli") + " --image large.img " +
            row.arguments +
            " >out.txt 2>err.txt & pid=$!;"
            " while kill -0 $pid 2>/dev/null &&"
            " [ -z \"$(find saved -name '.lumarest-*.part' -size +1024k)\" ]; do sleep 0.01; done;"
            " kill -INT $pid; wait $pid; echo \"status $?\";"
            " echo \"left $(find saved -name '.lumarest-*' | wc -l)\"; cat out.txt err.txt";
        const std::string out = CommandOutput(command);
        EXPECT_NE(out.find("status 130"), std::string::npos) << row.name << ":\n" << out;
        EXPECT_NE(out.find("left 0"), std::string::npos) << row.name << ":\n" << out;
        EXPECT_NE(out.find(row.summary), std::string::npos) << row.name << ":\n" << out;
        EXPECT_NE(out.find("was stopped"), std::string::npos) << row.name << ":\n" << out;
    }
    EXPECT_TRUE(guard.Unchanged());
    fs::remove_all(folder);
}

}  // namespace
}  // namespace lumarest
