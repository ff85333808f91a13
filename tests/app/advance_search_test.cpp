#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <algorithm>

#include "app/window_harness.h"
#include "search/advance_search.h"
#include "support/image_guard.h"

using namespace lumarest;
using namespace lumarest::testing;

namespace {

const char* const kImageItem = "Disk image file (Disk0)";
const char* const kSelectFilesStatus =
    "Select Files and Folders from left Panel Directories' Tree and Click on 'Save' button in "
    "Toolbar to save recovered Files and Folders.";
constexpr int kSearchTimeoutMs = 120000;
constexpr qint64 kMiB = 1024 * 1024;
// Large enough that a search is still reading when it is stopped.
constexpr qint64 kLargeImageBytes = 1024 * kMiB;

const QString kFat32Volume = QStringLiteral("File System 1 - FAT32");
const QString kFat16Volume = QStringLiteral("File System 2 - FAT16");

std::vector<std::string> Column(const TextTable& table, std::size_t column) {
    std::vector<std::string> cells;
    for (std::size_t row = 0; row < table.RowCount(); ++row) {
        cells.push_back(table.Cell(row, column));
    }
    return cells;
}

std::vector<std::string> DetailRows(const std::vector<VolumeDetailRow>& rows, bool values) {
    std::vector<std::string> cells;
    for (const VolumeDetailRow& row : rows) {
        cells.push_back(values ? row.value : row.name);
    }
    return cells;
}

int RowNamed(const TextTable& list, const char* name) {
    const std::vector<std::string> names = Column(list, 0);
    const auto found = std::find(names.begin(), names.end(), std::string(name));
    return found == names.end() ? -1 : static_cast<int>(found - names.begin());
}

// A sparse image of `bytes` that starts with the bytes of `source` (or nothing).
std::string MakeSparseImage(const QString& path, const std::string& source, qint64 bytes) {
    QFile image(path);
    if (!image.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return {};
    }
    if (!source.empty()) {
        QFile from(QString::fromStdString(source));
        if (!from.open(QIODevice::ReadOnly) || image.write(from.readAll()) < 0) {
            return {};
        }
    }
    return image.resize(bytes) ? path.toStdString() : std::string();
}

}  // namespace

class AdvanceSearchTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir folder_;
    std::string demo_;
    std::string large_;

    static mytreectrl* Tree(const WindowHarness& h, const char* name) {
        return h.Find<mytreectrl>(name);
    }

    // The Advance criteria page of `image` with its whole range and `fsName` chosen.
    WindowHarness OpenWholeDisk(const std::string& image, const QString& fsName) {
        WindowHarness h = OpenOnImages({image}, folder_);
        if (!ClickItem(h.DiskTree(), QString::fromUtf8(kImageItem))) {
            return h;
        }
        h.Find<QRadioButton>("advanceSearchButton")->click();
        h.window->OnNext();
        h.Find<QLineEdit>("partitionStartField")->setText(QStringLiteral("0"));
        h.Find<QLineEdit>("partitionEndField")
            ->setText(QString::number(h.Run().shownDisk.totalSectors));
        QComboBox* type = h.Find<QComboBox>("partitionTypeBox");
        type->setCurrentIndex(type->findText(fsName));
        return h;
    }

    static bool FirstPhaseEnded(const WindowHarness& h) {
        return h.Button("stopSearchButton")->isHidden() && h.Button("backButton")->isEnabled();
    }

    // N of the "Sectors  N of M" the search shows while it reads.
    static qulonglong SectorsRead(const WindowHarness& h) {
        const QStringList words = h.Find<QLabel>("sectorProgressLabel")
                                      ->text()
                                      .split(QLatin1Char(' '), Qt::SkipEmptyParts);
        return words.size() == 4 ? words[1].toULongLong() : 0;
    }

    static bool SecondPhaseEnded(const WindowHarness& h) {
        return h.Button("backButton")->isEnabled() && Tree(h, "FolderTree")->isEnabled();
    }

    // The found-volume page after a full search of the whole demo disk for FAT: the FAT32
    // volume from its boot sector, the small FAT16 one inferred from its directories.
    WindowHarness SearchDemo() {
        WindowHarness h = OpenWholeDisk(demo_, QStringLiteral("FAT16"));
        h.window->OnNext();
        [&] { QTRY_VERIFY_WITH_TIMEOUT(FirstPhaseEnded(h), kSearchTimeoutMs); }();
        return h;
    }

    static void VerifyFoundVolumePage(const WindowHarness& h, std::size_t volume, bool clicked,
                                      const char* step) {
        const RecoveryRun& run = h.Run();
        QVERIFY2(h.Stage() == WizardStage::FoundVolumes, step);
        QVERIFY2(Tree(h, "VolumeTree")->isVisible(), step);
        QVERIFY2(!Tree(h, "FolderTree")->isVisible(), step);
        QVERIFY2(h.Find<QTreeView>("VolumeDetailsList")->isVisible(), step);
        QVERIFY2(h.Button("nextButton")->isVisible(), step);
        QVERIFY2(h.Button("nextButton")->isEnabled(), step);
        QVERIFY2(h.Button("backButton")->isEnabled(), step);
        QVERIFY2(run.statusText == kPressNextToRecoverStatus, step);
        const auto expected = FoundVolumeDetails(run, volume, clicked);
        QVERIFY2(Column(run.detailsList, 0) == DetailRows(expected, false), step);
        QVERIFY2(Column(run.detailsList, 1) == DetailRows(expected, true), step);
    }

    // Next on the found-volume page: the chosen volume's folder tree, as a Standard search
    // leaves it.
    static void RebuildChosen(const WindowHarness& h, const char* fsName) {
        h.window->OnNext();
        QCOMPARE(h.Run().statusText, std::string(kSelectFilesStatus));
        QTRY_VERIFY_WITH_TIMEOUT(SecondPhaseEnded(h), kSearchTimeoutMs);
        const RecoveryRun& run = h.Run();
        QCOMPARE(h.Stage(), WizardStage::FolderResults);
        QCOMPARE(run.activeVolume.fsName, std::string(fsName));
        QCOMPARE(run.statusText, std::string(kSelectFilesStatus));
        QVERIFY(!h.Button("nextButton")->isVisible());
        QVERIFY(!Tree(h, "VolumeTree")->isVisible());
        QVERIFY(!h.Find<QWidget>("treeLoadingBar")->isVisible());
        mytreectrl* tree = Tree(h, "FolderTree");
        QVERIFY(tree->isVisible());
        QCOMPARE(tree->model()->index(0, 0).data().toString(), QStringLiteral("Root"));
        const QStringList top = TopChildren(tree);
        QVERIFY2(top.size() > 1, qPrintable(top.join(QStringLiteral(" / "))));
        QVERIFY(top.contains(QStringLiteral("LMR_Miscellaneous")));
        // The root's listing works as after a Standard search.
        QVERIFY(ClickItem(tree, QStringLiteral("Root")));
        QVERIFY(run.fileList.RowCount() > 0);
    }

  private slots:
    void initTestCase() {
        QVERIFY(folder_.isValid());
        demo_ = FixtureImage("demo.img");
        if (!demo_.empty()) {
            large_ = MakeSparseImage(folder_.filePath(QStringLiteral("large.img")), demo_,
                                     kLargeImageBytes);
        }
    }

    void foundVolumesAreListedRebuiltAndChosenAgain() {
        if (demo_.empty()) {
            QSKIP("the demo image was not made");
        }
        const ImageGuard guard(demo_);
        WindowHarness h = SearchDemo();
        RecoveryRun& run = h.Run();
        QCOMPARE(h.dialogs->searchCompletedBoxes, 0);
        QCOMPARE(h.dialogs->searchEnded.size(), std::size_t{1});
        QVERIFY(h.dialogs->searchEnded[0].lines[0].ends_with("Found: 2 file systems."));
        QCOMPARE(h.dialogs->notices, 0);
        mytreectrl* volumes = Tree(h, "VolumeTree");
        QCOMPARE(volumes->model()->index(0, 0).data().toString(), QStringLiteral("File Systems"));
        QCOMPARE(TopChildren(volumes), QStringList({kFat32Volume, kFat16Volume}));
        QCOMPARE(volumes->currentIndex(), volumes->model()->index(0, 0));
        VerifyFoundVolumePage(h, 0, false, "after the search");
        SaveWindowShot(*h.window, "advance_found_volumes.png");

        QVERIFY(ClickItem(volumes, kFat16Volume));
        QCOMPARE(run.chosenVolume, std::size_t{1});
        VerifyFoundVolumePage(h, 1, true, "the second volume clicked");
        RebuildChosen(h, "FAT16");
        SaveWindowShot(*h.window, "advance_rebuilt_volume.png");

        // Back keeps what was found: the other volume is rebuilt without searching again.
        h.window->OnBack();
        VerifyFoundVolumePage(h, 1, true, "back from the second volume");
        QCOMPARE(volumes->currentIndex(), volumes->model()->index(0, 0));
        QVERIFY(ClickItem(volumes, kFat32Volume));
        VerifyFoundVolumePage(h, 0, true, "the first volume clicked");
        RebuildChosen(h, "FAT32");

        h.window->OnBack();
        h.window->OnBack();
        QCOMPARE(h.Stage(), WizardStage::Criteria);
        QVERIFY(Tree(h, "PartitionTree")->isVisible());
        QVERIFY(!volumes->isVisible());
        QCOMPARE(run.fileSystemTable.RowCount(), std::size_t{0});
        QCOMPARE(run.foundDirectoryTable.RowCount(), std::size_t{0});
        QVERIFY(h.Button("nextButton")->isEnabled());
        QVERIFY(guard.Unchanged());
    }

    // Root of a found volume saved before any folder below it was expanded: every saved
    // folder takes the name its parent's entry gives it, not the one the search made up.
    void anUnexpandedTreeIsSavedUnderItsRealNames() {
        if (demo_.empty()) {
            QSKIP("the demo image was not made");
        }
        const ImageGuard guard(demo_);
        WindowHarness h = SearchDemo();
        QVERIFY(ClickItem(Tree(h, "VolumeTree"), kFat32Volume));
        RebuildChosen(h, "FAT32");
        QTemporaryDir destination;
        QVERIFY(destination.isValid());
        h.dialogs->folder = destination.path();
        h.Button("saveButton")->click();
        for (const char* path : {"Documents/Old Letters", "Photos/2009/Summer",
                                 "Photos/2009/Winter", "Old Holiday/Day 2"}) {
            QVERIFY2(QDir(destination.filePath(QString::fromUtf8(path))).exists(), path);
        }
        const QStringList madeUp = QDir(destination.filePath(QStringLiteral("Photos")))
                                       .entryList({QStringLiteral("DIR*")});
        QVERIFY2(madeUp.isEmpty(), qPrintable(madeUp.join(QStringLiteral(", "))));
        QVERIFY(guard.Unchanged());
    }

    // An NTFS volume rebuilt twice keeps its files: the second rebuild finds them again.
    void ntfsVolumeRebuiltAgainStillListsItsFiles() {
        if (demo_.empty()) {
            QSKIP("the demo image was not made");
        }
        const ImageGuard guard(demo_);
        WindowHarness h = OpenWholeDisk(demo_, QStringLiteral("NTFS"));
        h.window->OnNext();
        QTRY_VERIFY_WITH_TIMEOUT(FirstPhaseEnded(h), kSearchTimeoutMs);
        const QString ntfsVolume = QStringLiteral("File System 1 - NTFS");
        QCOMPARE(TopChildren(Tree(h, "VolumeTree")), QStringList({ntfsVolume}));
        VerifyFoundVolumePage(h, 0, false, "after the NTFS search");
        for (const char* pass : {"first rebuild", "second rebuild"}) {
            RebuildChosen(h, "NTFS");
            const QStringList top = TopChildren(Tree(h, "FolderTree"));
            QVERIFY2(top.contains(QStringLiteral("Documents")), pass);
            QVERIFY2(ClickItem(Tree(h, "FolderTree"), QStringLiteral("Documents")), pass);
            QVERIFY2(RowNamed(h.Run().fileList, "notes.txt") >= 0, pass);
            h.window->OnBack();
            VerifyFoundVolumePage(h, 0, true, pass);
        }
        QVERIFY(guard.Unchanged());
    }

    void rangeWithoutVolumeSaysSoAndKeepsNextDisabled() {
        const std::string empty =
            MakeSparseImage(folder_.filePath(QStringLiteral("empty.img")), {}, 16 * kMiB);
        QVERIFY(!empty.empty());
        for (const char* fsName : {"FAT16", "FAT32", "NTFS"}) {
            const ImageGuard guard(empty);
            WindowHarness h = OpenWholeDisk(empty, QString::fromUtf8(fsName));
            h.window->OnNext();
            QTRY_VERIFY2_WITH_TIMEOUT(FirstPhaseEnded(h), fsName, kSearchTimeoutMs);
            const RecoveryRun& run = h.Run();
            QVERIFY2(h.Stage() == WizardStage::FoundVolumes, fsName);
            QVERIFY2(h.dialogs->notices == 1, fsName);
            QVERIFY2(h.dialogs->searchEnded.size() == 1, fsName);
            QVERIFY2(h.dialogs->searchEnded[0].lines[0].ends_with(
                         "No FAT16, FAT32, NTFS or exFAT file system was found."),
                     fsName);
            QVERIFY2(run.statusText == kNoFileSystemStatus, fsName);
            QVERIFY2(!h.Button("nextButton")->isEnabled(), fsName);
            QVERIFY2(TopChildren(Tree(h, "VolumeTree")).isEmpty(), fsName);
            // Next does nothing; Back leads to another choice.
            h.window->OnNext();
            QVERIFY2(h.Stage() == WizardStage::FoundVolumes, fsName);
            // Back puts the searched range and type back, ready for another try.
            h.window->OnBack();
            QVERIFY2(h.Stage() == WizardStage::Criteria, fsName);
            QVERIFY2(h.Find<QLineEdit>("partitionStartField")->text() == QStringLiteral("0"),
                     fsName);
            QVERIFY2(h.Find<QLineEdit>("partitionEndField")->text().toULongLong() ==
                         run.shownDisk.totalSectors,
                     fsName);
            QVERIFY2(
                h.Find<QComboBox>("partitionTypeBox")->currentText() == QString::fromUtf8(fsName),
                fsName);
            QVERIFY2(h.Button("nextButton")->isEnabled(), fsName);
            QVERIFY2(guard.Unchanged(), fsName);
        }
    }

    void stopSearchMidwayAnalysesWhatWasFound() {
        if (large_.empty()) {
            QSKIP("the large image was not made");
        }
        const ImageGuard guard(large_);
        WindowHarness h = OpenWholeDisk(large_, QStringLiteral("FAT16"));
        h.window->OnNext();
        QVERIFY(h.Button("stopSearchButton")->isVisible());
        // Stopped once the reading has passed the demo disk's volumes at its start.
        const qulonglong demoSectors = QFileInfo(QString::fromStdString(demo_)).size() / 512;
        QTRY_VERIFY_WITH_TIMEOUT(SectorsRead(h) > demoSectors, kSearchTimeoutMs);
        // The running page says what it searches, not the criteria page's headings.
        QCOMPARE(h.Find<QLabel>("leftCaption")->text(), QStringLiteral("Disk to search"));
        QCOMPARE(h.Find<QLabel>("rightCaption")->text(), QStringLiteral("Search progress"));
        QVERIFY(h.Find<QLabel>("selectedDiskCard")->isVisible());
        QVERIFY(h.Find<QLabel>("selectedDiskCard")->text().contains(QStringLiteral("large.img")));
        SaveWindowShot(*h.window, "advance_search_running.png");
        h.Button("stopSearchButton")->click();
        QCOMPARE(h.Run().statusText, std::string(kSelectFilesStatus));
        QTRY_VERIFY_WITH_TIMEOUT(FirstPhaseEnded(h), kSearchTimeoutMs);
        const RecoveryRun& run = h.Run();
        QVERIFY(run.scanStop.stop_requested());
        // The reading ended before the end of the range.
        QVERIFY2(SectorsRead(h) < h.Run().shownDisk.totalSectors - 1,
                 qPrintable(h.Find<QLabel>("sectorProgressLabel")->text()));
        QCOMPARE(h.Stage(), WizardStage::FoundVolumes);
        QCOMPARE(h.dialogs->searchEnded.size(), std::size_t{1});
        QCOMPARE(h.dialogs->searchEnded[0].heading, std::string("Searching of files was stopped."));
        QVERIFY(h.dialogs->searchEnded[0].lines[0].ends_with(
            "Kept from before the stop: 2 file systems."));
        QVERIFY(Tree(h, "VolumeTree")->isVisible());
        // The stopped scan still lists what it had read: both volumes lie at its start.
        QCOMPARE(TopChildren(Tree(h, "VolumeTree")), QStringList({kFat32Volume, kFat16Volume}));
        VerifyFoundVolumePage(h, 0, false, "after the stop");
        QVERIFY(guard.Unchanged());
    }

    // Closing the window during either phase stops its worker and returns.
    void closingDuringEitherPhaseEndsTheWorkers() {
        if (demo_.empty()) {
            QSKIP("the demo image was not made");
        }
        const ImageGuard guard(demo_);
        for (const bool secondPhase : {false, true}) {
            const char* row = secondPhase ? "second phase" : "first phase";
            WindowHarness h = OpenWholeDisk(demo_, QStringLiteral("FAT16"));
            h.window->OnNext();
            if (secondPhase) {
                QTRY_VERIFY2_WITH_TIMEOUT(FirstPhaseEnded(h), row, kSearchTimeoutMs);
                h.window->OnNext();
            }
            h.messages->answer = true;
            h.window->reject();
            QVERIFY2(h.window->result() == QDialog::Accepted, row);
            h.window.reset();
        }
        QVERIFY(guard.Unchanged());
    }
};

QTEST_MAIN(AdvanceSearchTest)
#include "advance_search_test.moc"
