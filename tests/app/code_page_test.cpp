#include <QComboBox>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>

#include "app/window_harness.h"
#include "support/command_output.h"
#include "support/image_guard.h"
#include "support/loop_mount.h"
#include "support/made_images.h"

using namespace lumarest;
using namespace lumarest::testing;

// The short-name code page is chosen on the criteria page, reaches the run the searches read,
// and is there again in the next session.
class CodePageTest : public QObject {
    Q_OBJECT

  private slots:
    void choiceReachesTheRunAndIsKept() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        struct Step {
            const char* row;
            QString choose;  // empty: leave as the window opens
            std::string inRun;
        };
        const Step steps[] = {
            {"first start", {}, "CP437"},
            {"850 chosen", QStringLiteral("CP850"), "CP850"},
            {"next session", {}, "CP850"},
            {"866 chosen", QStringLiteral("CP866"), "CP866"},
        };
        for (const Step& step : steps) {
            const WindowHarness harness = OpenWindow(WizardEnvironment{}, folder);
            auto* box = harness.Find<QComboBox>("codePageBox");
            QVERIFY2(box != nullptr, step.row);
            if (!step.choose.isEmpty()) {
                box->setCurrentIndex(box->findData(step.choose));
            }
            QVERIFY2(harness.Run().oemCodePage.Name() == step.inRun, step.row);
            QCOMPARE(box->currentData().toString(), QString::fromStdString(step.inRun));
        }
    }

    // A configuration folder on the disk being searched (here a loop mount of the attached
    // image's NTFS partition through ntfs-3g) is never written: neither the disk store nor the
    // chosen page.
    void settingsStayOffTheDiskBeingSearched() {
        if (!CanMakeLoopDevices() || !ToolInstalled("ntfs-3g")) {
            QSKIP("mounting the searched image needs root, losetup, mount and ntfs-3g");
        }
        const std::string demo = FixtureImage("demo.img");
        QVERIFY2(!demo.empty(), "run the fixtures.make_images test first");
        const ImageGuard guard(demo);
        QTemporaryDir scratch;
        QVERIFY(scratch.isValid());
        const std::string copy = scratch.filePath(QStringLiteral("searched.img")).toStdString();
        const std::string mountFolder = scratch.filePath(QStringLiteral("mounted")).toStdString();
        std::filesystem::create_directories(mountFolder);
        QCOMPARE(std::system(
                     ("cp --sparse=always " + ShellQuoted(demo) + " " + ShellQuoted(copy)).c_str()),
                 0);
        const LoopDevice loop(copy);
        QVERIFY(loop.Attached() && !loop.Partition(3).empty());
        const MountedFolder mounted("ntfs-3g " + ShellQuoted(loop.Partition(3)), mountFolder);
        QVERIFY(mounted.Mounted());
        {
            QTemporaryDir config(QString::fromStdString(mountFolder) +
                                 QStringLiteral("/cfgXXXXXX"));
            QVERIFY(config.isValid());
            WizardEnvironment environment;
            environment.images = {copy};
            const WindowHarness harness = OpenWindow(std::move(environment), config);
            auto* box = harness.Find<QComboBox>("codePageBox");
            QVERIFY(box != nullptr);
            box->setCurrentIndex(box->findData(QStringLiteral("CP850")));
            QCOMPARE(QString::fromStdString(harness.Run().oemCodePage.Name()),
                     QStringLiteral("CP850"));
            QVERIFY(!QFile::exists(config.filePath(QStringLiteral("store.ini"))));
            QVERIFY(!QFile::exists(config.filePath(QStringLiteral("settings.ini"))));
            QVERIFY(harness.messages->shown.empty());
        }
        QVERIFY(guard.Unchanged());
    }
};

QTEST_MAIN(CodePageTest)
#include "code_page_test.moc"
