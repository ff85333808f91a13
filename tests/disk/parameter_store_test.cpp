#include "disk/parameter_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

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

TEST(ParameterStore, DefaultPathFollowsTheConfigurationFolder) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old != nullptr ? old : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/lumarest-config", 1);
    EXPECT_EQ(ParameterStore::DefaultPath(), "/tmp/lumarest-config/Lumarest/LMRDSK_param_E.ini");
    if (old != nullptr) {
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

}  // namespace
}  // namespace lumarest
