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

#include "app/window_harness.h"
#include "support/crafted_fat_images.h"
#include "support/image_guard.h"
#include "support/loop_mount.h"
#include "support/made_images.h"
#include "tree/folder_tree_events.h"
#include "ui/deleted_mark.h"

using namespace lumarest;
using namespace lumarest::testing;

namespace {

const char* const kImageItem = "Disk image file (Disk0)";
const char* const kSelectFilesStatus =
    "Select Files and Folders from left Panel Directories' Tree and Click on 'Save' button in "
    "Toolbar to save recovered Files and Folders.";
constexpr int kSearchTimeoutMs = 60000;

// The demo disk's partitions as the partition page lists them.
const QString kFat32Partition = QStringLiteral("Partition - 1 ( FAT32 )");
const QString kFat16Partition = QStringLiteral("Partition - 2 ( FAT16 )");
const QString kNtfsPartition = QStringLiteral("Partition - 3 ( NTFS )");

QStringList ColumnTexts(const TextTable& table, std::size_t column) {
    QStringList texts;
    for (std::size_t row = 0; row < table.RowCount(); ++row) {
        texts << QString::fromStdString(table.Cell(row, column));
    }
    return texts;
}

int RowNamed(const TextTable& table, const QString& name) {
    return static_cast<int>(ColumnTexts(table, 0).indexOf(name));
}

// Permission bits of the group and everyone else: none on a private copy or its folder.
constexpr QFile::Permissions kAnyoneElse = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                           QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class StandardSearchTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir folder_;
    std::string demo_;

    QString WorkingFolder() const { return folder_.filePath(QStringLiteral("work/open")); }

    // The Standard criteria page of the demo disk with `partition` chosen. Clashes while
    // saving are answered with Rename.
    WindowHarness OpenPartition(const QString& partition, const std::string& image = {}) {
        WizardEnvironment environment;
        environment.images = {image.empty() ? demo_ : image};
        environment.saveDecisions = [] { return std::make_unique<FixedSaveDecisions>(); };
        WindowHarness h = OpenWindow(std::move(environment), folder_);
        if (!ClickItem(h.DiskTree(), QString::fromUtf8(kImageItem))) {
            return h;
        }
        h.Find<QLineEdit>("workingFolderField")->setText(WorkingFolder());
        h.Find<QRadioButton>("standardSearchButton")->click();
        h.window->OnNext();
        ClickItem(h.Find<mytreectrl>("PartitionTree"), partition);
        return h;
    }

    static bool SearchEnded(const WindowHarness& h) {
        return h.Button("stopSearchButton")->isHidden() && h.Button("backButton")->isEnabled();
    }

    static mytreectrl* FolderTree(const WindowHarness& h) {
        return h.Find<mytreectrl>("FolderTree");
    }

    static QTreeView* FileList(const WindowHarness& h) { return h.Find<QTreeView>("FileList"); }

