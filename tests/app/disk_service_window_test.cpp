#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/window_harness.h"
#include "service/system_disk_service.h"
#include "support/image_guard.h"
#include "support/private_disk_service.h"

using namespace lumarest;
using namespace lumarest::testing;

namespace {

const char* const kImageItem = "Disk image file (Disk0)";
using Answer = PrivateDiskService::Answer;

}  // namespace

// The window is given a blank disk of the image's size; only the descriptor the disk service
// hands over holds the image, so listed partitions prove the sectors came through it.
class DiskServiceWindowTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir folder_;
    std::string image_;
    std::string blank_;

    std::unique_ptr<PrivateDiskService> StartService(Answer answer) {
        auto service = std::make_unique<PrivateDiskService>(
            folder_.filePath(QStringLiteral("bus")).toStdString(), blank_, image_, answer);
        if (service->Running()) {
            qputenv("DBUS_SYSTEM_BUS_ADDRESS", QByteArray::fromStdString(service->Address()));
        }
        return service;
    }

    // The window on the blank disk with the standard search chosen and Next pressed.
    WindowHarness PressNext() {
        WizardEnvironment environment;
        environment.images = {blank_};
        environment.diskService = std::make_unique<SystemDiskService>();
        environment.alwaysAskDiskService = true;
        WindowHarness h = OpenWindow(std::move(environment), folder_);
        if (ClickItem(h.DiskTree(), QString::fromUtf8(kImageItem))) {
            h.Find<QRadioButton>("standardSearchButton")->click();
            h.window->OnNext();
        }
        return h;
    }

  private slots:
    void initTestCase() {
        QVERIFY(folder_.isValid());
        image_ = FixtureImage("mbr_layout.img");
        if (image_.empty()) {
            QSKIP("the MBR layout image was not made");
        }
        blank_ = folder_.filePath(QStringLiteral("blank.img")).toStdString();
        std::ofstream(blank_).close();
        std::filesystem::resize_file(blank_, std::filesystem::file_size(image_));
    }

    void cleanup() { qunsetenv("DBUS_SYSTEM_BUS_ADDRESS"); }

    void listsThePartitionsReadThroughTheHandedOverDescriptor() {
        const ImageGuard guard(image_);
        const auto service = StartService(Answer::ReadOnly);
        if (!service->Running()) {
            QSKIP("no private message bus can be started here");
        }
        WindowHarness h = PressNext();
        QVERIFY(h.messages->shown.empty());
        QCOMPARE(h.Stage(), WizardStage::Criteria);
        mytreectrl* tree = h.Find<mytreectrl>("PartitionTree");
        QCOMPARE(ChildTexts(tree, tree->model()->index(0, 0)).size(), 5);
        QCOMPARE(service->RequestedModes(), std::vector<std::string>{"r"});
        QVERIFY(guard.Unchanged());
    }

    void refusesWithTheWayOutAndStaysUsable_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("not authorised")
            << static_cast<int>(Answer::Refuse) << QStringLiteral("Not authorized");
        QTest::newRow("no service")
            << static_cast<int>(Answer::Absent) << QStringLiteral("gave no access");
        QTest::newRow("open for writing")
            << static_cast<int>(Answer::Writable) << QStringLiteral("open for writing");
    }

    void refusesWithTheWayOutAndStaysUsable() {
        QFETCH(int, answer);
        QFETCH(QString, mentions);
        const ImageGuard guard(image_);
        const auto service = StartService(static_cast<Answer>(answer));
        if (!service->Running()) {
            QSKIP("no private message bus can be started here");
        }
        WindowHarness h = PressNext();
        QCOMPARE(h.messages->shown.size(), std::size_t{1});
        const QString text = h.messages->shown[0].text;
        QCOMPARE(h.messages->shown[0].icon, MessageIcon::Error);
        QVERIFY2(text.contains(QStringLiteral("may not read")), qPrintable(text));
        QVERIFY2(text.contains(mentions), qPrintable(text));
        QCOMPARE(h.Stage(), WizardStage::DiskPage);
        QVERIFY(h.Button("nextButton")->isEnabled());
        QVERIFY(guard.Unchanged());
    }
};

QTEST_MAIN(DiskServiceWindowTest)
#include "disk_service_window_test.moc"
