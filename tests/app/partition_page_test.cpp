#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include "app/partition_details.h"
#include "app/search_statistics_panel.h"
#include "app/window_harness.h"
#include "partitions/volume_params.h"
#include "support/image_guard.h"
#include "support/made_images.h"
#include "ui/msg_stand.h"
#include "ui/text_progress_ctrl.h"

using namespace lumarest;
using namespace lumarest::testing;

namespace {

constexpr int kSearchTimeoutMs = 60000;
const char* const kImageItem = "Disk image file (Disk0)";
const QStringList kMbrLayoutItems = {"Partition - 1 ( FAT32 )", "Partition - 2 ( FAT32 )",
                                     "Partition - 3 ( NTFS )", "Partition - 4 ( NTFS )",
                                     "Partition - 5 ( NTFS )"};
const std::vector<std::string> kStandardCaptions = {
    "1.   Disk Number                    :  ",      "2.   Partition Number              :  ",
    "3.   Partition Type                   :  ",    "4.   Search Mode                   :  ",
    "5.   Start Sector                     :  ",    "6.   End Sector                      :  ",
    "7.   Size                                 :  "};
const std::vector<std::string> kAdvanceCaptions = {
    "1.   Partition Number          :          ", "2.   Search Mode               :          ",
    "3.   Size                             :  "};
const char* const kSelectPartitionStatus =
    "Select the partition to recover from left panel and then click on next button or use "
    "Searching Partition for search missing partition.";

std::vector<std::string> Column(const TextTable& table, std::size_t column) {
    std::vector<std::string> cells;
    for (std::size_t row = 0; row < table.RowCount(); ++row) {
        cells.push_back(table.Cell(row, column));
    }
    return cells;
}

// Partitions as the fixture builder laid them out: number, start, sectors, file system.
struct LaidOut {
    std::uint32_t start = 0;
    std::uint32_t sectors = 0;
    QString fsName;
};

std::vector<LaidOut> LayoutOf(const std::string& image) {
    QString path = QString::fromStdString(image);
    path.replace(QStringLiteral(".img"), QStringLiteral(".layout"));
    std::vector<LaidOut> partitions;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return partitions;
    }
    while (!file.atEnd()) {
        const QStringList fields = QString::fromUtf8(file.readLine()).simplified().split(' ');
        if (fields.size() == 5 && fields[4] != QStringLiteral("extended")) {
            partitions.push_back({fields[1].toUInt(), fields[2].toUInt(), fields[4]});
        }
    }
    return partitions;
}

}  // namespace

class PartitionPageTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir folder_;

    // The criteria page of `image` in the given mode, or a skip when the image was not made.
    WindowHarness OpenCriteriaPage(const std::string& image, const char* modeButton) {
        WindowHarness h = OpenOnImages({image}, folder_);
        if (!ClickItem(h.Find<mytreectrl>("DiskTree"), QString::fromUtf8(kImageItem))) {
            return h;
        }
        h.Find<QRadioButton>(modeButton)->click();
        h.window->OnNext();
        return h;
    }

    static mytreectrl* PartitionTree(const WindowHarness& h) {
        return h.Find<mytreectrl>("PartitionTree");
    }
    static QString StartField(const WindowHarness& h) {
        return h.Find<QLineEdit>("partitionStartField")->text();
    }
    static QString EndField(const WindowHarness& h) {
        return h.Find<QLineEdit>("partitionEndField")->text();
    }
    static QComboBox* TypeBox(const WindowHarness& h) {
        return h.Find<QComboBox>("partitionTypeBox");
    }
    static QString SelectedText(const WindowHarness& h) {
        return PartitionTree(h)->currentIndex().data().toString();
    }

  private slots:
    void initTestCase() { QVERIFY(folder_.isValid()); }

    // A disk whose list reached its 26 rows says so under the partition tree, while the tree
    // is shown; a shorter list shows no note.
    void aFullListIsNotedUnderTheTree() {
        for (const auto& [name, full] :
             {std::pair{"many_logicals.img", true}, std::pair{"odd_types.img", false}}) {
            const std::string image =
                MadeImage("tests/partitions/make_partition_images.sh", "partitions_test", name);
            QVERIFY2(!image.empty(), name);
            const ImageGuard guard(image);
            WindowHarness h = OpenCriteriaPage(image, "standardSearchButton");
            QVERIFY(PartitionTree(h)->isVisible());
            const auto* note = h.Find<QLabel>("partitionListNote");
            QCOMPARE(note->isVisible(), full);
            QVERIFY(note->text().contains(QStringLiteral("26")));
            h.window->OnBack();
            QVERIFY(!PartitionTree(h)->isVisible());
            QVERIFY(!note->isVisible());
            QVERIFY(guard.Unchanged());
        }
    }

    void standardPageListsTheTablesAndShowsEachPartition() {
        const std::string image = FixtureImage("mbr_layout.img");
        if (image.empty()) {
            QSKIP("the MBR layout image was not made");
        }
        const ImageGuard guard(image);
        WindowHarness h = OpenCriteriaPage(image, "standardSearchButton");
        RecoveryRun& run = h.Run();
        QCOMPARE(h.Stage(), WizardStage::Criteria);
        mytreectrl* tree = PartitionTree(h);
        QVERIFY(tree->isVisible());
        const QModelIndex top = tree->model()->index(0, 0);
        QCOMPARE(top.data().toString(), QStringLiteral("Disk 0"));
        QCOMPARE(ChildTexts(tree, top), kMbrLayoutItems);
        QVERIFY(tree->isExpanded(top));
        QVERIFY(run.partitionsListed);
        QCOMPARE(run.diskPartitionLists[0].Count(), std::size_t{5});

        // The first partition is chosen and shown at once.
        QCOMPARE(SelectedText(h), kMbrLayoutItems[0]);
        QCOMPARE(run.partitionTree->Selected(), run.defaultPartitionItem);
        QCOMPARE(Column(run.detailsList, 0), kStandardCaptions);
        QCOMPARE(
            Column(run.detailsList, 1),
            std::vector<std::string>({"0", "1", "FAT32", "Standard", "2048", "69632", "33 MB"}));
        QCOMPARE(StartField(h), QStringLiteral("2048"));
        QCOMPARE(EndField(h), QStringLiteral("69632"));
        QVERIFY(!TypeBox(h)->isEnabled());
        QCOMPARE(TypeBox(h)->currentText(), QStringLiteral("FAT32"));
        QCOMPARE(h.Find<QLabel>("modeLabel")->text(), QStringLiteral("Standard Search"));
        QCOMPARE(h.Find<QTreeView>("DetailsList")->model()->rowCount(), 7);
        SaveWindowShot(*h.window, "partition_page_standard.png");

        // A logical partition: numbered after the primary ones, its range from its own EBR.
        QVERIFY(ClickItem(tree, kMbrLayoutItems[2]));
        QCOMPARE(SelectedText(h), kMbrLayoutItems[2]);
        QCOMPARE(
            Column(run.detailsList, 1),
            std::vector<std::string>({"0", "3", "NTFS", "Standard", "139264", "147456", "4 MB"}));
        QCOMPARE(StartField(h), QStringLiteral("139264"));
        QCOMPARE(EndField(h), QStringLiteral("147456"));
        QCOMPARE(TypeBox(h)->currentText(), QStringLiteral("NTFS"));

        // The arrow keys walk the partitions as clicks do.
        QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(SelectedText(h), kMbrLayoutItems[3]);
        QCOMPARE(run.detailsList.Cell(1, 1), std::string("4"));
        QCOMPARE(StartField(h), QStringLiteral("149504"));
        QCOMPARE(EndField(h), QStringLiteral("157696"));
        QTest::keyClick(tree, Qt::Key_Up);
        QTest::keyClick(tree, Qt::Key_Up);
        QTest::keyClick(tree, Qt::Key_Up);
        QCOMPARE(SelectedText(h), kMbrLayoutItems[0]);
        QCOMPARE(run.detailsList.Cell(2, 1), std::string("FAT32"));
        QCOMPARE(TypeBox(h)->currentText(), QStringLiteral("FAT32"));
        // Up onto the disk item leaves the last partition's details.
        QTest::keyClick(tree, Qt::Key_Up);
        QCOMPARE(SelectedText(h), QStringLiteral("Disk 0"));
        QCOMPARE(StartField(h), QStringLiteral("2048"));
        QCOMPARE(run.detailsList.RowCount(), std::size_t{7});

        // Next with a real partition: the search's inputs are filled, the old rows gone.
        QVERIFY(ClickItem(tree, kMbrLayoutItems[3]));
        run.folderTable.AppendRow();
        run.bootSectorTable.AppendRow();
        h.window->OnNext();
        QVERIFY(h.messages->shown.empty());
        QCOMPARE(h.dialogs->searchCompletedBoxes, 0);
        const SelectedPartition& chosen = run.selectedPartition;
        QCOMPARE(chosen.diskNumber, 0);
        QCOMPARE(chosen.partitionNo, 3u);
        QCOMPARE(chosen.fsName, std::string("NTFS"));
        QCOMPARE(chosen.searchModeText, std::string("Standard Search"));
        QCOMPARE(chosen.startSector, 149504);
        QCOMPARE(chosen.endSector, 157695);
        // The worker owns the folder table now; the tables it never touches were emptied.
        QVERIFY(run.bootSectorTable.Empty());
        auto* statistics = h.Find<SearchStatisticsPanel>("SearchStatistics");
        QCOMPARE(statistics->Value(Statistic::Drive)->text(), QStringLiteral("0"));
        QCOMPARE(statistics->Value(Statistic::SectorRange)->text(),
                 QStringLiteral("149504 to 157695"));
        QCOMPARE(statistics->Value(Statistic::FileSystem)->text(), QStringLiteral("NTFS"));
        QCOMPARE(statistics->Value(Statistic::Criteria)->text(), QStringLiteral("Standard Search"));
        // The search runs to the folder results; Back there returns to this page.
        QTRY_VERIFY_WITH_TIMEOUT(h.Find<QPushButton>("backButton")->isEnabled(), 60000);
        QCOMPARE(h.Stage(), WizardStage::FolderResults);
        h.window->OnBack();
        QCOMPARE(h.Stage(), WizardStage::Criteria);
        QVERIFY(h.Find<QPushButton>("nextButton")->isEnabled());
        QVERIFY(h.Find<QPushButton>("backButton")->isEnabled());

        // Back forgets the disk's partitions and its tree.
        run.fileTable.AppendRow();
        h.window->OnBack();
        QCOMPARE(h.Stage(), WizardStage::DiskPage);
        QCOMPARE(run.diskPartitionLists[0].Count(), std::size_t{0});
        QVERIFY(run.diskPartitionLists[0].partitions.empty());
        QVERIFY(!run.partitionTree);
        QCOMPARE(run.defaultPartitionItem, kNoItem);
        QVERIFY(run.fileTable.Empty());
        QVERIFY(!tree->isVisible());

        // And lists them afresh on the next visit.
        QVERIFY(ClickItem(h.Find<mytreectrl>("DiskTree"), QString::fromUtf8(kImageItem)));
        h.Find<QRadioButton>("standardSearchButton")->click();
        h.window->OnNext();
        QCOMPARE(ChildTexts(tree, tree->model()->index(0, 0)), kMbrLayoutItems);
        QCOMPARE(SelectedText(h), kMbrLayoutItems[0]);
        QVERIFY(guard.Unchanged());
    }

    void advancePageShowsThreeRowsAndLetsTheTypeChange() {
        const std::string image = FixtureImage("mbr_layout.img");
        if (image.empty()) {
            QSKIP("the MBR layout image was not made");
        }
        const ImageGuard guard(image);
        WindowHarness h = OpenCriteriaPage(image, "advanceSearchButton");
        RecoveryRun& run = h.Run();
        QCOMPARE(Column(run.detailsList, 0), kAdvanceCaptions);
        QCOMPARE(Column(run.detailsList, 1), std::vector<std::string>({"1", "Advance", "33 MB"}));
        QVERIFY(TypeBox(h)->isEnabled());
        QCOMPARE(TypeBox(h)->currentText(), QStringLiteral("FAT32"));
        QCOMPARE(h.Find<QLabel>("modeLabel")->text(), QStringLiteral("Advance Search"));
        QVERIFY(ClickItem(PartitionTree(h), kMbrLayoutItems[4]));
        QCOMPARE(Column(run.detailsList, 1), std::vector<std::string>({"5", "Advance", "4 MB"}));
        QCOMPARE(StartField(h), QStringLiteral("159744"));
        SaveWindowShot(*h.window, "partition_page_advance.png");

        // "UNKNOWN" is refused with its box and its status text; the page stays.
        TypeBox(h)->setCurrentIndex(kUnknownTypeEntry);
        h.window->OnNext();
        QCOMPARE(h.messages->shown.size(), std::size_t{1});
        QCOMPARE(h.messages->shown[0].text, QStringLiteral("Select partition type"));
        QCOMPARE(h.messages->shown[0].icon, MessageIcon::Error);
        QCOMPARE(QString::fromStdString(run.statusText),
                 QStringLiteral("Select the Partition Type from which you want to recover Data "
                                "and press 'Next' button to start searching Data. Or to select "
                                "another Disk press 'Back' button."));
        QCOMPARE(h.Stage(), WizardStage::Criteria);
        QVERIFY(h.Find<QPushButton>("nextButton")->isEnabled());
        QVERIFY(h.Find<QPushButton>("backButton")->isEnabled());
        QVERIFY(run.selectedPartition.fsName.empty());

        // The user's type wins, and an Advance search takes even a one-sector range.
        TypeBox(h)->setCurrentIndex(0);
        h.Find<QLineEdit>("partitionStartField")->setText(QStringLiteral("999"));
        h.Find<QLineEdit>("partitionEndField")->setText(QStringLiteral("1000"));
        h.window->OnNext();
        QCOMPARE(h.messages->shown.size(), std::size_t{1});
        QCOMPARE(run.selectedPartition.fsName, std::string("FAT16"));
        QCOMPARE(run.selectedPartition.searchModeText, std::string("Advance Search"));
        QCOMPARE(run.selectedPartition.partitionNo, 4u);
        QCOMPARE(run.selectedPartition.startSector, 999);
        QCOMPARE(run.selectedPartition.endSector, 999);
        QVERIFY(guard.Unchanged());
    }

    void standardNextRefusesWhatItCannotSearch() {
        const std::string image = FixtureImage("mbr_layout.img");
        if (image.empty()) {
            QSKIP("the MBR layout image was not made");
        }
        const ImageGuard guard(image);
        WindowHarness h = OpenCriteriaPage(image, "standardSearchButton");
        RecoveryRun& run = h.Run();
        auto* start = h.Find<QLineEdit>("partitionStartField");
        auto* end = h.Find<QLineEdit>("partitionEndField");
        const auto nextAndBackEnabled = [&h] {
            return h.Find<QPushButton>("nextButton")->isEnabled() &&
                   h.Find<QPushButton>("backButton")->isEnabled();
        };

        const struct {
            const char* start;
            const char* end;
            const char* message;
        } badFields[] = {
            {"abc", "69632", "Start sector is not valid"},
            {"", "69632", "Start sector is not valid"},
            {"-5", "69632", "Start sector is not valid"},
            {"2048", "12x", "Ending sector is not valid"},
            {"2048", " ", "Ending sector is not valid"},
        };
        for (const auto& bad : badFields) {
            h.messages->shown.clear();
            start->setText(QString::fromUtf8(bad.start));
            end->setText(QString::fromUtf8(bad.end));
            h.window->OnNext();
            QCOMPARE(h.messages->shown.size(), std::size_t{1});
            QCOMPARE(h.messages->shown[0].text, QString::fromUtf8(bad.message));
            QCOMPARE(h.messages->shown[0].icon, MessageIcon::Error);
            QVERIFY2(nextAndBackEnabled(), bad.start);
        }
        QCOMPARE(h.dialogs->searchCompletedBoxes, 0);
        QVERIFY(run.selectedPartition.fsName.empty());

        // A range of no sector after the end's exclusive sector is taken off: refused as such,
        // not told as a search that completed.
        h.messages->shown.clear();
        start->setText(QStringLiteral("999"));
        end->setText(QStringLiteral("1000"));
        h.window->OnNext();
        QCOMPARE(h.messages->shown.size(), std::size_t{1});
        QCOMPARE(h.messages->shown[0].text,
                 QStringLiteral("End Sector should be greater than Start Sector."));
        QCOMPARE(h.messages->shown[0].icon, MessageIcon::Error);
        QCOMPARE(QString::fromStdString(run.statusText), QString::fromUtf8(kSelectPartitionStatus));
        QVERIFY(nextAndBackEnabled());
        QVERIFY(run.selectedPartition.fsName.empty());

        // "UNKNOWN" in Standard: refused before the fields are even read.
        h.messages->shown.clear();
        start->setText(QStringLiteral("abc"));
        TypeBox(h)->setCurrentIndex(kUnknownTypeEntry);
        h.window->OnNext();
        QCOMPARE(h.dialogs->searchCompletedBoxes, 0);
        QCOMPARE(h.messages->shown.size(), std::size_t{1});
        QVERIFY(h.messages->shown[0].text.startsWith(
            QStringLiteral("The file system of this partition is not known")));
        QCOMPARE(QString::fromStdString(run.statusText), QString::fromUtf8(kSelectPartitionStatus));
        QCOMPARE(h.Stage(), WizardStage::Criteria);
        QVERIFY(nextAndBackEnabled());
        QVERIFY(guard.Unchanged());
    }

    // An exFAT card is listed as exFAT and refused by Next in both searches, the page left as
    // it was; in an Advance search a type the user picks is still searched for.
    // An exFAT card is named by its boot sector, not by the type byte it shares with NTFS, and
    // both searches take it as exFAT.
    void exFatPartitionIsNamedAndSearched() {
        if (!ToolInstalled("mkfs.exfat")) {
            QSKIP("mkfs.exfat (exfatprogs) is not installed");
        }
        const std::string image =
            MadeImage("tests/partitions/make_exfat_images.sh", "exfat_test", "mbr.img");
        QVERIFY(!image.empty());
        const ImageGuard guard(image);
        const struct {
            const char* mode;
            WizardStage next;
        } modes[] = {{"standardSearchButton", WizardStage::FolderResults},
                     {"advanceSearchButton", WizardStage::FoundVolumes}};
        for (const auto& mode : modes) {
            WindowHarness h = OpenCriteriaPage(image, mode.mode);
            RecoveryRun& run = h.Run();
            QCOMPARE(SelectedText(h), QStringLiteral("Partition - 1 ( exFAT )"));
            QCOMPARE(TypeBox(h)->currentText(), QStringLiteral("exFAT"));
            h.window->OnNext();
            QTRY_VERIFY_WITH_TIMEOUT(h.Find<QPushButton>("stopSearchButton")->isHidden() &&
                                         h.Find<QPushButton>("backButton")->isEnabled(),
                                     60000);
            QCOMPARE(h.Stage(), mode.next);
            QCOMPARE(run.selectedPartition.fsName, std::string("exFAT"));
            for (const auto& shown : h.messages->shown) {
                QVERIFY2(shown.icon != MessageIcon::Error, qPrintable(shown.text));
            }
        }
        QVERIFY(guard.Unchanged());
    }

    void demoImagePartitionsMatchTheirLayout() {
        const std::string image = FixtureImage("demo.img");
        if (image.empty()) {
            QSKIP("the demo image was not made");
        }
        const std::vector<LaidOut> layout = LayoutOf(image);
        QVERIFY(!layout.empty());
        const ImageGuard guard(image);
        WindowHarness h = OpenCriteriaPage(image, "standardSearchButton");
        mytreectrl* tree = PartitionTree(h);
        QCOMPARE(tree->model()->rowCount(tree->model()->index(0, 0)), int(layout.size()));
        for (std::size_t i = 0; i < layout.size(); ++i) {
            const QString item =
                QStringLiteral("Partition - %1 ( %2 )").arg(i + 1).arg(layout[i].fsName);
            QVERIFY2(ClickItem(tree, item), qPrintable(item));
            QCOMPARE(StartField(h), QString::number(layout[i].start));
            QCOMPARE(EndField(h), QString::number(layout[i].start + layout[i].sectors));
            QCOMPARE(TypeBox(h)->currentText(), layout[i].fsName);
            QCOMPARE(h.Run().detailsList.Cell(6, 1),
                     std::to_string(layout[i].sectors >> 11) + " MB");
        }
        QVERIFY(h.messages->shown.empty());
        QVERIFY(guard.Unchanged());
    }

    void unknownPartitionStandsForTheWholeDisk() {
        RecoveryRun run;
        run.shownDisk.totalSectorsText = "3906250";
        run.shownDisk.capacityText = "1906 MB";
        const auto standard = DescribePartition(run, SearchMode::Standard, kUnknownPartition, 0, 1);
        QVERIFY(standard.has_value());
        std::vector<std::string> values;
        for (const auto& row : standard->rows) {
            values.push_back(row.second);
        }
        QCOMPARE(values, std::vector<std::string>({"1", "1", "Unknown Partition", "Standard", "0",
                                                   "3906250", "1906 MB"}));
        QCOMPARE(standard->startField, std::string("0"));
        QCOMPARE(standard->endField, std::string("3906250"));
        QCOMPARE(standard->typeEntry, kUnknownTypeEntry);
        QVERIFY(standard->expandRoot);
        QVERIFY(!standard->typeBoxEnabled);

        const auto advance = DescribePartition(run, SearchMode::Advance, kUnknownPartition, 0, 1);
        QVERIFY(advance.has_value());
        QCOMPARE(advance->rows.size(), std::size_t{3});
        QCOMPARE(advance->rows[2].second, std::string("1906 MB"));
        QCOMPARE(advance->startField, std::string("0"));
        QCOMPARE(advance->endField, std::string("3906250"));
        QVERIFY(advance->typeBoxEnabled);

        // A partition the list does not hold shows nothing rather than another one's range.
        QVERIFY(!DescribePartition(run, SearchMode::Standard, "FAT32", 0, 1));
        QVERIFY(!DescribePartition(run, SearchMode::Standard, "FAT32", 0, kDriveSlots));
    }

    // A disk of 4096-byte sectors: the fields and rows count its own sectors, the raw range and
    // the search engine sectors.
    void largeSectorDiskShowsItsOwnSectors() {
        RecoveryRun run;
        run.shownDisk.logicalSectorBytes = 4096;
        PartitionRecord record;
        record.startSector = 2048;
        record.endSector = 2048 + 131072;
        run.diskPartitionLists[1].partitions.push_back(record);
        const auto details = DescribePartition(run, SearchMode::Standard, "FAT32", 0, 1);
        QVERIFY(details.has_value());
        QCOMPARE(details->startField, std::string("256"));
        QCOMPARE(details->endField, std::string("16640"));
        QCOMPARE(details->rows[4].second, std::string("256"));
        QCOMPARE(details->rows[5].second, std::string("16640"));
        QCOMPARE(details->startSector, std::uint64_t{2048});
        QCOMPARE(details->endSector, std::uint64_t{2048 + 131072});
        QCOMPARE(details->rows[6].second, std::string("64 MB"));
    }

    // Typed sectors of a 4096-byte-sector disk are taken as eight engine sectors each: a start
    // of 2^29 lies past 32-bit engine sectors and is searched all the same, its numbers whole.
    void typedSectorsAreTakenInTheDisksOwnSectors() {
        const std::string image = FixtureImage("demo.img");
        if (image.empty()) {
            QSKIP("the demo image was not made");
        }
        const ImageGuard guard(image);
        WindowHarness h = OpenCriteriaPage(image, "standardSearchButton");
        h.Run().shownDisk.logicalSectorBytes = 4096;
        TypeBox(h)->setCurrentIndex(1);
        h.Find<QLineEdit>("partitionStartField")->setText(QStringLiteral("536870912"));
        h.Find<QLineEdit>("partitionEndField")->setText(QStringLiteral("536870920"));
        h.messages->shown.clear();
        h.window->OnNext();
        const SelectedPartition& chosen = h.Run().selectedPartition;
        QCOMPARE(chosen.fsName, std::string("FAT32"));
        QCOMPARE(chosen.startSector, std::int64_t{1} << 32);
        QCOMPARE(chosen.endSector, (std::int64_t{1} << 32) + 63);
        QTRY_VERIFY_WITH_TIMEOUT(h.Find<QPushButton>("backButton")->isEnabled(), kSearchTimeoutMs);
        // The range lies past the end of the image: nothing is there to read a layout from.
        QCOMPARE(h.messages->shown.size(), std::size_t{1});
        QCOMPARE(h.messages->shown[0].text, QString::fromUtf8(kUnableToCalculateMessage));
        QVERIFY(guard.Unchanged());
    }

    void partitionOfAnItemComesFromItsParentsDisk() {
        RecoveryRun run;
        run.partitionTree = std::make_unique<TreeModel>();
        TreeModel& tree = *run.partitionTree;
        const TreeItem disk = tree.InsertItem(kNoItem, "Disk 3", 2, 2);
        const TreeItem first = tree.InsertItem(disk, "Partition - 1 ( FAT16 )", 1, 1);
        const TreeItem second = tree.InsertItem(disk, "Partition - 2 ( NTFS )", 1, 1);
        const TreeItem stray = tree.InsertItem(disk, "Unknown Partition", 1, 1);
        DiskPartitionList& list = run.diskPartitionLists[3];
        list.partitions = {{first, 63, 2000, FileSystem::Fat16},
                           {second, 4000, 9000, FileSystem::Ntfs}};

        const auto found = FindPartitionOfItem(run, second);
        QVERIFY(found.has_value());
        QCOMPARE(found->diskNumber, 3);
        QCOMPARE(found->index, 1);
        QVERIFY(!FindPartitionOfItem(run, disk));
        QVERIFY(!FindPartitionOfItem(run, stray));
        // Records no longer in the list are not listed.
        list.partitions.pop_back();
        QVERIFY(!FindPartitionOfItem(run, second));
        // A parent that names no disk of the run.
        tree.SetText(disk, "Disk 12");
        QVERIFY(!FindPartitionOfItem(run, first));
        tree.SetText(disk, "Disk x");
        QVERIFY(!FindPartitionOfItem(run, first));
    }

    void statusPanelCarriesItsCaptionsBarsAndFileListColumns() {
        QTemporaryDir empty;
        WindowHarness h = OpenOnImages({}, empty);
        auto* statistics = h.Find<SearchStatisticsPanel>("SearchStatistics");
        QCOMPARE(statistics->CaptionText(Statistic::Drive),
                 std::string("Searching in Physical Drive\t:"));
        QCOMPARE(statistics->CaptionText(Statistic::SectorRange),
                 std::string("Searching from sectors"));
        QCOMPARE(statistics->CaptionText(Statistic::FileSystem),
                 std::string("Selected File System\t\t:"));
        QCOMPARE(statistics->CaptionText(Statistic::Criteria),
                 std::string("Searching Criteria\t\t:"));
        QCOMPARE(statistics->CaptionText(Statistic::DirectoriesFound),
                 std::string("Directories Found\t\t\t:"));
        QCOMPARE(statistics->CaptionText(Statistic::BootSectorsFound),
                 std::string("Boot Sectors Found\t\t:"));
        QCOMPARE(statistics->Caption(Statistic::Drive)->text(),
                 QStringLiteral("Searching in Physical Drive :"));

        h.window->WindowReport().SetStatisticCaption(Statistic::DirectoriesFound,
                                                     "MFT Found                               :");
        QCOMPARE(statistics->CaptionText(Statistic::DirectoriesFound),
                 std::string("MFT Found                               :"));
        QCOMPARE(statistics->Caption(Statistic::DirectoriesFound)->text(),
                 QStringLiteral("MFT Found :"));

        QStringList labels;
        for (const QLabel* label : h.window->findChildren<QLabel*>()) {
            labels << label->text();
        }
        QVERIFY(labels.contains(QStringLiteral("Searching Partition :")));
        QVERIFY(labels.contains(QStringLiteral("Loading tree, Please Wait...")));
        QCOMPARE(h.window->findChildren<CTextProgressCtrl*>().size(), 3);

        auto* fileList = h.Find<QTreeView>("FileList");
        QVERIFY(!fileList->isVisible());
        QCOMPARE(fileList->model()->columnCount(), 8);
        const int widths[] = {145, 100, 70, 100, 70};
        for (int column = 0; column < 5; ++column) {
            QCOMPARE(fileList->header()->sectionSize(column), widths[column]);
        }
        for (int column = 5; column < 8; ++column) {
            QVERIFY(fileList->header()->isSectionHidden(column));
            QVERIFY(fileList->model()
                        ->headerData(column, Qt::Horizontal)
                        .toString()
                        .startsWith(QStringLiteral("Debug Info ")));
        }
    }

    void searchCompletedBoxCarriesItsAdvice() {
        CMsgStand box;
        QCOMPARE(box.windowTitle(), QStringLiteral("Lumarest"));
        QStringList texts;
        for (const QLabel* label : box.findChildren<QLabel*>()) {
            texts << label->text();
        }
        QCOMPARE(texts.size(), 5);
        QCOMPARE(texts[0], QStringLiteral(
                               "Searching of files in specified disk sectors range is completed."));
        QVERIFY(
            texts[2].startsWith(QString::fromUtf8("1. Please make sure that you have also "
                                                  "enabled the ‘Thorough Scanning Algorithm’")));
        QVERIFY(texts[4].startsWith(QStringLiteral("Even if all above methods")));
        SaveWindowShot(box, "search_completed_box.png");
    }
};

QTEST_MAIN(PartitionPageTest)
#include "partition_page_test.moc"