    static void DoubleClickRow(const WindowHarness& h, int row) {
        QTreeView* list = FileList(h);
        const QModelIndex index = list->model()->index(row, 0);
        list->scrollTo(index);
        const QPoint point = list->visualRect(index).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, point);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, point);
    }

    // Runs the search to its end and returns the window on the folder results.
    WindowHarness SearchPartition(const QString& partition, const std::string& image = {}) {
        WindowHarness h = OpenPartition(partition, image);
        h.window->OnNext();
        [&] { QTRY_VERIFY_WITH_TIMEOUT(SearchEnded(h), kSearchTimeoutMs); }();
        return h;
    }

  private slots:
    void initTestCase() {
        QVERIFY(folder_.isValid());
        demo_ = FixtureImage("demo.img");
    }

    // A failure is told by its own box and nothing else.
    void aFailedSearchIsNotToldAsCompleted() {
        if (demo_.empty()) {
            QSKIP("the demo image was not made");
        }
        const ImageGuard guard(demo_);
        WindowHarness h = OpenPartition(kFat32Partition);
        h.Find<QLineEdit>("partitionStartField")->setText(QStringLiteral("5000"));
        h.window->OnNext();
        QTRY_VERIFY_WITH_TIMEOUT(SearchEnded(h), kSearchTimeoutMs);
        QCOMPARE(h.messages->shown.size(), std::size_t{1});
        QCOMPARE(h.messages->shown[0].text,
                 QStringLiteral("Unable to calculate partition parameters"));
        QCOMPARE(h.dialogs->searchCompletedBoxes, 0);
        QVERIFY(h.dialogs->searchEnded.empty());
        QVERIFY(guard.Unchanged());
    }

    void fatSearchGivesBrowsableTreeListingAndOpening() {
        if (demo_.empty()) {
            QSKIP("the demo image was not made");
        }
        const ImageGuard guard(demo_);
        WindowHarness h = SearchPartition(kFat32Partition);
        RecoveryRun& run = h.Run();
        QCOMPARE(h.Stage(), WizardStage::FolderResults);
        QCOMPARE(h.dialogs->searchCompletedBoxes, 0);
        QCOMPARE(h.dialogs->searchEnded.size(), std::size_t{1});
        QCOMPARE(h.dialogs->searchEnded[0].lines[0],
                 "Searched sectors 2048 to 71679. Found: " +
                     h.Find<QLabel>("folderCountsValue")->text().toStdString() + ".");
        QVERIFY(h.messages->shown.empty());
        QVERIFY(!h.Button("nextButton")->isEnabled());
        mytreectrl* tree = FolderTree(h);
        QVERIFY(tree->isVisible());
        QCOMPARE(tree->model()->index(0, 0).data().toString(), QStringLiteral("Root"));
        const QStringList top = TopChildren(tree);
        for (const char* name : {"Documents", "Photos", "Old Holiday", "LMR_Miscellaneous"}) {
            QVERIFY2(top.contains(QString::fromUtf8(name)), name);
        }
        SaveWindowShot(*h.window, "standard_fat_results.png");

        // A folder's listing: its subfolder, then its files with their types and sizes.
        QVERIFY(ClickItem(tree, QStringLiteral("Documents")));
        QCOMPARE(h.Find<QLabel>("currentFolderValue")->text(), QStringLiteral("Documents"));
        const TextTable& list = run.fileList;
        const int letters = RowNamed(list, QStringLiteral("Old Letters"));
        QVERIFY(letters >= 0);
        QCOMPARE(list.Cell(letters, 1), std::string("FOLDER"));
        // mtools keeps a lower-case 8.3 name as its upper-case short entry with case bits.
        const int notes = RowNamed(list, QStringLiteral("notes.txt"));
        QVERIFY2(notes > letters, qPrintable(ColumnTexts(list, 0).join(QStringLiteral(" / "))));
        QCOMPARE(list.Cell(notes, 2), std::string("30"));
        QCOMPARE(list.Cell(notes, 3), std::string("14-JUL-2009"));
        QVERIFY(RowNamed(list, QStringLiteral("Annual Report 2009.txt")) > letters);
        // A deleted file keeps its long name where its long-name entries survived.
        QVERIFY(RowNamed(list, QStringLiteral("Deleted Draft.txt")) >= 0);
        SaveWindowShot(*h.window, "standard_fat_listing.png");

        // Opening a file writes it under its temporary name into a folder of the run's own
        // below the working folder, readable by the user alone.
        DoubleClickRow(h, notes);
        QCOMPARE(h.shell->opened.size(), std::size_t{1});
        const QFileInfo opened(h.shell->opened.front().toLocalFile());
        QCOMPARE(opened.fileName(), QStringLiteral("LMRC0.txt"));
        const QFileInfo privateFolder(opened.absolutePath());
        QCOMPARE(privateFolder.absolutePath(), QDir(WorkingFolder()).absolutePath());
        QCOMPARE(FileBytes(opened.filePath()), QByteArray("Buy film for the summer trip.\n"));
        QCOMPARE(opened.permissions() & kAnyoneElse, QFile::Permissions());
        QCOMPARE(privateFolder.permissions() & kAnyoneElse, QFile::Permissions());
        QVERIFY(h.window->isEnabled());

        // A folder row opens that folder in the tree and lists it.
        DoubleClickRow(h, RowNamed(list, QStringLiteral("Old Letters")));
        QCOMPARE(tree->currentIndex().data().toString(), QStringLiteral("Old Letters"));
        QVERIFY(RowNamed(list, QStringLiteral("Letter to Grandma.txt")) >= 0);

        // Checking a folder checks everything below it; unchecking one child leaves the
        // folder and the root partly checked.
        TreeModel& model = *run.folderTree;
        const TreeItem root = model.TopItem();
        TreeItem photos = kNoItem;
        for (const TreeItem child : model.Children(root)) {
            if (model.Text(child) == "Photos") {
                photos = child;
            }
        }
        QVERIFY(photos != kNoItem);
        ToggleCheck(model, photos);
        QCOMPARE(model.CheckState(photos), kCheckedState);
        for (const TreeItem child : model.Children(photos)) {
            QCOMPARE(model.CheckState(child), kCheckedState);
        }
        ToggleCheck(model, model.Children(photos).front());
        QCOMPARE(model.CheckState(photos), kPartlyCheckedState);
        QCOMPARE(model.CheckState(root), kPartlyCheckedState);

        // Back returns to the criteria page with an empty tree.
        h.window->OnBack();
        QCOMPARE(h.Stage(), WizardStage::Criteria);
        QVERIFY(!tree->isVisible());
        QCOMPARE(run.folderNodes.Count(), 0);
        QVERIFY(h.Button("nextButton")->isEnabled());
    }

    // The search statistics go with the results and come back with Back, so a second search
    // shows its progress and ends on a browsable tree again.
    void aSecondSearchAfterBackShowsItsStatisticsAndResults() {
        if (demo_.empty()) {
            QSKIP("the demo image was not made");
        }
        const ImageGuard guard(demo_);
        WindowHarness h = SearchPartition(kFat32Partition);
        auto* statistics = h.Find<QWidget>("SearchStatistics");
        QVERIFY(statistics->isVisible());
        QVERIFY(FolderTree(h)->isVisible());
        h.window->OnBack();
        QCOMPARE(h.Stage(), WizardStage::Criteria);
        QVERIFY(statistics->isVisible());
        QVERIFY(!FolderTree(h)->isVisible());

        h.window->OnNext();
        QTRY_VERIFY_WITH_TIMEOUT(SearchEnded(h), kSearchTimeoutMs);
        QCOMPARE(h.Stage(), WizardStage::FolderResults);
        QVERIFY(statistics->isVisible());
        QVERIFY(ClickItem(FolderTree(h), QStringLiteral("Documents")));
        QCOMPARE(h.Find<QLabel>("currentFolderValue")->text(), QStringLiteral("Documents"));
        QVERIFY(RowNamed(h.Run().fileList, QStringLiteral("notes.txt")) >= 0);
        QVERIFY(guard.Unchanged());
    }

    void deletedFolderAndFat16RootAreListed() {
        if (demo_.empty()) {
            QSKIP("the demo image was not made");
        }
        const ImageGuard guard(demo_);
        WindowHarness h = SearchPartition(kFat16Partition);
        mytreectrl* tree = FolderTree(h);
        QVERIFY(ClickItem(tree, QStringLiteral("Root")));
        const TextTable& list = h.Run().fileList;
        QVERIFY(RowNamed(list, QStringLiteral("README.TXT")) >= 0);
        QVERIFY(ClickItem(tree, QStringLiteral("Old Holiday")));
        QVERIFY(RowNamed(list, QStringLiteral("Day 2")) >= 0);
        const int notes = RowNamed(list, QStringLiteral("trip notes.txt"));
        QVERIFY(notes >= 0);
        DoubleClickRow(h, notes);
        QCOMPARE(h.shell->opened.size(), std::size_t{1});
        const QString opened = h.shell->opened.front().toLocalFile();
        QCOMPARE(FileBytes(opened), QByteArray("Day one: we walked to the lake.\n"));

        // A working folder that cannot be made: the box, and nothing opened.
        QFile blocker(folder_.filePath(QStringLiteral("a-file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        h.Run().workingFolder = folder_.filePath(QStringLiteral("a-file/open")).toStdString();
        DoubleClickRow(h, notes);
        QCOMPARE(h.shell->opened.size(), std::size_t{1});
        QCOMPARE(h.messages->shown.size(), std::size_t{1});
        QCOMPARE(h.messages->shown.back().icon, MessageIcon::Error);
        QVERIFY(h.window->isEnabled());

        // The copies go with the window.
        QVERIFY(QFileInfo::exists(opened));
        h.window.reset();
        QVERIFY(!QFileInfo::exists(QFileInfo(opened).absolutePath()));
    }

    void ntfsSearchListsAndOpensAPhoto() {
        if (demo_.empty()) {
            QSKIP("the demo image was not made");
        }
        const ImageGuard guard(demo_);
        WindowHarness h = SearchPartition(kNtfsPartition);
        RecoveryRun& run = h.Run();
        QVERIFY(run.resultsFound);
        mytreectrl* tree = FolderTree(h);
        const QStringList top = TopChildren(tree);
        for (const char* name : {"Documents", "Photos", "Old Holiday", "LMR_Miscellaneous"}) {
            QVERIFY2(top.contains(QString::fromUtf8(name)), name);
        }
        tree->expandAll();
        QVERIFY(ClickItem(tree, QStringLiteral("Summer")));
        QCOMPARE(h.Find<QLabel>("currentFolderValue")->text(),
                 QStringLiteral("Photos\\2009\\Summer"));
        const TextTable& list = run.fileList;
        const int beach = RowNamed(list, QStringLiteral("Beach Day.jpg"));
        QVERIFY(beach >= 0);
        QCOMPARE(list.Cell(beach, 1), std::string("Image File"));
        DoubleClickRow(h, beach);
        QCOMPARE(h.shell->opened.size(), std::size_t{1});
        const QByteArray bytes = FileBytes(h.shell->opened.front().toLocalFile());
        QCOMPARE(QByteArray::number(bytes.size()), QByteArray(list.Cell(beach, 2).c_str()));
        QVERIFY(bytes.startsWith("\xFF\xD8\xFF"));
        SaveWindowShot(*h.window, "standard_ntfs_listing.png");
    }

    void checkedFoldersAreSavedWithTheirPaths() {
        if (demo_.empty()) {
            QSKIP("the demo image was not made");
        }
        const ImageGuard guard(demo_);
        WindowHarness h = SearchPartition(kFat32Partition);
        mytreectrl* tree = FolderTree(h);
        tree->expandAll();
        // A click on the check box checks the folder with everything below it.
        const QModelIndex summer = ItemIndex(tree, QStringLiteral("Summer"));
        QVERIFY(summer.isValid());
        QRect box = tree->visualRect(summer);
        QPoint onBox;
        for (int x = box.left(); x < box.right(); ++x) {
            if (tree->OnCheckBox(QPoint(x, box.center().y()))) {
                onBox = QPoint(x + 2, box.center().y());
                break;
            }
        }
        QVERIFY(!onBox.isNull());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, onBox);
        QCOMPARE(summer.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));

        QTemporaryDir destination;
        h.dialogs->folder = destination.path();
        h.Button("saveButton")->click();
        QVERIFY(h.dialogs->folderAskedAfterNotice);
        const QDir saved(destination.filePath(QStringLiteral("Photos/2009/Summer")));
        QVERIFY2(saved.exists(), qPrintable(saved.path()));
        const QByteArray beach = FileBytes(saved.filePath(QStringLiteral("Beach Day.jpg")));
        QVERIFY(beach.startsWith("\xFF\xD8\xFF"));
        // The deleted photo is saved too; nothing outside the checked folder is.
        QVERIFY(QFile::exists(saved.filePath(QStringLiteral("Lost Sunset.jpg"))));
        QVERIFY(!QFile::exists(destination.filePath(QStringLiteral("Documents"))));
        QVERIFY(!h.messages->shown.empty());
        QVERIFY(h.messages->shown.back().text.contains(QStringLiteral("3 file(s) saved")));
        QVERIFY(h.messages->shown.back().text.contains(
            QStringLiteral("\n1 of the saved files had been deleted.")));
    }

    // Names an NTFS folder's index kept after their records went to other files say so.
    void nameOnlyFilesSayTheirDataIsGone() {
        const std::string image =
            testing::MadeImage("tests/ntfs/make_index_slack_images.sh", "index_slack", "slack.vol");
        QVERIFY(!image.empty());
        const ImageGuard guard(image);
        WindowHarness h = SearchPartition(QStringLiteral("Partition - 1 ( NTFS )"), image);
        QVERIFY(ClickItem(FolderTree(h), QStringLiteral("Album")));
        QAbstractItemModel* shown = FileList(h)->model();
        int nameOnly = 0;
        for (int row = 0; row < shown->rowCount(); ++row) {
            const QModelIndex index = shown->index(row, 0);
            // "holiday photograph number 101 with ...": files past 100 were deleted.
            const bool deleted = index.data().toString().section(' ', 3, 3).toInt() > 100;
            const bool marked =
                index.data(Qt::ToolTipRole).toString() == QString::fromUtf8(kNameOnlyToolTip);
            QCOMPARE(marked, deleted);
            nameOnly += marked ? 1 : 0;
        }
        QVERIFY(nameOnly > 0);
        QVERIFY(guard.Unchanged());
    }

    // Deleted entries claiming 4 GiB in a row of free clusters say they are truncated; a save
    // into a folder without room for the last of them stops there with an error box.
    void truncatedFilesAreMarkedAndAFullDestinationStopsTheSave() {
        if (!MakeCraftedFatImages()) {
            QSKIP("the crafted FAT images were not made");
        }
        const std::string image = CraftedFatImage("gone_disk.img");
        const ImageGuard guard(image);
        WindowHarness h = SearchPartition(QStringLiteral("Partition - 1 ( FAT16 )"), image);
        QVERIFY(ClickItem(FolderTree(h), QStringLiteral("Root")));
        QAbstractItemModel* shown = FileList(h)->model();
        const auto toolTip = [&](const QString& name) {
            const QModelIndexList found =
                shown->match(shown->index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchExactly);
            return found.isEmpty() ? QString() : found.first().data(Qt::ToolTipRole).toString();
        };
        QCOMPARE(toolTip(QStringLiteral("_00.BIN")), QString::fromUtf8(kTruncatedToolTip));
        QCOMPARE(toolTip(QStringLiteral("_19.BIN")), QString::fromUtf8(kTruncatedToolTip));
        QVERIFY(toolTip(QStringLiteral("FILL.BIN")) != QString::fromUtf8(kTruncatedToolTip));

        if (!CanMakeLoopDevices()) {
            QSKIP("mounting a small file system needs root");
        }
        const MountedFolder small("mount -t tmpfs -o size=2m tmpfs",
                                  folder_.filePath(QStringLiteral("small")).toStdString());
        QVERIFY(small.Mounted());
        h.dialogs->folder = QString::fromStdString(small.Folder());
        h.Button("saveButton")->click();
        QVERIFY(!h.messages->shown.empty());
        const auto& box = h.messages->shown.back();
        QCOMPARE(box.icon, MessageIcon::Error);
        QVERIFY2(box.text.startsWith(QStringLiteral("There is not enough free space to save ")),
                 qPrintable(box.text));
        QVERIFY2(box.text.contains(QStringLiteral("\n\n1 file(s) saved")), qPrintable(box.text));
        QVERIFY2(box.text.contains(QStringLiteral("19 of them could only be recovered in part")),
                 qPrintable(box.text));
        QVERIFY2(box.text.contains(QStringLiteral("19 of them were truncated")),
                 qPrintable(box.text));
        QCOMPARE(QDir(QString::fromStdString(small.Folder())).entryList(QDir::Files).size(), 20);
    }

    void stopMidwayStillGivesABrowsableTree() {
        if (demo_.empty()) {
            QSKIP("the demo image was not made");
        }
        const ImageGuard guard(demo_);
        WindowHarness h = OpenPartition(kFat32Partition);
        h.window->OnNext();
        h.window->OnStopSearch();
        QVERIFY(SearchEnded(h));
        RecoveryRun& run = h.Run();
        QCOMPARE(h.Stage(), WizardStage::FolderResults);
        QCOMPARE(QString::fromStdString(run.statusText), QString::fromUtf8(kSelectFilesStatus));
        QVERIFY(TopChildren(FolderTree(h)).contains(QStringLiteral("LMR_Miscellaneous")));
        QVERIFY(ClickItem(FolderTree(h), QStringLiteral("Root")));
        QVERIFY(h.Button("backButton")->isEnabled());
    }
};

QTEST_MAIN(StandardSearchTest)
#include "standard_search_test.moc"
