#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <chrono>
#include <functional>

#include "app/partition_details.h"
#include "app/step_clock.h"
#include "app/window_harness.h"
#include "support/image_guard.h"
#include "ui/text_progress_ctrl.h"

using namespace lumarest;
using namespace lumarest::testing;

namespace {

const char* const kImageItem = "Disk image file (Disk0)";
constexpr std::uint64_t kCylinder = 255 * 63;
constexpr std::uint64_t kDiskCylinders = 11;
constexpr int kSearchTimeoutMs = 60000;

const char* const kCorruptedStatus =
    "Partition Table is corrupted. Software is Searching Partitions...";
const char* const kStopStatus =
    "To stop press 'Stop Searching Partitions' button or Please wait for the process to be "
    "completed. It is strongly recommended that you should allow the software to complete the "
    "Process.";
const char* const kSectorsInPartitionStatus =
    "‘Sectors in Partition’ option provides facility to perform searching for lost data in a "
    "specific partition of disk. Even If partitions of selected disk are deleted or lost, you "
    "can find and locate missing Partitions by clicking on ‘Search More Partitions’ button. "
    "Select Partition and Press ‘Next’ button to start searching data.";
const char* const kRelistedStatus =
    "Select the Partition from left Panel from which you want to recover Data. Press 'Search "
    "More Partitions' button to search other Lost or Deleted Partitions. Press 'Next' button to "
    "start searching Data.";
const char* const kStopQuestion = "Do you want to stop searching partition?";

// The fixture builder's bare volumes, where partitioning tools of the cylinder era put them:
// one track into cylinder 0 and 5, and at the very first sector of cylinder 8.
struct Placed {
    const char* volume;
    std::uint64_t sector;
};
const Placed kPlaced[] = {
    {"fat32.img", 63}, {"fat16.img", 5 * kCylinder + 63}, {"ntfs.img", 8 * kCylinder}};
const QStringList kFoundItems = {"Partition - 1 ( FAT32 )", "Partition - 2 ( FAT16 )",
                                 "Partition - 3 ( NTFS )"};
// start, end (start plus the boot sector's size: FAT16's only in its 16-bit field; NTFS's with
// its backup boot sector)
const std::pair<std::uint64_t, std::uint64_t> kFoundRanges[] = {
    {63, 63 + 69632},
    {5 * kCylinder + 63, 5 * kCylinder + 63 + 32768},
    {8 * kCylinder, 8 * kCylinder + 32768}};

// A disk of 11 cylinders whose first sector is zero, or, with `listFirst`, whose table lists
// only the first volume. Empty when the fixture volumes were not made.
QString MakeLostDisk(const QTemporaryDir& folder, const char* name, bool withVolumes,
                     bool listFirst = false) {
    const QString path = folder.filePath(QString::fromUtf8(name));
    QFile disk(path);
    if (!disk.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        !disk.resize(static_cast<qint64>(kDiskCylinders * kCylinder * 512))) {
        return {};
    }
    if (!withVolumes) {
        return path;
    }
    for (const Placed& placed : kPlaced) {
        QFile volume(QString::fromStdString(FixtureImage(placed.volume)));
        if (volume.fileName().isEmpty() || !volume.open(QIODevice::ReadOnly)) {
            return {};
        }
        disk.seek(static_cast<qint64>(placed.sector * 512));
        disk.write(volume.readAll());
    }
    if (listFirst) {
        // One primary entry: type 0x0C, first sector 63, 69632 sectors; then the signature.
        QByteArray table(512, '\0');
        table[446 + 4] = 0x0C;
        table[446 + 8] = 63;
        table[446 + 12] = 0x00;
        table[446 + 13] = 0x10;
        table[446 + 14] = 0x01;
        table[510] = 0x55;
        table[511] = static_cast<char>(0xAA);
        disk.seek(0);
        disk.write(table);
    } else {
        disk.seek(0);
        disk.write(QByteArray(512, '\0'));
    }
    return path;
}

// Steps only when the test says so, and tells what interval it was started with.
class ManualStepClock : public StepClock {
  public:
    void Start(std::chrono::milliseconds interval, std::function<void()> step) override {
        started = interval;
        step_ = std::move(step);
    }
    void Stop() override { step_ = nullptr; }
    bool Running() const { return static_cast<bool>(step_); }
    void Step(int times) {
        for (int i = 0; i < times && step_; ++i) {
            const std::function<void()> step = step_;
            step();
        }
    }
    std::chrono::milliseconds started{0};

