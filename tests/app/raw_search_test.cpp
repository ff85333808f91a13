#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/window_harness.h"
#include "carving/formats/capture_time.h"
#include "support/image_guard.h"
#include "support/media_samples.h"
#include "ui/range_slider.h"
#include "ui/text_progress_ctrl.h"
#include "ui/thumbs_list_ctrl.h"

using namespace lumarest;
using namespace lumarest::testing;

namespace {

const char* const kImageItem = "Disk image file (Disk0)";
const char* const kRunningStatus =
    "To Stop recovery, click on 'Stop' Button or please wait for the process to be completed.";
const char* const kEndedStatus = "To select another disk for recovery, click on ‘Back’ Button.";
const char* const kSectorRangeStatus =
    "‘Sector Range’ option provides facility to specify the range of start and end sectors of "
    "storage media within which you want to perform searching for lost data. Please drag Left "
    "and Right edges of Slider to enter sector range or you can also enter these values in "
    "‘Start Sector’ and ‘End Sector’ fields manually.";
const char* const kEndAboveMaximum =
    "The value of ‘End Sectors’ cannot be greater than the maximum number of sectors in drive.";
// A scan stays this long at most in a test; a stuck one fails instead of hanging.
constexpr int kScanTimeoutMs = 60000;

// The demo image's JPEG headers are JFIF: a thorough list of that one record carves them again.
const char* const kJfifThoroughList =
    "Extension:.jpg\nSize:16777216\nSignature:FFD8FFE0\nDescription:JPEG picture, JFIF\n";

QStringList ThumbnailNames(const CThumbsListCtrl* list) {
    QStringList names;
    for (int row = 0; row < list->count(); ++row) {
        names << list->item(row)->text();
    }
    return names;
}

QString CarvedName(const char* prefix, int number) {
    return QStringLiteral("%1%2.jpg").arg(QString::fromUtf8(prefix)).arg(number, 5, 10, QChar('0'));
}

}  // namespace

class RawSearchTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir folder_;
    std::string demo_;

    // The raw criteria page of `image`, with the signature files the program ships beside it
    // and, when given, a thorough list of its own.
    WindowHarness OpenRawCriteria(const std::string& image, const char* thoroughList = nullptr) {
        const QString program = folder_.filePath(QStringLiteral("program"));
        QDir().mkpath(program);
        for (const char* file : {"LMXExt2.dll", "LMXExt2Adv.dll"}) {
            const QString target = QDir(program).filePath(QString::fromUtf8(file));
            QFile::remove(target);
            QFile::copy(QDir(QStringLiteral(LUMAREST_BIN_DIR)).filePath(QString::fromUtf8(file)),
                        target);
        }
        if (thoroughList != nullptr) {
            QFile thorough(QDir(program).filePath(QStringLiteral("LMXExt2Adv.dll")));
            thorough.open(QIODevice::WriteOnly | QIODevice::Truncate);
            thorough.write(thoroughList);
        }
        WindowHarness h = OpenOnImages({image}, folder_);
        if (ClickItem(h.Find<mytreectrl>("DiskTree"), QString::fromUtf8(kImageItem))) {
            h.window->OnNext();
        }
        return h;
    }

    static CThumbsListCtrl* Thumbs(const WindowHarness& h) {
        return h.Find<CThumbsListCtrl>("ThumbsList");
    }
    static QPushButton* Button(const WindowHarness& h, const char* name) {
        return h.Find<QPushButton>(name);
    }
    static bool Running(const WindowHarness& h) {
        return !Button(h, "stopSearchButton")->isHidden();
    }
    // Next, then the end of the scan, shown by the completion box.
    static void SearchToTheEnd(const WindowHarness& h) {
        const int boxes = h.dialogs->searchCompletedBoxes;
        h.window->OnNext();
        QTRY_COMPARE_WITH_TIMEOUT(h.dialogs->searchCompletedBoxes, boxes + 1, kScanTimeoutMs);
    }

  private slots:
    void initTestCase() {
        QVERIFY(folder_.isValid());
        demo_ = FixtureImage("demo.img");
    }

    void wholeDemoImageShowsEveryCarvedPictureAndSavesIt() {
        if (demo_.empty()) {
            QSKIP("the demo image was not made");
        }
        const ImageGuard guard(demo_);
        WindowHarness h = OpenRawCriteria(demo_);
        QCOMPARE(h.Stage(), WizardStage::Criteria);
        h.Find<QCheckBox>("thoroughBox")->setChecked(false);
        const QString destination = folder_.filePath(QStringLiteral("saved"));
        QVERIFY(QDir().mkpath(destination));
        h.dialogs->folder = destination;
        Button(h, "browseButton")->click();
        QCOMPARE(h.dialogs->notices, 1);

        QElapsedTimer clock;
        clock.start();
        h.window->OnNext();
        QCOMPARE(h.Stage(), WizardStage::RawResults);
        QCOMPARE(h.Run().statusText, std::string(kRunningStatus));
        QVERIFY(!Button(h, "nextButton")->isEnabled());
        QVERIFY(!Button(h, "backButton")->isEnabled());
        QVERIFY(Thumbs(h)->isVisible());
        QVERIFY(!h.Find<QWidget>("rawStartField")->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(h.dialogs->searchCompletedBoxes, 1, kScanTimeoutMs);
        qInfo("raw search of the demo image, saving: %lld ms", clock.elapsed());

        const QStringList names = ThumbnailNames(Thumbs(h));
        QVERIFY2(names.size() >= 9, qPrintable(names.join(' ')));
        QCOMPARE(Thumbs(h)->ImageCount(), names.size());
        for (int i = 0; i < names.size(); ++i) {
            QVERIFY2(names[i].startsWith(QStringLiteral("GNLM%1").arg(i + 1, 5, 10, QChar('0'))),
                     qPrintable(names[i]));
        }
        QCOMPARE(names.first(), CarvedName("GNLM", 1));
        QCOMPARE(Thumbs(h)->Image(0).size(), QSize(100, 80));
        // The end of the search.
        QCOMPARE(h.Run().statusText, std::string(kEndedStatus));
        QVERIFY(Button(h, "openContainingFolderButton")->isVisible());
        QVERIFY(!Button(h, "stopSearchButton")->isVisible());
        QVERIFY(Button(h, "backButton")->isEnabled());
        QVERIFY(!h.Find<CTextProgressCtrl>("mainScanBar")->isVisible());
        QVERIFY(h.messages->shown.empty());
        // Every file went into the destination under its carved name.
        const QStringList saved = QDir(destination).entryList(QDir::Files, QDir::Name);
        QCOMPARE(saved, names);
        Button(h, "openContainingFolderButton")->click();
        QCOMPARE(h.shell->opened.size(), std::size_t{1});
        QCOMPARE(h.shell->opened.back(), QUrl::fromLocalFile(destination));
        // No program for folders: a box says so and offers another program, not a parent.
        h.shell->refuses = [](const QUrl&) { return true; };
        h.messages->failedOpenAnswer = OpenFailedChoice::OpenWith;
        Button(h, "openContainingFolderButton")->click();
        QCOMPARE(h.messages->failedOpens.size(), std::size_t{1});
        QVERIFY(!h.messages->failedOpens[0].folderOffered);
        QVERIFY(h.messages->failedOpens[0].text.contains(QStringLiteral("folder")));
        QCOMPARE(h.shell->openedWith, std::vector<QUrl>{QUrl::fromLocalFile(destination)});
        h.shell->refuses = nullptr;
        SaveWindowShot(*h.window, "raw_done.png");

        // Back finds the criteria page as it was left, with the list emptied.
        h.window->OnBack();
        QCOMPARE(h.Stage(), WizardStage::Criteria);
        QVERIFY(!Thumbs(h)->isVisible());
        QCOMPARE(Thumbs(h)->count(), 0);
        QCOMPARE(Thumbs(h)->ImageCount(), 0);
        QVERIFY(!Button(h, "openContainingFolderButton")->isVisible());
        QVERIFY(h.Find<QRadioButton>("entireDiskButton")->isChecked());
        QVERIFY(h.Find<QWidget>("rawStartField")->isVisible());
        QVERIFY(h.Find<QWidget>("destinationField")->isVisible());
        QVERIFY(Button(h, "nextButton")->isEnabled());
        QVERIFY(guard.Unchanged());
    }

    // Ticked, the box names what is saved by when it was taken; a file that does not say keeps
    // its carved name.
    void savedFilesAreNamedByDateWhenTicked() {
        const MediaBytes dated = JpegWithExifDate("2024:07:14 10:30:22");
        MediaBytes disk(4 * 512, 0);
        disk.insert(disk.end(), dated.begin(), dated.end());
        disk.resize(16 * 512, 0);
        const QString image = folder_.filePath(QStringLiteral("dated.img"));
        QFile file(image);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(disk.data()), static_cast<qint64>(disk.size()));
        file.close();
        const QString destination = folder_.filePath(QStringLiteral("by_date"));
        QVERIFY(QDir().mkpath(destination));

        WindowHarness h = OpenRawCriteria(image.toStdString());
        h.Find<QCheckBox>("thoroughBox")->setChecked(false);
        h.Find<QCheckBox>("nameByDateBox")->setChecked(true);
        h.dialogs->folder = destination;
        Button(h, "browseButton")->click();
        SearchToTheEnd(h);
        const auto taken = CaptureSeconds("jpg", dated);
        QVERIFY(taken.has_value());
        const QStringList expected = {QString::fromStdString(DatedFileName(*taken, "jpg"))};
        QCOMPARE(QDir(destination).entryList(QDir::Files), expected);
    }

    void thoroughFilesFollowTheGeneralOnesOnlyWhenTicked() {
        if (demo_.empty()) {
            QSKIP("the demo image was not made");
        }
        const ImageGuard guard(demo_);
        WindowHarness h = OpenRawCriteria(demo_, kJfifThoroughList);
        QVERIFY(h.Find<QCheckBox>("thoroughBox")->isChecked());
        SearchToTheEnd(h);
        const QStringList names = ThumbnailNames(Thumbs(h));
        const qsizetype general = names.filter(QStringLiteral("GNLM")).size();
        const qsizetype thorough = names.filter(QStringLiteral("THLM")).size();
        QVERIFY(general > 0);
        QVERIFY(thorough > 0);
        QCOMPARE(general + thorough, names.size());
        // The thorough pass starts where the general one left the list.
        QCOMPARE(names[general], CarvedName("THLM", 1));
        QCOMPARE(names.last(), CarvedName("THLM", static_cast<int>(thorough)));
        QCOMPARE(Thumbs(h)->ImageCount(), names.size());

        h.window->OnBack();
        h.Find<QCheckBox>("thoroughBox")->setChecked(false);
        SearchToTheEnd(h);
        QVERIFY(ThumbnailNames(Thumbs(h)).filter(QStringLiteral("THLM")).isEmpty());
        QCOMPARE(ThumbnailNames(Thumbs(h)).size(), general);
        QVERIFY(guard.Unchanged());
    }

    // A record with no signature bytes would make every sector a file: a box names its file
    // and line, and the search goes on with the other records.
    void aRecordWithNoSignatureBytesIsLeftOutWithABox() {
        if (demo_.empty()) {
            QSKIP("the demo image was not made");
        }
        const ImageGuard guard(demo_);
        const std::string list = std::string(kJfifThoroughList) +
                                 "Extension:.all\nSize:512\nSignature:\nDescription:none\n";
        WindowHarness h = OpenRawCriteria(demo_, list.c_str());
        QCOMPARE(h.messages->shown.size(), std::size_t{1});
        const QString text = h.messages->shown[0].text;
        QVERIFY2(text.contains(QStringLiteral("LMXExt2Adv.dll, line 7:")), qPrintable(text));
        QCOMPARE(h.messages->shown[0].icon, MessageIcon::Warning);
        QCOMPARE(h.Stage(), WizardStage::Criteria);
        SearchToTheEnd(h);
        const QStringList names = ThumbnailNames(Thumbs(h));
        QVERIFY(!names.filter(QStringLiteral("THLM")).isEmpty());
        QVERIFY(names.filter(QStringLiteral(".all")).isEmpty());
        QVERIFY(guard.Unchanged());
    }

    void stopKeepsTheThumbnailsShownSoFar() {
        if (demo_.empty()) {
            QSKIP("the demo image was not made");
        }
        // The demo's first pictures followed by a long run of empty sectors: a scan that
        // takes long enough to be stopped after its first thumbnail.
        const QString slow = folder_.filePath(QStringLiteral("slow.img"));
        {
            QFile source(QString::fromStdString(demo_));
            QVERIFY(source.open(QIODevice::ReadOnly));
            QFile target(slow);
            QVERIFY(target.open(QIODevice::WriteOnly | QIODevice::Truncate));
            target.write(source.read(8 << 20));
            QVERIFY(target.resize(qint64{256} << 20));
        }
        const ImageGuard guard(slow.toStdString());
        WindowHarness h = OpenRawCriteria(slow.toStdString());
        CThumbsListCtrl* list = Thumbs(h);
        bool stopAsked = false;
        connect(list->model(), &QAbstractItemModel::rowsInserted, list, [&] {
            if (!stopAsked) {
                stopAsked = true;
                QTimer::singleShot(0, h.window.get(), [&] { h.window->OnStopSearch(); });
            }
        });
        h.window->OnNext();
        QVERIFY(Running(h));
        QTRY_COMPARE_WITH_TIMEOUT(h.dialogs->searchEnded.size(), std::size_t{1}, kScanTimeoutMs);
        QVERIFY(!Running(h));
        const int kept = list->count();
        // The box says it was stopped and what was kept, not that the search completed.
        QCOMPARE(h.dialogs->searchCompletedBoxes, 0);
        const SearchEndNotice& stopped = h.dialogs->searchEnded[0];
        QCOMPARE(stopped.heading, std::string("Searching of files was stopped."));
        QVERIFY2(stopped.lines[0].ends_with("What it found is kept: " + std::to_string(kept) +
                                            (kept == 1 ? " file." : " files.")),
                 stopped.lines[0].c_str());
        QVERIFY(kept >= 1);
        QCOMPARE(list->item(0)->text(), CarvedName("GNLM", 1));
        // Stopped midway, not at the end of the range.
        QVERIFY(h.Find<CTextProgressCtrl>("mainScanBar")->Pos() < 100);
        QCOMPARE(h.Run().statusText, std::string(kEndedStatus));
        QVERIFY(Button(h, "backButton")->isEnabled());
        QVERIFY(Button(h, "openContainingFolderButton")->isVisible());
        QVERIFY(h.Run().scanStop.stop_requested());
        // Nothing more arrives after the stop.
        QTest::qWait(100);
        QCOMPARE(list->count(), kept);
        QCOMPARE(h.dialogs->searchEnded.size(), std::size_t{1});
        // Nothing chosen to save into: the button says so instead of opening anything.
        Button(h, "openContainingFolderButton")->click();
        QVERIFY(h.shell->opened.empty());
        QCOMPARE(h.messages->shown.size(), std::size_t{1});
        QVERIFY(guard.Unchanged());
    }

    void closingMidScanStopsTheWorkerFirst() {
        if (demo_.empty()) {
            QSKIP("the demo image was not made");
        }
        const QString slow = folder_.filePath(QStringLiteral("slow2.img"));
        {
            QFile target(slow);
            QVERIFY(target.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QVERIFY(target.resize(qint64{2} << 30));
        }
        WindowHarness h = OpenRawCriteria(slow.toStdString());
        h.window->OnNext();
        QVERIFY(Running(h));
        QTest::qWait(50);
        h.messages->answer = true;
        h.window->reject();
        QVERIFY(h.Run().scanStop.stop_requested());
        h.window.reset();
    }

    void destinationIsCheckedBeforeTheSearchStarts() {
        if (demo_.empty()) {
            QSKIP("the demo image was not made");
        }
        WindowHarness h = OpenRawCriteria(demo_);
        const QString missing = folder_.filePath(QStringLiteral("no-such-folder"));
        h.Find<QLineEdit>("destinationField")->setText(missing);
        h.window->OnNext();
        QCOMPARE(h.Stage(), WizardStage::Criteria);
        QCOMPARE(h.messages->shown.size(), std::size_t{1});
        QVERIFY(h.messages->shown[0].text.contains(missing));
        QCOMPARE(h.messages->shown[0].icon, MessageIcon::Error);
        QVERIFY(Button(h, "nextButton")->isEnabled());
        QVERIFY(Button(h, "backButton")->isEnabled());
        QVERIFY(!Running(h));
    }

    void sliderAndItsFieldsStayInStep() {
        if (demo_.empty()) {
            QSKIP("the demo image was not made");
        }
        const ImageGuard guard(demo_);
        WindowHarness h = OpenRawCriteria(demo_);
        const qint64 sectors = QFileInfo(QString::fromStdString(demo_)).size() / 512;
        h.Find<QRadioButton>("sectorRangeButton")->click();
        QCOMPARE(h.Run().statusText, std::string(kSectorRangeStatus));
        auto* slider = h.Find<CRangeSlider>("rangeSlider");
        auto* minField = h.Find<QLineEdit>("sliderMinField");
        auto* startField = h.Find<QLineEdit>("sliderStartField");
        auto* endField = h.Find<QLineEdit>("sliderEndField");
        auto* maxField = h.Find<QLineEdit>("sliderMaxField");
        QVERIFY(slider->isVisible());
        QVERIFY(!h.Find<QWidget>("rawStartField")->isVisible());
        QCOMPARE(minField->text(), QStringLiteral("0"));
        QCOMPARE(startField->text(), QStringLiteral("0"));
        QCOMPARE(endField->text(), QString::number(sectors));
        QCOMPARE(maxField->text(), QString::number(sectors));
        QVERIFY(!minField->isEnabled());
        QVERIFY(!maxField->isEnabled());
        QCOMPARE(slider->Max(), double(sectors));

        // Dragging the right thumb to the middle writes the edge into "End Sector".
        const QPoint right(slider->width() - 7, slider->height() / 2 - 4);
        QTest::mousePress(slider, Qt::LeftButton, {}, right);
        QTest::mouseMove(slider, QPoint(slider->width() / 2, right.y()));
        QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(slider->width() / 2, right.y()));
        QVERIFY(slider->Right() < sectors);
        QCOMPARE(endField->text(), QString::number(qint64(slider->Right())));
        QCOMPARE(startField->text(), QStringLiteral("0"));

        // Typed fields move the slider; a start past the end leaves it alone.
        startField->clear();
        QTest::keyClicks(startField, QStringLiteral("100"));
        endField->clear();
        QTest::keyClicks(endField, QStringLiteral("5000"));
        QCOMPARE(slider->Left(), 100.0);
        QCOMPARE(slider->Right(), 5000.0);
        // Each keystroke is an edit: "9", "90" and "900" move the slider, "9000" does not.
        startField->clear();
        QTest::keyClicks(startField, QStringLiteral("9000"));
        QCOMPARE(startField->text(), QStringLiteral("9000"));
        QCOMPARE(slider->Left(), 900.0);
        QCOMPARE(slider->Right(), 5000.0);

        // An end past the disk is refused; a reversed range too.
        endField->setText(QString::number(sectors + 1));
        h.window->OnNext();
        QCOMPARE(h.messages->shown.back().text, QString::fromUtf8(kEndAboveMaximum));
        QCOMPARE(h.Stage(), WizardStage::Criteria);
        endField->setText(QStringLiteral("5000"));
        h.window->OnNext();
        QCOMPARE(h.messages->shown.back().text,
                 QStringLiteral("End Sector should be greater than Start Sector."));
        QCOMPARE(h.Stage(), WizardStage::Criteria);
        QVERIFY(Button(h, "nextButton")->isEnabled());
        SaveWindowShot(*h.window, "sector_range.png");

        // A short range is searched, and Back comes to "Sector Range" with its fields.
        startField->setText(QStringLiteral("3000"));
        endField->setText(QStringLiteral("5000"));
        SearchToTheEnd(h);
        QCOMPARE(h.Run().rawFirstSector, 3000);
        QCOMPARE(h.Run().rawLastSector, 5000);
        QVERIFY(Thumbs(h)->count() >= 1);
        h.window->OnBack();
        QVERIFY(h.Find<QRadioButton>("sectorRangeButton")->isChecked());
        QVERIFY(slider->isVisible());
        QCOMPARE(startField->text(), QStringLiteral("3000"));
        QCOMPARE(h.Run().statusText, std::string(kSectorRangeStatus));
        QVERIFY(guard.Unchanged());
    }

    void sectorsInPartitionTakesTheChosenPartition() {
        if (demo_.empty()) {
            QSKIP("the demo image was not made");
        }
        const ImageGuard guard(demo_);
        WindowHarness h = OpenRawCriteria(demo_);
        h.Find<QRadioButton>("sectorsInPartitionButton")->click();
        auto* tree = h.Find<mytreectrl>("PartitionTree");
        QVERIFY(tree->isVisible());
        // The first partition is chosen at once; a click chooses another.
        QCOMPARE(h.Find<QLineEdit>("rawStartField")->text(), QStringLiteral("2048"));
        QCOMPARE(h.Find<QLineEdit>("rawEndField")->text(), QStringLiteral("71680"));
        QVERIFY(ClickItem(tree, QStringLiteral("Partition - 2 ( FAT16 )")));
        QCOMPARE(h.Find<QLineEdit>("rawStartField")->text(), QStringLiteral("71680"));
        QCOMPARE(h.Find<QLineEdit>("rawEndField")->text(), QStringLiteral("104448"));
        SearchToTheEnd(h);
        QCOMPARE(h.Run().rawFirstSector, 71680);
        QCOMPARE(h.Run().rawLastSector, 104448);
        QVERIFY(Thumbs(h)->count() >= 1);
        h.window->OnBack();
        QVERIFY(tree->isVisible());
        QVERIFY(h.Find<QRadioButton>("sectorsInPartitionButton")->isChecked());
        // "Entire Disk" puts the tree away and takes the whole disk again.
        h.Find<QRadioButton>("entireDiskButton")->click();
        QVERIFY(!tree->isVisible());
        QCOMPARE(h.Find<QLineEdit>("rawStartField")->text(), QStringLiteral("0"));
        QVERIFY(guard.Unchanged());
    }

    // The slider is 32-bit: a disk past it is covered by "Sector Range" up to the slider's end
    // and by the other scopes whole.
    void diskPastTheSliderKeepsItsWholeRangeElsewhere() {
        const QString device = folder_.filePath(QStringLiteral("large.img"));
        {
            QFile file(device);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QVERIFY(file.resize(1 << 20));
        }
        constexpr std::uint64_t kSectors = 3000000000;
        auto disks = std::make_unique<FakeDisks>();
        disks->disks.push_back(FakeDisks::Disk(0, "Fixed hard disk media", "Large Disk", kSectors,
                                               device.toStdString()));
        WizardEnvironment environment;
        auto dialogs = std::make_unique<FakeDialogs>();
        auto messages = std::make_unique<ScriptedMessages>();
        environment.dialogs = std::move(dialogs);
        environment.messages = std::move(messages);
        environment.shell = std::make_unique<RecordingShell>();
        environment.disks = std::move(disks);
        environment.parameterStorePath =
            folder_.filePath(QStringLiteral("large.ini")).toStdString();
        CChildDialogExDemoDlg window(std::move(environment));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(ClickItem(window.findChild<mytreectrl*>(QStringLiteral("DiskTree")),
                          QStringLiteral("Fixed hard disk media (Disk0)")));
        window.OnNext();
        QCOMPARE(window.findChild<QLineEdit*>(QStringLiteral("rawEndField"))->text(),
                 QStringLiteral("3000000000"));
        window.findChild<QRadioButton*>(QStringLiteral("sectorRangeButton"))->click();
        QCOMPARE(window.findChild<QLineEdit*>(QStringLiteral("sliderMaxField"))->text(),
                 QStringLiteral("2147483647"));
        QCOMPARE(window.findChild<CRangeSlider*>(QStringLiteral("rangeSlider"))->Right(),
                 2147483647.0);
    }
};

QTEST_MAIN(RawSearchTest)
#include "raw_search_test.moc"
