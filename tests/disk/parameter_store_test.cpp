#include "disk/parameter_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include <sys/stat.h>

#include "disk/disk_test_files.h"
#include "support/recording_reporter.h"

namespace lumarest {
namespace {

using testing::TempFolder;

std::string FileText(const std::string& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(ParameterStore, WritesTheRegistryKeyAndValueNames) {
    TempFolder folder("store");
    ParameterStore store(folder.File("deep/folder/LMRDSK_param_E.ini"));
    testing::RecordingReporter reporter;
    store.SetValue(kCylinderKey, "Disk0", "1024");
    store.SetValue(kModelKey, "Disk0", "Old\nDisk");
    store.SetValue(kCylinderKey, "Disk1", "487");
    store.SetValue(kCylinderKey, "Disk0", "1023");
    ASSERT_TRUE(store.Save(reporter));
    EXPECT_EQ(FileText(store.Path()),
              "[LMRDSK_param_E]\n"
              "\n[LMRDSK_param_E\\Cylinder]\nDisk0=1023\nDisk1=487\n"
              "\n[LMRDSK_param_E\\Model]\nDisk0=Old Disk\n");
    EXPECT_TRUE(reporter.Calls().empty());

    store.Clear();
    ASSERT_TRUE(store.Save(reporter));
    EXPECT_EQ(FileText(store.Path()), "[LMRDSK_param_E]\n");
}

TEST(ParameterStore, AStoreThatCannotBeWrittenIsReportedOnceAndTheRunGoesOn) {
    TempFolder folder("store-blocked");
    testing::WriteText(folder.File("not-a-folder"), "x");
    ParameterStore store(folder.File("not-a-folder/LMRDSK_param_E.ini"));
    testing::RecordingReporter reporter;
    store.SetValue(kHeadKey, "Disk0", "255");
    EXPECT_FALSE(store.Save(reporter));
    EXPECT_FALSE(store.Save(reporter));
    ASSERT_EQ(reporter.Messages().size(), 1u);
    EXPECT_NE(reporter.Messages()[0].find(store.Path()), std::string::npos);
    EXPECT_EQ(reporter.Calls()[0].rfind("message 2: ", 0), 0u);  // a warning, not a fatal error
    EXPECT_EQ(store.Value(kHeadKey, "Disk0"), "255");
}

// Sets or unsets an environment variable for one scope.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedVariable() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// Only an absolute folder holds the store: a relative one is the folder the program runs in.
TEST(ParameterStore, DefaultPathIsAlwaysAnAbsoluteConfigurationFolder) {
    struct Case {
        const char* configHome;
        const char* home;
        const char* expected;
    };
    const Case cases[] = {
        {"/tmp/lumarest-config", "/home/a", "/tmp/lumarest-config/Lumarest/LMRDSK_param_E.ini"},
        {nullptr, "/home/a", "/home/a/.config/Lumarest/LMRDSK_param_E.ini"},
        {"", "/home/a", "/home/a/.config/Lumarest/LMRDSK_param_E.ini"},
        {"relative", "/home/a", "/home/a/.config/Lumarest/LMRDSK_param_E.ini"},
        {nullptr, nullptr, ""},
        {nullptr, "", ""},
        {"relative", "also/relative", ""},
    };
    for (const Case& c : cases) {
        ScopedVariable configHome("XDG_CONFIG_HOME", c.configHome);
        ScopedVariable home("HOME", c.home);
        EXPECT_EQ(ParameterStore::DefaultPath(), c.expected)
            << (c.configHome ? c.configHome : "(unset)") << " " << (c.home ? c.home : "(unset)");
    }
}

// A store with no path, or told not to write, keeps its values and touches no file; one whose
// file already says it all leaves that file as it is.
TEST(ParameterStore, WritesOnlyWhenItMayAndTheTextChanged) {
    TempFolder folder("store-quiet");
    testing::RecordingReporter reporter;
    ParameterStore inMemory;
    inMemory.SetValue(kSizeKey, "Disk0", "64");
    EXPECT_TRUE(inMemory.Save(reporter));
    EXPECT_EQ(inMemory.Value(kSizeKey, "Disk0"), "64");

    ParameterStore held(folder.File("held/LMRDSK_param_E.ini"));
    held.SetWritable(false);
    held.SetValue(kSizeKey, "Disk0", "64");
    EXPECT_TRUE(held.Save(reporter));
    EXPECT_FALSE(std::filesystem::exists(folder.File("held")));

    ParameterStore store(folder.File("LMRDSK_param_E.ini"));
    store.SetValue(kSizeKey, "Disk0", "64");
    ASSERT_TRUE(store.Save(reporter));
    struct stat before {};
    ASSERT_EQ(::stat(store.Path().c_str(), &before), 0);
    ASSERT_TRUE(store.Save(reporter));
    struct stat after {};
    ASSERT_EQ(::stat(store.Path().c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino) << "an unchanged store was written again";
    store.SetValue(kSizeKey, "Disk0", "128");
    ASSERT_TRUE(store.Save(reporter));
    EXPECT_NE(FileText(store.Path()).find("Disk0=128"), std::string::npos);
    EXPECT_TRUE(reporter.Calls().empty());
}

}  // namespace
}  // namespace lumarest