  private:
    std::function<void()> step_;
};

}  // namespace

class PartitionSearchTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir folder_;

    static WindowHarness OpenOn(const QString& image, const QTemporaryDir& folder,
                                std::unique_ptr<StepClock> clock = nullptr) {
        WizardEnvironment environment;
        environment.images = {image.toStdString()};
        environment.stepClock = std::move(clock);
        return OpenWindow(std::move(environment), folder);
    }
    static bool ChooseDisk(const WindowHarness& h, const char* modeButton) {
        if (!ClickItem(h.DiskTree(), QString::fromUtf8(kImageItem))) {
            return false;
        }
        h.Find<QRadioButton>(modeButton)->click();
        return true;
    }
    static mytreectrl* PartitionTree(const WindowHarness& h) {
        return h.Find<mytreectrl>("PartitionTree");
    }
    static bool Searching(const WindowHarness& h, const char* stopButton) {
        return !h.Button(stopButton)->isHidden();
    }
    static QString Status(const WindowHarness& h) {
        return QString::fromStdString(h.Run().statusText);
    }
    // Every listed partition has its item, numbered as listed; "Unknown Partition" stands for
    // the whole disk when none is.
    static bool TreeMatchesList(const WindowHarness& h) {
        const DiskPartitionList& list = h.Run().diskPartitionLists[0];
        const QStringList items = TopChildren(PartitionTree(h));
        if (list.Count() == 0 && items == QStringList{QString::fromUtf8(kUnknownPartition)}) {
            return true;
        }
        if (items.size() != static_cast<int>(list.Count())) {
            return false;
        }
        for (std::size_t i = 0; i < list.Count(); ++i) {
            const TreeItem item = list.partitions[i].treeItem;
            if (!h.Run().partitionTree->Exists(item) ||
                h.Run().partitionTree->Text(item) != items[static_cast<int>(i)].toStdString()) {
                return false;
            }
        }
        return true;
    }

  private slots:
    void initTestCase() { QVERIFY(folder_.isValid()); }

    void nextOnAWipedTableSearchesAndShowsTheFirstPartition() {
        const QString image = MakeLostDisk(folder_, "wiped.img", true);
        if (image.isEmpty()) {
            QSKIP("the fixture volumes were not made");
        }
        const ImageGuard guard(image.toStdString());
        WindowHarness h = OpenOn(image, folder_);
        QVERIFY(ChooseDisk(h, "standardSearchButton"));
        h.window->OnNext();
        RecoveryRun& run = h.Run();
        QCOMPARE(h.Stage(), WizardStage::Criteria);
        QCOMPARE(Status(h), QString::fromUtf8(kCorruptedStatus));
        QVERIFY(Searching(h, "stopSearchingPartitionsButton"));
        QVERIFY(h.Button("searchMorePartitionsButton")->isHidden());
        QVERIFY(!h.Button("nextButton")->isEnabled());
        auto* bar = h.Find<CTextProgressCtrl>("partitionSearchBar");
        QVERIFY(bar->isVisible());
        QCOMPARE(run.partitionSearchVisits, 2);

        QTRY_VERIFY_WITH_TIMEOUT(!Searching(h, "stopSearchingPartitionsButton"), kSearchTimeoutMs);
        QCOMPARE(TopChildren(PartitionTree(h)), kFoundItems);
        QVERIFY(TreeMatchesList(h));
        const DiskPartitionList& list = run.diskPartitionLists[0];
        for (std::size_t i = 0; i < list.Count(); ++i) {
            QCOMPARE(list.partitions[i].startSector, kFoundRanges[i].first);
            QCOMPARE(list.partitions[i].endSector, kFoundRanges[i].second);
        }
        // The first one is chosen, with its details, as if clicked.
        QCOMPARE(PartitionTree(h)->currentIndex().data().toString(), kFoundItems[0]);
        QCOMPARE(h.Find<QLineEdit>("partitionStartField")->text(), QStringLiteral("63"));
        QCOMPARE(h.Find<QLineEdit>("partitionEndField")->text(), QStringLiteral("69695"));
        QCOMPARE(h.Find<QComboBox>("partitionTypeBox")->currentText(), QStringLiteral("FAT32"));
        QCOMPARE(run.detailsList.Cell(2, 1), std::string("FAT32"));
        QCOMPARE(Status(h), QString::fromUtf8(kSectorsInPartitionStatus));
        QVERIFY(!bar->isVisible());
        QCOMPARE(bar->Pos(), 100);
        QVERIFY(!h.Button("searchMorePartitionsButton")->isHidden());
        QVERIFY(h.Button("nextButton")->isEnabled());
        QVERIFY(h.messages->questions.empty());

        // The notice acts only while the disk page is left, once per visit.
        h.window->ReadFailureNotice();
        QVERIFY(!Searching(h, "stopSearchingPartitionsButton"));
        // Another search adds nothing already listed.
        h.Button("searchMorePartitionsButton")->click();
        QCOMPARE(Status(h), QString::fromUtf8(kStopStatus));
        QTRY_VERIFY_WITH_TIMEOUT(!Searching(h, "stopSearchingPartitionsButton"), kSearchTimeoutMs);
        QCOMPARE(TopChildren(PartitionTree(h)), kFoundItems);
        SaveWindowShot(*h.window, "partition_search_found.png");

        // Back lets the next visit of the disk page search again.
        h.window->OnBack();
        QCOMPARE(run.partitionSearchVisits, 1);
        QVERIFY(guard.Unchanged());
    }

    void searchMoreAddsWhatTheTableDoesNotList() {
        const QString image = MakeLostDisk(folder_, "one_listed.img", true, true);
        if (image.isEmpty()) {
            QSKIP("the fixture volumes were not made");
        }
        const ImageGuard guard(image.toStdString());
        WindowHarness h = OpenOn(image, folder_);
        QVERIFY(ChooseDisk(h, "advanceSearchButton"));
        h.window->OnNext();
        QVERIFY(!Searching(h, "stopSearchingPartitionsButton"));
        QCOMPARE(TopChildren(PartitionTree(h)), QStringList{kFoundItems[0]});
        h.Button("searchMorePartitionsButton")->click();
        QCOMPARE(Status(h), QString::fromUtf8(kStopStatus));
        QTRY_VERIFY_WITH_TIMEOUT(!Searching(h, "stopSearchingPartitionsButton"), kSearchTimeoutMs);
        QCOMPARE(TopChildren(PartitionTree(h)), kFoundItems);
        QVERIFY(TreeMatchesList(h));
        QCOMPARE(h.Run().diskPartitionLists[0].partitions[1].source,
                 PartitionSource::CylinderSearch);
        // Clicking a found partition shows it like a listed one.
        QVERIFY(ClickItem(PartitionTree(h), kFoundItems[2]));
        QCOMPARE(h.Find<QLineEdit>("partitionStartField")->text(), QString::number(8 * kCylinder));
        QCOMPARE(h.Find<QComboBox>("partitionTypeBox")->currentText(), QStringLiteral("NTFS"));
        QVERIFY(guard.Unchanged());
    }

    void stopQuestionAnsweredNoThenYes() {
        const QString image = MakeLostDisk(folder_, "stopped.img", true);
        if (image.isEmpty()) {
            QSKIP("the fixture volumes were not made");
        }
        const ImageGuard guard(image.toStdString());
        WindowHarness h = OpenOn(image, folder_);
        QVERIFY(ChooseDisk(h, "advanceSearchButton"));
        h.window->OnNext();
        QVERIFY(Searching(h, "stopSearchingPartitionsButton"));
        // The notice's search in Advance mode hides the type box while it runs.
        QVERIFY(h.Find<QComboBox>("partitionTypeBox")->isHidden());

        h.messages->answer = false;
        h.Button("stopSearchingPartitionsButton")->click();
        QCOMPARE(h.messages->questions, std::vector<QString>{QString::fromUtf8(kStopQuestion)});
        QVERIFY(Searching(h, "stopSearchingPartitionsButton"));
        QCOMPARE(Status(h), QString::fromUtf8(kCorruptedStatus));

        h.messages->answer = true;
        h.Button("stopSearchingPartitionsButton")->click();
        QCOMPARE(h.messages->questions.size(), std::size_t{2});
        QVERIFY(!Searching(h, "stopSearchingPartitionsButton"));
        QVERIFY(!h.Button("searchMorePartitionsButton")->isHidden());
        QVERIFY(!h.Find<QComboBox>("partitionTypeBox")->isHidden());
        QCOMPARE(Status(h), QString::fromUtf8(kSectorsInPartitionStatus));
        QVERIFY(h.Button("nextButton")->isEnabled());
        QVERIFY(h.Button("backButton")->isEnabled());
        // Whatever it found before the stop stays, each with its item.
        QVERIFY(TreeMatchesList(h));
        const QStringList kept = TopChildren(PartitionTree(h));
        // News the stopped search left queued adds nothing.
        QCoreApplication::sendPostedEvents();
        QCOMPARE(TopChildren(PartitionTree(h)), kept);
        QVERIFY(guard.Unchanged());
    }

    void scopeSwitchStopsWithoutAQuestion() {
        const QString image = MakeLostDisk(folder_, "scoped.img", true);
        if (image.isEmpty()) {
            QSKIP("the fixture volumes were not made");
        }
        const ImageGuard guard(image.toStdString());
        WindowHarness h = OpenOn(image, folder_);
        QVERIFY(ChooseDisk(h, "rawSearchButton"));
        h.window->OnNext();
        QVERIFY(!Searching(h, "rawStopSearchingPartitionsButton"));

        for (const char* away : {"sectorRangeButton", "entireDiskButton"}) {
            // An empty tree starts the search at once.
            h.Find<QRadioButton>("sectorsInPartitionButton")->click();
            QVERIFY2(Searching(h, "rawStopSearchingPartitionsButton"), away);
            QVERIFY2(h.Button("rawSearchMorePartitionsButton")->isHidden(), away);
            h.Find<QRadioButton>(away)->click();
            QVERIFY2(!Searching(h, "rawStopSearchingPartitionsButton"), away);
            QVERIFY2(h.messages->questions.empty(), away);
            QVERIFY2(h.Button("nextButton")->isEnabled(), away);
        }

        h.Find<QRadioButton>("sectorsInPartitionButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!Searching(h, "rawStopSearchingPartitionsButton"),
                                 kSearchTimeoutMs);
        QCOMPARE(TopChildren(PartitionTree(h)), kFoundItems);
        QCOMPARE(h.Find<QLineEdit>("rawStartField")->text(), QStringLiteral("63"));
        QCOMPARE(h.Find<QLineEdit>("rawEndField")->text(), QStringLiteral("69695"));
        QCOMPARE(Status(h), QString::fromUtf8(kSectorsInPartitionStatus));
        QVERIFY(h.messages->questions.empty());
        SaveWindowShot(*h.window, "partition_search_raw.png");
        QVERIFY(guard.Unchanged());
    }

    void backAndClosingStopTheSearch() {
        const QString image = MakeLostDisk(folder_, "closed.img", true);
        if (image.isEmpty()) {
            QSKIP("the fixture volumes were not made");
        }
        const ImageGuard guard(image.toStdString());
        WindowHarness h = OpenOn(image, folder_);
        QVERIFY(ChooseDisk(h, "standardSearchButton"));
        h.window->OnNext();
        QVERIFY(Searching(h, "stopSearchingPartitionsButton"));
        h.window->OnBack();
        QCOMPARE(h.Stage(), WizardStage::DiskPage);
        QVERIFY(!h.Run().partitionTree);
        QVERIFY(h.Run().diskPartitionLists[0].partitions.empty());
        QVERIFY(h.messages->questions.empty());

        QVERIFY(ChooseDisk(h, "standardSearchButton"));
        h.window->OnNext();
        QVERIFY(Searching(h, "stopSearchingPartitionsButton"));
        h.messages->answer = true;
        h.window->reject();
        QVERIFY(!h.window->isVisible());
        QVERIFY(h.Run().partitionSearchStop.stop_requested());
        // Only the exit question was asked.
        QCOMPARE(h.messages->questions.size(), std::size_t{1});
        h.window.reset();
        QVERIFY(guard.Unchanged());
    }

    void aDiskWithNothingEndsWithUnknownPartition() {
        const QString image = MakeLostDisk(folder_, "blank.img", false);
        QVERIFY(!image.isEmpty());
        WindowHarness h = OpenOn(image, folder_);
        QVERIFY(ChooseDisk(h, "standardSearchButton"));
        h.window->OnNext();
        for (int round = 0; round < 2; ++round) {
            QTRY_VERIFY_WITH_TIMEOUT(!Searching(h, "stopSearchingPartitionsButton"),
                                     kSearchTimeoutMs);
            QCOMPARE(TopChildren(PartitionTree(h)),
                     QStringList{QString::fromUtf8(kUnknownPartition)});
            QCOMPARE(h.Run().detailsList.Cell(2, 1), std::string(kUnknownPartition));
            QCOMPARE(h.Find<QLineEdit>("partitionStartField")->text(), QStringLiteral("0"));
            QCOMPARE(h.Find<QLineEdit>("partitionEndField")->text(),
                     QString::number(kDiskCylinders * kCylinder));
            // A second search leaves one such item, not two.
            h.Button("searchMorePartitionsButton")->click();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!Searching(h, "stopSearchingPartitionsButton"), kSearchTimeoutMs);
        h.Run().detailsList.Clear();
        QVERIFY(ClickItem(PartitionTree(h), QString::fromUtf8(kUnknownPartition)));
        QCOMPARE(h.Run().detailsList.Cell(2, 1), std::string(kUnknownPartition));
    }

    void biosPathReListsTheTableBehindTenSecondsOfBar() {
        const QString image = MakeLostDisk(folder_, "bios.img", true, true);
        if (image.isEmpty()) {
            QSKIP("the fixture volumes were not made");
        }
        auto clockOwned = std::make_unique<ManualStepClock>();
        ManualStepClock* clock = clockOwned.get();
        WindowHarness h = OpenOn(image, folder_, std::move(clockOwned));
        QVERIFY(ChooseDisk(h, "advanceSearchButton"));
        h.window->OnNext();
        h.Run().accessMode = 'F';
        auto* bar = h.Find<CTextProgressCtrl>("partitionSearchBar");

        h.Button("searchMorePartitionsButton")->click();
        QCOMPARE(clock->started, std::chrono::milliseconds(100));
        QCOMPARE(Status(h), QString::fromUtf8(kStopStatus));
        QVERIFY(!h.Button("nextButton")->isEnabled());
        QVERIFY(!h.Button("backButton")->isEnabled());
        QVERIFY(h.Find<QComboBox>("partitionTypeBox")->isHidden());
        QVERIFY(bar->isVisible());
        clock->Step(98);
        QCOMPARE(bar->Pos(), 98);
        QVERIFY(Searching(h, "stopSearchingPartitionsButton"));
        clock->Step(1);
        QVERIFY(!clock->Running());
        QVERIFY(!Searching(h, "stopSearchingPartitionsButton"));
        QVERIFY(!bar->isVisible());
        QCOMPARE(Status(h), QString::fromUtf8(kRelistedStatus));
        QVERIFY(h.Button("nextButton")->isEnabled());
        QVERIFY(h.Button("backButton")->isEnabled());
        QVERIFY(!h.Find<QComboBox>("partitionTypeBox")->isHidden());
        // It finds nothing beyond the table.
        QCOMPARE(TopChildren(PartitionTree(h)), QStringList{kFoundItems[0]});

        // Its stop asks nothing.
        h.Button("searchMorePartitionsButton")->click();
        clock->Step(10);
        h.Button("stopSearchingPartitionsButton")->click();
        QVERIFY(h.messages->questions.empty());
        QVERIFY(!clock->Running());
        QCOMPARE(Status(h), QString::fromUtf8(kSectorsInPartitionStatus));
        QVERIFY(h.Button("nextButton")->isEnabled());
    }
};

QTEST_MAIN(PartitionSearchTest)
#include "partition_search_test.moc"
