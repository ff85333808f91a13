#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/disk_key.h"
#include "app/window_harness.h"
#include "app/wizard_window.h"
#include "support/image_guard.h"
#include "ui/mytreectrl.h"

using namespace lumarest;
using namespace lumarest::testing;

namespace {

const QString kSelectDiskStatus = QString::fromUtf8(
    " Select the disk from left Panel from which you want to recover data and press ‘Next’ "
    "button to continue...");
const QString kEntireDiskStatus = QString::fromUtf8(
    "If ‘Entire Disk’ option is selected, Lumarest searches lost data in the entire storage of "
    "selected disk. If you want to perform recovery within a specific sector range or in "
    "specific partition, please select other searching criteria. Else press ‘Next’ button to "
    "start searching data in Entire disk.");
const char* const kCardText = "Removable Media (Disk1)";
constexpr std::uint64_t kCardSectors = 3906250;
const char* const kMissingDevice = "/nonexistent/lumarest-test/sdz";

using Harness = WindowHarness;

}  // namespace

class WizardWindowTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir folder_;
    QString readableDevice_;

    std::unique_ptr<FakeDisks> MachineDisks() {
        auto disks = std::make_unique<FakeDisks>();
        const std::string device = readableDevice_.toStdString();
        // Listed out of order: the tree sorts them by text.
        disks->disks.push_back(
            FakeDisks::Disk(1, "Removable Media", "Card Reader", kCardSectors, device));
        disks->disks.push_back(
            FakeDisks::Disk(0, "Fixed hard disk media", "Main Disk", 976773168, device));
        disks->disks.push_back(
            FakeDisks::Disk(2, "Fixed hard disk media", "Locked Disk", 2048, kMissingDevice));
        return disks;
    }

    Harness Open(WizardEnvironment environment = {}) {
        if (!environment.disks) {
            environment.disks = MachineDisks();
        }
        return OpenWindow(std::move(environment), folder_);
    }

    static void ClickItem(mytreectrl* tree, const QString& text) {
        QVERIFY2(lumarest::testing::ClickItem(tree, text), qPrintable(text));
    }

    // The disk item the disk page has chosen, as the tree names it.
    static QString ChosenDisk(const Harness& h) {
        const TreeModel* tree = h.Run().diskTree.get();
        return tree == nullptr || tree->Selected() == kNoItem
                   ? QString()
                   : QString::fromStdString(tree->Text(tree->Selected()));
    }

  private slots:
    void initTestCase() {
        QVERIFY(folder_.isValid());
        readableDevice_ = folder_.filePath(QStringLiteral("disk.img"));
        QFile device(readableDevice_);
        QVERIFY(device.open(QIODevice::WriteOnly));
        device.resize(1 << 20);
    }

    void startUpShowsTheDiskPageInRawMode() {
        Harness h = Open();
        RecoveryRun& run = h.Run();
        QCOMPARE(h.Stage(), WizardStage::DiskPage);
        QCOMPARE(run.searchMode, SearchMode::Raw);
        QCOMPARE(QString::fromStdString(run.statusText), kSelectDiskStatus);
        QCOMPARE(h.Find<QLabel>("statusLine")->text(), kSelectDiskStatus);
        QCOMPARE(h.DiskTree()->model()->index(0, 0).data().toString(),
                 QStringLiteral("My Computer"));
        QCOMPARE(TopChildren(h.DiskTree()),
                 QStringList({"Fixed hard disk media (Disk0)", "Fixed hard disk media (Disk2)",
                              "Removable Media (Disk1)"}));
        QVERIFY(h.DiskTree()->isExpanded(h.DiskTree()->model()->index(0, 0)));
        QVERIFY(!h.Button("nextButton")->isEnabled());
        QVERIFY(!h.Find<QRadioButton>("rawSearchButton")->isVisible());
        QVERIFY(h.Find<QRadioButton>("rawSearchButton")->isChecked());
        QCOMPARE(h.Find<QLineEdit>("workingFolderField")->text(), OpenedFilesBase());
        QVERIFY(!h.Find<QLineEdit>("workingFolderField")->isVisible());
        QVERIFY(h.Find<QLabel>("thoroughExplanation")->text().startsWith("Thorough Scanning"));
        const QHeaderView* header = h.Find<QTreeView>("DiskDetailsList")->header();
        QCOMPARE(header->sectionSize(0), 242);
        QCOMPARE(header->sectionSize(1), 243);
        SaveWindowShot(*h.window, "disk_page_start.png");
    }

    void selectingADiskShowsItsDetailsAndEveryMode() {
        Harness h = Open();
        // Folders rebuilt from an earlier disk are forgotten when a disk is chosen.
        h.Run().folderTable.AppendRow({"Dir1"});
        h.Run().folderNodes.Append(FolderNode{});
        ClickItem(h.DiskTree(), kCardText);
        RecoveryRun& run = h.Run();
        QCOMPARE(run.folderTable.RowCount(), std::size_t{0});
        QCOMPARE(run.folderNodes.Count(), 0);
        QCOMPARE(run.selectedDiskKey, std::string("1)"));
        QCOMPARE(run.selectedDiskNumber, 1);
        QCOMPARE(run.detailsList.RowCount(), std::size_t{14});
        QCOMPARE(h.Find<QTreeView>("DiskDetailsList")->model()->rowCount(), 14);
        QCOMPARE(run.detailsList.Cell(0, 1), std::string("Card Reader"));
        QCOMPARE(run.shownDisk.totalSectors, kCardSectors);
        for (const char* mode :
             {"standardSearchButton", "advanceSearchButton", "rawSearchButton"}) {
            QVERIFY2(h.Find<QRadioButton>(mode)->isVisible(), mode);
            QVERIFY2(h.Find<QRadioButton>(mode)->isEnabled(), mode);
        }
        QVERIFY(h.Find<QRadioButton>("rawSearchButton")->isChecked());
        QVERIFY(h.Button("nextButton")->isEnabled());
        SaveWindowShot(*h.window, "disk_page.png");

        // "My Computer" itself chooses nothing.
        Harness fresh = Open();
        ClickItem(fresh.DiskTree(), QStringLiteral("My Computer"));
        QVERIFY(!fresh.Button("nextButton")->isEnabled());
        QVERIFY(fresh.Run().detailsList.Empty());
    }

    void nextAndBackBetweenDiskPageAndRawCriteria() {
        Harness h = Open();
        ClickItem(h.DiskTree(), kCardText);
        h.window->OnNext();
        RecoveryRun& run = h.Run();
        QCOMPARE(h.Stage(), WizardStage::Criteria);
        QVERIFY(h.Find<QRadioButton>("entireDiskButton")->isChecked());
        QVERIFY(h.Find<QRadioButton>("entireDiskButton")->isVisible());
        QCOMPARE(h.Find<QLineEdit>("rawStartField")->text(), QStringLiteral("0"));
        QCOMPARE(h.Find<QLineEdit>("rawEndField")->text(), QString::number(kCardSectors));
        QVERIFY(h.Find<QCheckBox>("thoroughBox")->isChecked());
        QVERIFY(h.Find<QCheckBox>("thoroughBox")->isVisible());
        QVERIFY(h.Find<QLineEdit>("destinationField")->isVisible());
        QVERIFY(!h.DiskTree()->isVisible());
        QVERIFY(!h.Find<QTreeView>("DetailsList")->isVisible());
        QVERIFY(!h.Find<QRadioButton>("rawSearchButton")->isVisible());
        QVERIFY(!h.Button("refreshButton")->isVisible());
        QVERIFY(h.Button("backButton")->isEnabled());
        QCOMPARE(QString::fromStdString(run.statusText), kEntireDiskStatus);
        SaveWindowShot(*h.window, "raw_criteria.png");

        h.window->OnBack();
        QCOMPARE(h.Stage(), WizardStage::DiskPage);
        QCOMPARE(run.searchMode, SearchMode::Raw);
        QCOMPARE(QString::fromStdString(run.statusText), kSelectDiskStatus);
        QVERIFY(h.DiskTree()->isVisible());
        QVERIFY(h.Button("refreshButton")->isVisible());
        QVERIFY(!h.Find<QRadioButton>("entireDiskButton")->isVisible());
        QCOMPARE(TopChildren(h.DiskTree()).size(), 3);
        // The list was made again, and the disk chosen before is chosen in it again.
        QCOMPARE(ChosenDisk(h), kCardText);
        QCOMPARE(run.detailsList.RowCount(), std::size_t{14});
        QVERIFY(h.Button("nextButton")->isEnabled());
    }

    void rawNextRefusesAnEmptyRange() {
        Harness h = Open();
        ClickItem(h.DiskTree(), kCardText);
        h.window->OnNext();
        h.Find<QLineEdit>("rawStartField")->setText(QStringLiteral("500"));
        h.Find<QLineEdit>("rawEndField")->setText(QStringLiteral("500"));
        h.window->OnNext();
        QCOMPARE(h.messages->shown.size(), std::size_t{1});
        QCOMPARE(h.messages->shown[0].text,
                 QStringLiteral("End Sector should be greater than Start Sector."));
        QCOMPARE(h.messages->shown[0].icon, MessageIcon::Error);
        QCOMPARE(h.Stage(), WizardStage::Criteria);
        QVERIFY(h.Button("nextButton")->isEnabled());
        QVERIFY(h.Button("backButton")->isEnabled());

        h.Find<QLineEdit>("rawEndField")->setText(QStringLiteral("501"));
        h.window->OnNext();
        QCOMPARE(h.messages->shown.size(), std::size_t{1});
        QCOMPARE(h.Run().rawFirstSector, 500);
        QCOMPARE(h.Run().rawLastSector, 501);
    }

    void standardAndAdvanceCriteriaPages() {
        Harness h = Open();
        ClickItem(h.DiskTree(), kCardText);
        h.Find<QRadioButton>("standardSearchButton")->click();
        QCOMPARE(h.Run().searchMode, SearchMode::Standard);
        h.window->OnNext();
        QCOMPARE(h.Stage(), WizardStage::Criteria);
        // The card's table lists nothing: the partition search runs first, in its place.
        QVERIFY(h.Button("stopSearchingPartitionsButton")->isVisible());
        QTRY_VERIFY(h.Button("searchMorePartitionsButton")->isVisible());
        auto* typeBox = h.Find<QComboBox>("partitionTypeBox");
        QVERIFY(typeBox->isVisible());
        QVERIFY(!typeBox->isEnabled());
        QCOMPARE(typeBox->count(), 5);
        QCOMPARE(typeBox->itemText(4), QStringLiteral("UNKNOWN"));
        QCOMPARE(h.Find<QLabel>("modeLabel")->text(), QStringLiteral("Standard Search"));
        QVERIFY(h.Button("searchMorePartitionsButton")->isVisible());
        QVERIFY(!h.Find<QRadioButton>("entireDiskButton")->isVisible());
        auto* partitionTree = h.Find<mytreectrl>("PartitionTree");
        QVERIFY(partitionTree->isVisible());
        QCOMPARE(partitionTree->model()->index(0, 0).data().toString(), QStringLiteral("Disk 1"));
        QVERIFY(h.Run().folderTree && h.Run().volumeTree);
        SaveWindowShot(*h.window, "standard_criteria.png");

        h.window->OnBack();
        QVERIFY(!h.Run().partitionTree);
        QVERIFY(!partitionTree->isVisible());
        QCOMPARE(h.Run().searchMode, SearchMode::Raw);

        ClickItem(h.DiskTree(), kCardText);
        h.Find<QRadioButton>("advanceSearchButton")->click();
        h.window->OnNext();
        QTRY_VERIFY(h.Button("searchMorePartitionsButton")->isVisible());
        QVERIFY(typeBox->isEnabled());
        QCOMPARE(h.Find<QLabel>("modeLabel")->text(), QStringLiteral("Advance Search"));
    }

    void exitAsksFirstAndStopsEveryWorkerOnYes() {
        WizardEnvironment environment;
        environment.exitAddress = QStringLiteral("https://example.org/thanks");
        Harness h = Open(std::move(environment));
        QTest::keyClick(h.window.get(), Qt::Key_Escape);
        QCOMPARE(h.messages->questions.size(), std::size_t{1});
        QCOMPARE(h.messages->questions[0], QStringLiteral("Do you want to exit from Lumarest?"));
        QVERIFY(h.window->isVisible());
        QVERIFY(!h.Run().scanStop.stop_requested());
        QVERIFY(h.shell->opened.empty());

        h.messages->answer = true;
        h.window->close();
        QCOMPARE(h.messages->questions.size(), std::size_t{2});
        QVERIFY(!h.window->isVisible());
        QCOMPARE(h.window->result(), int(QDialog::Accepted));
        QVERIFY(h.Run().scanStop.stop_requested());
        QVERIFY(h.Run().secondPhaseStop.stop_requested());
        QVERIFY(h.Run().partitionSearchStop.stop_requested());
        QCOMPARE(h.shell->opened.size(), std::size_t{1});
        QCOMPARE(h.shell->opened[0], QUrl(QStringLiteral("https://example.org/thanks")));

        Harness quiet = Open();
        quiet.messages->answer = true;
        quiet.window->close();
        QVERIFY(quiet.shell->opened.empty());
    }

    void helpOpensTheGuideBesideTheProgramWhenItIsThere() {
        Harness h = Open();
        h.window->OnHelp();
        QVERIFY(h.shell->opened.empty());

        QVERIFY(QDir().mkpath(folder_.filePath(QStringLiteral("program"))));
        QFile guide(folder_.filePath(QStringLiteral("program/Software Guide.html")));
        QVERIFY(guide.open(QIODevice::WriteOnly));
        guide.write("<html></html>");
        guide.close();
        h.Button("helpButton")->click();
        QCOMPARE(h.shell->opened.size(), std::size_t{1});
        QVERIFY(h.shell->opened[0].isLocalFile());
        QVERIFY(h.shell->opened[0].toLocalFile().endsWith(QStringLiteral("/Software Guide.html")));
        QVERIFY(h.messages->failedOpens.empty());

        // A desktop with no program for it says so in a box, never only on its error stream.
        h.shell->refuses = [](const QUrl&) { return true; };
        h.Button("helpButton")->click();
        QCOMPARE(h.messages->failedOpens.size(), std::size_t{1});
        QVERIFY(h.messages->failedOpens[0].text.contains(QStringLiteral("Software Guide.html")));
        QVERIFY(h.messages->failedOpens[0].folderOffered);
    }

    void aboutFromTheButtonAndTheWindowMenu() {
        Harness h = Open();
        h.Button("aboutButton")->click();
        auto* menuItem = h.Find<QAction>("aboutMenuAction");
        QCOMPARE(menuItem->text(), QStringLiteral("About Lumarest..."));
        menuItem->trigger();
        QCOMPARE(h.dialogs->abouts, 2);
    }

    void browseShowsTheNoticeThenTakesTheFolder() {
        Harness h = Open();
        ClickItem(h.DiskTree(), kCardText);
        h.window->OnNext();
        h.dialogs->folder = QStringLiteral("/media/other-disk/recovered");
        h.Button("browseButton")->click();
        QVERIFY(h.dialogs->folderAskedAfterNotice);
        QCOMPARE(h.Find<QLineEdit>("destinationField")->text(), h.dialogs->folder);
        QCOMPARE(h.Run().destinationFolder, std::string("/media/other-disk/recovered"));

        h.dialogs->folder.clear();
        h.Button("browseButton")->click();
        QVERIFY(h.Find<QLineEdit>("destinationField")->text().isEmpty());
        QVERIFY(h.Run().destinationFolder.empty());
    }

    void unreadableDeviceIsExplainedAndTheWizardStays() {
        Harness h = Open();
        ClickItem(h.DiskTree(), QStringLiteral("Fixed hard disk media (Disk2)"));
        h.window->OnNext();
        QCOMPARE(h.Stage(), WizardStage::DiskPage);
        QCOMPARE(h.messages->shown.size(), std::size_t{1});
        QVERIFY(h.messages->shown[0].text.contains(QString::fromUtf8(kMissingDevice)));
        QCOMPARE(h.messages->shown[0].icon, MessageIcon::Error);
        QVERIFY(h.DiskTree()->isVisible());
    }

    void diskImagesFromTheCommandLineAndTheButton() {
        QTemporaryDir noDisks;
        const QString image = folder_.filePath(QStringLiteral("camera-card.img"));
        QFile file(image);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.resize(1 << 20);
        file.close();
        const ImageGuard guard(image.toStdString());

        WizardEnvironment environment;
        environment.disks = std::make_unique<SystemDiskEnumerator>(
            noDisks.path().toStdString(), noDisks.path().toStdString(), kMissingDevice);
        environment.images = {"/nonexistent/lumarest-test/missing.img", image.toStdString()};
        Harness h = Open(std::move(environment));
        // The bad image is refused with a message; the good one is listed all the same.
        QCOMPARE(h.messages->shown.size(), std::size_t{1});
        QCOMPARE(h.messages->shown[0].icon, MessageIcon::Error);
        QVERIFY(h.messages->shown[0].text.contains(QStringLiteral("missing.img")));
        QCOMPARE(TopChildren(h.DiskTree()), QStringList({"Disk image file (Disk0)"}));

        ClickItem(h.DiskTree(), QStringLiteral("Disk image file (Disk0)"));
        QCOMPARE(h.Run().detailsList.Cell(13, 1), image.toStdString());
        h.window->OnNext();
        QCOMPARE(h.Stage(), WizardStage::Criteria);
        QCOMPARE(h.Find<QLineEdit>("rawEndField")->text(), QStringLiteral("2048"));
        // Back keeps the disk chosen, ready for Next again.
        h.window->OnBack();
        QCOMPARE(ChosenDisk(h), QStringLiteral("Disk image file (Disk0)"));
        QCOMPARE(h.Run().detailsList.Cell(13, 1), image.toStdString());
        QVERIFY(h.Button("nextButton")->isEnabled());

        const QString second = folder_.filePath(QStringLiteral("second.img"));
        QFile secondFile(second);
        QVERIFY(secondFile.open(QIODevice::WriteOnly));
        secondFile.resize(4096);
        secondFile.close();
        h.dialogs->image = second;
        h.Button("addImageButton")->click();
        QCOMPARE(TopChildren(h.DiskTree()),
                 QStringList({"Disk image file (Disk0)", "Disk image file (Disk1)"}));
        // The image just added is the one chosen.
        QCOMPARE(ChosenDisk(h), QStringLiteral("Disk image file (Disk1)"));
        QCOMPARE(h.Run().detailsList.Cell(13, 1), second.toStdString());

        // A refused image leaves the choice as it was.
        h.dialogs->image = folder_.path();
        h.Button("addImageButton")->click();
        QCOMPARE(h.messages->shown.size(), std::size_t{2});
        QCOMPARE(TopChildren(h.DiskTree()).size(), 2);
        QCOMPARE(ChosenDisk(h), QStringLiteral("Disk image file (Disk1)"));
        QVERIFY(guard.Unchanged());
    }

    void theDemoImageWalksToBothCriteriaPagesUntouched() {
        const std::string demo = FixtureImage("demo.img");
        if (demo.empty()) {
            QSKIP("the demo image was not made");
        }
        const ImageGuard guard(demo);
        QTemporaryDir noDisks;
        WizardEnvironment environment;
        environment.disks = std::make_unique<SystemDiskEnumerator>(
            noDisks.path().toStdString(), noDisks.path().toStdString(), kMissingDevice);
        environment.images = {demo};
        Harness h = Open(std::move(environment));
        ClickItem(h.DiskTree(), QStringLiteral("Disk image file (Disk0)"));
        QCOMPARE(h.Run().detailsList.Cell(0, 1), std::string("demo.img"));
        const std::uint64_t sectors = QFileInfo(QString::fromStdString(demo)).size() / 512;
        QCOMPARE(h.Run().shownDisk.totalSectors, sectors);
        SaveWindowShot(*h.window, "disk_page_demo.png");
        h.window->OnNext();
        QCOMPARE(h.Find<QLineEdit>("rawEndField")->text(), QString::number(sectors));
        h.window->OnBack();
        ClickItem(h.DiskTree(), QStringLiteral("Disk image file (Disk0)"));
        h.Find<QRadioButton>("standardSearchButton")->click();
        h.window->OnNext();
        QCOMPARE(h.Stage(), WizardStage::Criteria);
        QVERIFY(h.messages->shown.empty());
        QVERIFY(guard.Unchanged());
    }

    void floppyEnablesOnlyStandard() {
        auto disks = MachineDisks();
        disks->floppy = true;
        WizardEnvironment environment;
        environment.disks = std::move(disks);
        Harness h = Open(std::move(environment));
        ClickItem(h.DiskTree(), kCardText);
        ClickItem(h.DiskTree(), QString::fromUtf8(kFloppyItemText));
        QVERIFY(h.Run().FloppySelected());
        QVERIFY(h.Run().detailsList.Empty());
        QVERIFY(h.Find<QRadioButton>("standardSearchButton")->isEnabled());
        QVERIFY(!h.Find<QRadioButton>("advanceSearchButton")->isEnabled());
        QVERIFY(!h.Find<QRadioButton>("rawSearchButton")->isEnabled());
        QVERIFY(h.Button("nextButton")->isEnabled());

        // Back from the floppy's criteria page: the disk page again, with no mode chosen.
        h.Run().floppyPath = readableDevice_.toStdString();
        h.window->OnNext();
        QCOMPARE(h.Stage(), WizardStage::Criteria);
        QCOMPARE(h.Find<QLineEdit>("rawEndField")->text(), QStringLiteral("2880"));
        h.window->OnBack();
        QCOMPARE(h.Stage(), WizardStage::DiskPage);
        QCOMPARE(h.Run().searchMode, SearchMode::None);
        QVERIFY(h.DiskTree()->isVisible());
        QCOMPARE(h.Run().detailsList.ColumnNames(), std::vector<std::string>{" Disk Details"});
        QVERIFY(h.Find<QRadioButton>("standardSearchButton")->isVisible());
        QVERIFY(!h.Find<QRadioButton>("standardSearchButton")->isEnabled());
        QCOMPARE(QString::fromStdString(h.Run().statusText), kSelectDiskStatus);

        // A disk chosen next shows all its details; Next waits for a mode.
        ClickItem(h.DiskTree(), kCardText);
        QCOMPARE(h.Run().detailsList.Cell(0, 1), std::string("Card Reader"));
        QVERIFY(!h.Button("nextButton")->isEnabled());
        h.Find<QRadioButton>("advanceSearchButton")->click();
        QVERIFY(h.Button("nextButton")->isEnabled());
    }

    void diskKeyUsesTheLastTwoCharacters() {
        QCOMPARE(DiskKeyOfItemText("Removable Media (Disk1) "), std::string("1)"));
        QCOMPARE(DiskNumberOfKey(DiskKeyOfItemText("Fixed hard disk media (Disk12)")), 2);
        QCOMPARE(DiskNumberOfKey("x)"), 0);
        QCOMPARE(DiskKeyOfItemText(""), std::string());
    }
};

QTEST_MAIN(WizardWindowTest)
#include "wizard_window_test.moc"
