#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <cstdlib>
#include <thread>

#include "app/thumbnail_sink.h"
#include "app/window_fakes.h"
#include "app/window_harness.h"
#include "app/window_reporter.h"
#include "app/wizard_window.h"
#include "carving/carved_verdict.h"
#include "carving/formats/carved_format.h"
#include "output/clip_picture.h"
#include "output/picture.h"
#include "support/encoded_picture.h"
#include "support/made_images.h"
#include "ui/range_slider.h"
#include "ui/text_progress_ctrl.h"
#include "ui/thumbs_list_ctrl.h"

using namespace lumarest;
using namespace lumarest::testing;

namespace {

CarvedFile Carved(const char* name, std::uint64_t position) {
    CarvedFile file;
    file.name = name;
    file.position = position;
    return file;
}

CarvedFile Judged(const char* name, std::uint64_t position, CarvedVerdict verdict,
                  std::uint64_t savedBytes = 0, std::uint64_t bytes = 0) {
    CarvedFile file = Carved(name, position);
    file.extension = QFileInfo(QString::fromUtf8(name)).suffix().toStdString();
    file.verdict = verdict;
    file.savedBytes = savedBytes;
    file.bytes = bytes;
    return file;
}

// A point of the mark's disc clear of its sign.
QColor MarkPixel(const QImage& picture) {
    return picture.pixelColor(CThumbsListCtrl::MarkCentre() + QPoint(0, -6));
}

QColor IconMarkPixel(const QListWidgetItem* item) {
    return MarkPixel(item->icon().pixmap(QSize(100, 80)).toImage());
}

QStringList Names(const std::vector<CarvedFile>& files) {
    QStringList names;
    for (const CarvedFile& file : files) {
        names << QString::fromStdString(file.name);
    }
    return names;
}

QImage PlaceholderThumbnail() {
    return PlaceholderPicture()
        .scaled(100, 80, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_RGB888);
}

}  // namespace

class RawControlsTest : public QObject {
    Q_OBJECT

  private slots:
    void thumbnailsTakeTheirPositionsAndTheImageListGrows() {
        CThumbsListCtrl list;
        list.resize(300, 200);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        const QImage red = FilledPicture(100, 80, Qt::red);
        list.AddThumbnail(red, QStringLiteral("GNLM00006.jpg"), 5);
        QCOMPARE(list.ImageCount(), 6);
        QCOMPARE(list.count(), 1);
        QCOMPARE(list.Image(5).pixelColor(50, 40), QColor(Qt::red));
        list.AddThumbnail(FilledPicture(100, 80, Qt::blue), QStringLiteral("GNLM00001.jpg"), 0);
        QCOMPARE(list.item(0)->text(), QStringLiteral("GNLM00001.jpg"));
        QCOMPARE(list.item(1)->text(), QStringLiteral("GNLM00006.jpg"));
        // A lower position shrinks the image list to it, as the list's own count rule says.
        QCOMPARE(list.ImageCount(), 1);

        list.Clear();
        QCOMPARE(list.count(), 0);
        QCOMPARE(list.ImageCount(), 0);
        for (int i = 0; i < 30; ++i) {
            list.AddThumbnail(red, QStringLiteral("GNLM%1.jpg").arg(i + 1, 5, 10, QChar('0')), i);
        }
        // Every third thumbnail moves the view down, so it follows the new ones.
        QScrollBar* bar = list.verticalScrollBar();
        QTRY_VERIFY(bar->value() > 0);
        QTRY_COMPARE(bar->value(), bar->maximum());

        // Scrolled back to look at the first pictures, the view stays there while more come;
        // back at the end, it follows them again.
        bar->triggerAction(QAbstractSlider::SliderToMinimum);
        const auto addMore = [&](int from) {
            for (int i = from; i < from + 30; ++i) {
                list.AddThumbnail(red, QStringLiteral("GNLM%1.jpg").arg(i + 1, 5, 10, QChar('0')),
                                  i);
            }
            QTest::qWait(20);
        };
        addMore(30);
        QCOMPARE(bar->value(), 0);
        bar->triggerAction(QAbstractSlider::SliderToMaximum);
        addMore(60);
        QTRY_COMPARE(bar->value(), bar->maximum());
        QVERIFY(bar->value() > 0);
    }

    // Decoded on the scan's thread: pictures squeezed to 100 x 80, exact ones kept, anything
    // else the placeholder; positions and names as handed over, the count exact at once.
    void sinkDecodesOffTheWindowThreadAndKeepsTheOrder() {
        CThumbsListCtrl list;
        ThumbnailSink sink(list, [] { return true; });
        const QImage exact = FilledPicture(100, 80, QColor(10, 200, 30));
        QImage wide = FilledPicture(640, 480, Qt::white);
        for (int x = 0; x < 320; ++x) {
            for (int y = 0; y < 480; ++y) {
                wide.setPixelColor(x, y, Qt::black);
            }
        }
        std::thread scan([&] {
            sink.FileFinished(Carved("GNLM00001.png", 0), EncodedPicture(exact, "png"));
            sink.FileFinished(Carved("GNLM00002.png", 1), EncodedPicture(wide, "png"));
            sink.FileFinished(Carved("GNLM00003.doc", 2), std::vector<std::uint8_t>(1024, 0x41));
        });
        scan.join();
        QCOMPARE(sink.ImageCount(), std::uint64_t{3});
        QTRY_COMPARE(list.count(), 3);
        QCOMPARE(list.item(2)->text(), QStringLiteral("GNLM00003.doc"));
        QCOMPARE(list.Image(0).pixelColor(50, 40), QColor(10, 200, 30));
        // Squeezed, proportions not kept: the black left half stays the left half.
        QCOMPARE(list.Image(1).size(), QSize(100, 80));
        QCOMPARE(list.Image(1).pixelColor(20, 40), QColor(Qt::black));
        QCOMPARE(list.Image(1).pixelColor(80, 40), QColor(Qt::white));
        const QImage placeholder =
            PlaceholderPicture()
                .scaled(100, 80, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                .convertToFormat(QImage::Format_RGB888);
        QCOMPARE(list.Image(2), placeholder);
    }

    // Each verdict's mark on the icon (the image list keeps the plain picture), the tooltip, and
    // the filter that keeps only complete pictures, also for thumbnails that come later.
    void marksTooltipsAndFilterFollowTheVerdict() {
        struct Row {
            CarvedFile file;
            bool decodes;
            bool keptByFilter;
        };
        const Row rows[] = {
            {Judged("GNLM00001.jpg", 0, CarvedVerdict::Complete, 1234567, 2000000), true, true},
            {Judged("GNLM00002.zip", 1, CarvedVerdict::Complete, 0, 4096), false, false},
            {Judged("GNLM00003.jpg", 2, CarvedVerdict::Truncated, 0, 8192), true, false},
            {Judged("GNLM00004.jpg", 3, CarvedVerdict::NotAPicture, 0, 512), false, false},
            {Judged("GNLM00005.mp3", 4, CarvedVerdict::Unchecked, 0, 512), false, false},
            {Judged("GNLM00006.png", 5, CarvedVerdict::Complete, 700, 1024), true, true},
        };
        const QColor grey(128, 128, 128);
        CThumbsListCtrl list;
        for (const Row& row : rows) {
            list.AddCarvedThumbnail(FilledPicture(100, 80, grey), row.file, row.decodes);
        }
        QCOMPARE(list.count(), int(std::size(rows)));
        QCOMPARE(list.item(0)->toolTip(),
                 QStringLiteral("GNLM00001.jpg\ncomplete\nSaved size: 1,234,567 bytes"));
        // Nothing known of the end: the size is all that was carved.
        QCOMPARE(list.item(2)->toolTip(),
                 QStringLiteral("GNLM00003.jpg\ntruncated\nSaved size: 8,192 bytes"));
        QCOMPARE(list.item(3)->toolTip().split('\n').at(1), QStringLiteral("not a picture"));
        QCOMPARE(list.item(4)->toolTip().split('\n').at(1), QStringLiteral("unchecked"));
        const QColor marks[] = {QColor(40, 160, 60),
                                QColor(40, 160, 60),
                                QColor(240, 140, 20),
                                QColor(210, 40, 40),
                                grey,
                                QColor(40, 160, 60)};
        for (int i = 0; i < list.count(); ++i) {
            QCOMPARE(IconMarkPixel(list.item(i)), marks[i]);
            QCOMPARE(MarkPixel(list.Image(i)), grey);
        }
        list.resize(480, 260);
        list.show();
        SaveWindowShot(list, "raw_marks.png");

        list.item(2)->setSelected(true);
        list.ShowOnlyComplete(true);
        QStringList kept;
        for (int i = 0; i < list.count(); ++i) {
            QCOMPARE(list.item(i)->isHidden(), !rows[i].keptByFilter);
            if (rows[i].keptByFilter) {
                kept << QString::fromStdString(rows[i].file.name);
            }
        }
        // A hidden thumbnail is no longer chosen: all shown ones are.
        QCOMPARE(Names(list.ChosenFiles()), kept);
        list.item(5)->setSelected(true);
        QCOMPARE(Names(list.ChosenFiles()), QStringList{QStringLiteral("GNLM00006.png")});
        QCOMPARE(list.ChosenFiles().front().savedBytes, std::uint64_t{700});
        list.AddCarvedThumbnail(FilledPicture(100, 80, grey),
                                Judged("GNLM00007.jpg", 6, CarvedVerdict::Truncated), true);
        QVERIFY(list.item(6)->isHidden());
        QCOMPARE(list.ShownCount(), 2);
        list.ShowOnlyComplete(false);
        QCOMPARE(list.ShownCount(), 7);
        list.clearSelection();
        QCOMPARE(list.ChosenFiles().size(), std::size_t{7});
    }

    // The sink decodes the first savedBytes bytes (all when the scan left it at 0) and judges
    // the file again by whether they decode.
    void sinkJudgesEachFileOnceDecoded() {
        const std::vector<std::uint8_t> jpeg =
            EncodedPicture(FilledPicture(64, 48, Qt::red), "jpg");
        std::vector<std::uint8_t> jpegAndFiller = jpeg;
        jpegAndFiller.resize(jpeg.size() + 4096, 0);
        const std::vector<std::uint8_t> png =
            EncodedPicture(FilledPicture(64, 48, Qt::blue), "png");
        std::vector<std::uint8_t> garbage = {0xFF, 0xD8, 0xFF, 0xE0};
        garbage.resize(2048, 0x41);
        const bool jpgPicture = IsPictureType("jpg");
        const bool pngPicture = IsPictureType("png");
        struct Row {
            CarvedFile file;
            std::vector<std::uint8_t> bytes;
            CarvedVerdict verdict;
            bool placeholder;
        } rows[] = {
            {Judged("GNLM00001.jpg", 0, CarvedVerdict::Complete, jpeg.size()), jpegAndFiller,
             CarvedVerdict::Complete, false},
            // Decoding never makes complete a picture whose end was not found.
            {Judged("GNLM00002.jpg", 1, CarvedVerdict::Unchecked), jpegAndFiller,
             CarvedVerdict::Truncated, false},
            {Judged("GNLM00003.jpg", 2, CarvedVerdict::Truncated), jpeg, CarvedVerdict::Truncated,
             false},
            {Judged("GNLM00004.jpg", 3, CarvedVerdict::Unchecked), garbage,
             VerdictAfterDecoding(CarvedVerdict::Unchecked, jpgPicture, false), true},
            // Only the saved bytes are decoded: a PNG cut to its signature is no picture.
            {Judged("GNLM00005.png", 4, CarvedVerdict::Truncated, 16), png,
             VerdictAfterDecoding(CarvedVerdict::Truncated, pngPicture, false), true},
        };
        CThumbsListCtrl list;
        {
            ThumbnailSink sink(list, [] { return true; });
            for (const Row& row : rows) {
                sink.FileFinished(row.file, row.bytes);
            }
        }
        QTRY_COMPARE(list.count(), int(std::size(rows)));
        const std::vector<CarvedFile> files = list.ChosenFiles();
        for (std::size_t i = 0; i < std::size(rows); ++i) {
            QCOMPARE(files[i].name, rows[i].file.name);
            QVERIFY2(files[i].verdict == rows[i].verdict, rows[i].file.name.c_str());
            QCOMPARE(list.Image(int(i)) == PlaceholderThumbnail(), rows[i].placeholder);
        }
    }

    // A type with no known end comes in pieces; its first piece is what is decoded, and a
    // piece of a file the scan dropped never stands in for a later file.
    void sinkDecodesAFileInPiecesFromItsFirstPiece() {
        const std::vector<std::uint8_t> png =
            EncodedPicture(FilledPicture(64, 48, Qt::blue), "png");
        const std::vector<std::uint8_t> tail(4096, 0x41);
        CThumbsListCtrl list;
        {
            ThumbnailSink sink(list, [] { return true; });
            QVERIFY(!sink.TakesPieces(Judged("GNLM00001.jpg", 0, CarvedVerdict::Unchecked)));
            const CarvedFile inPieces = Judged("GNLM00001.bin", 0, CarvedVerdict::Unchecked);
            QVERIFY(sink.TakesPieces(inPieces));
            sink.FileSpilled(inPieces, png);
            sink.FileSpilled(inPieces, tail);
            sink.FileFinished(inPieces, tail);
            sink.FileSpilled(Judged("GNLM00002.bin", 1, CarvedVerdict::Unchecked), png);
            sink.FileFinished(Judged("THLM00001.bin", 1, CarvedVerdict::Unchecked), tail);
        }
        QTRY_COMPARE(list.count(), 2);
        const std::vector<CarvedFile> files = list.ChosenFiles();
        // Its type knows no end, so a first piece that decodes shows, but never makes it complete.
        QVERIFY(files[0].verdict == CarvedVerdict::Unchecked);
        QVERIFY(list.Image(0) != PlaceholderThumbnail());
        QVERIFY(files[1].verdict == CarvedVerdict::Unchecked);
        QCOMPARE(list.Image(1), PlaceholderThumbnail());
    }

    // A clip in pieces is shown by its first frame, decoded from its first piece and its last
    // bytes (where its movie box is); one with no frame to decode by a strip of film.
    void sinkShowsAClipByItsFirstFrameOrAFilmStrip() {
        if (!ToolInstalled("ffmpeg")) {
            QSKIP("ffmpeg is not installed");
        }
        QTemporaryDir folder;
        const QString path = folder.filePath("clip.mp4");
        const QString command =
            "ffmpeg -loglevel error -f lavfi -i "
            "testsrc=duration=2:size=160x120:rate=10 -c:v mpeg4 -f mp4 '" +
            path + "'";
        QCOMPARE(std::system(command.toUtf8().constData()), 0);
        QFile made(path);
        QVERIFY(made.open(QIODevice::ReadOnly));
        const QByteArray data = made.readAll();
        const std::vector<std::uint8_t> clip(data.begin(), data.end());
        const std::size_t half = clip.size() / 2;
        const std::vector<std::uint8_t> head(clip.begin(), clip.begin() + half);
        const std::vector<std::uint8_t> middle(clip.begin() + half, clip.end() - 4096);
        const std::vector<std::uint8_t> tail(clip.end() - 4096, clip.end());
        const std::vector<std::uint8_t> frameless(8192, 0x41);
        CThumbsListCtrl list;
        {
            ThumbnailSink sink(list, [] { return true; });
            const CarvedFile inPieces =
                Judged("GNLM00001.mp4", 0, CarvedVerdict::Complete, clip.size(), clip.size());
            QVERIFY(sink.TakesPieces(inPieces));
            sink.FileSpilled(inPieces, head);
            sink.FileSpilled(inPieces, middle);
            sink.FileFinished(inPieces, tail);
            sink.FileFinished(Judged("GNLM00002.mp4", 1, CarvedVerdict::Complete, 8192, 8192),
                              frameless);
        }
        QTRY_COMPARE(list.count(), 2);
        QVERIFY(list.Image(0) != PlaceholderThumbnail());
        const QImage strip =
            FilmStripPicture(std::nullopt, QSize(kThumbnailWidth, kThumbnailHeight))
                .convertToFormat(QImage::Format_RGB888);
        QCOMPARE(list.Image(1), strip);
        QVERIFY(list.Image(0) != strip);
    }

    // However many threads decode, the list takes the thumbnails in the order of their
    // positions; a stopped scan never waits for room, and what was not decoded yet still
    // comes, with the placeholder and the scan's verdict, before the sink is gone.
    void sinkKeepsThePositionsWhateverThePool() {
        const std::vector<std::uint8_t> png =
            EncodedPicture(FilledPicture(300, 200, Qt::blue), "png");
        struct Row {
            unsigned decoders;
            bool stopped;
        };
        for (const Row row : {Row{1, false}, Row{3, false}, Row{2, true}}) {
            constexpr int kFiles = int(ThumbnailSink::kMostWaitingFiles) * 3;
            CThumbsListCtrl list;
            std::stop_source stop;
            if (row.stopped) {
                stop.request_stop();
            }
            {
                ThumbnailSink sink(
                    list, [] { return true; }, stop.get_token(), row.decoders);
                std::thread scan([&] {
                    for (int i = 0; i < kFiles; ++i) {
                        const std::string name = QStringLiteral("GNLM%1.png")
                                                     .arg(i + 1, 5, 10, QChar('0'))
                                                     .toStdString();
                        sink.FileFinished(Judged(name.c_str(), i, CarvedVerdict::Truncated),
                                          i % 2 == 0 ? png : std::vector<std::uint8_t>(512, 0));
                    }
                });
                scan.join();
                QCOMPARE(sink.ImageCount(), std::uint64_t(kFiles));
            }
            QTRY_COMPARE(list.count(), kFiles);
            for (int i = 0; i < kFiles; ++i) {
                QCOMPARE(list.item(i)->text(),
                         QStringLiteral("GNLM%1.png").arg(i + 1, 5, 10, QChar('0')));
                const bool decoded = !row.stopped && i % 2 == 0;
                QCOMPARE(list.Image(i) == PlaceholderThumbnail(), !decoded);
            }
        }
    }

    void sinkDropsThumbnailsTheWindowNoLongerWants() {
        CThumbsListCtrl list;
        bool wanted = true;
        ThumbnailSink sink(list, [&] { return wanted; });
        sink.FileFinished(Carved("GNLM00001.jpg", 0), {});
        wanted = false;
        QTest::qWait(20);
        QCOMPARE(list.count(), 0);
        QCOMPARE(sink.ImageCount(), std::uint64_t{1});
    }

    void sliderKeepsItsEdgesInOrderAndInside() {
        CRangeSlider slider;
        slider.SetMinMax(0, 1000);
        slider.SetRange(-5, 2000);
        QCOMPARE(slider.Left(), 0.0);
        QCOMPARE(slider.Right(), 1000.0);
        slider.SetRange(700, 200);
        QCOMPARE(slider.Left(), 200.0);
        QCOMPARE(slider.Right(), 700.0);
        slider.SetVisualMinMax(300, 100);
        QCOMPARE(slider.VisualMin(), 100.0);
        // Inverted, the values are stored negated.
        slider.SetInverted(true);
        QCOMPARE(slider.Left(), -700.0);
        QCOMPARE(slider.Right(), -200.0);
        QCOMPARE(slider.Min(), -1000.0);
    }

    void sliderTellsOnlyWhatTheUserMoved() {
        CRangeSlider slider;
        slider.resize(400, 40);
        slider.SetMinMax(0, 400);
        slider.SetRange(0, 400);
        QSignalSpy moved(&slider, &CRangeSlider::RangeChanged);
        slider.SetRange(10, 390);
        QCOMPARE(moved.count(), 0);
        slider.setFocus();
        QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(8, 16));
        QTest::keyClick(&slider, Qt::Key_Right);
        QVERIFY(moved.count() >= 1);
        QCOMPARE(moved.last().at(0).toDouble(), slider.Left());
        QVERIFY(slider.Left() > 0 && slider.Left() <= slider.Right());
        // A thumb never passes the other one.
        QTest::keyClick(&slider, Qt::Key_End);
        QCOMPARE(slider.Left(), slider.Right());
    }

    // A worker's progress never waits for the screen, the latest value wins, and a box the
    // window has not shown yet gives way when the worker is stopped.
    void workerReportsDoNotHoldTheWorkerBack() {
        QTemporaryDir folder;
        WizardEnvironment environment;
        auto messages = std::make_unique<ScriptedMessages>();
        ScriptedMessages* shown = messages.get();
        environment.messages = std::move(messages);
        environment.shell = std::make_unique<RecordingShell>();
        environment.dialogs = std::make_unique<FakeDialogs>();
        environment.disks = std::make_unique<FakeDisks>();
        environment.parameterStorePath = folder.filePath(QStringLiteral("store.ini")).toStdString();
        CChildDialogExDemoDlg window(std::move(environment));
        auto& reporter = static_cast<WindowReporter&>(window.WindowReport());

        std::stop_source stop;
        std::atomic<bool> done{false};
        std::thread worker([&] {
            for (int percent = 0; percent <= 100; ++percent) {
                reporter.SetProgress(ProgressBar::MainScan, percent, "Completed ");
            }
            WorkerReporter own(reporter, stop.get_token());
            own.ShowMessage("never read", MessageIcon::Error);
            done = true;
        });
        // The window's thread is busy here, so the box waits; the stop lets the worker go.
        QTest::qSleep(50);
        QVERIFY(!done.load());
        stop.request_stop();
        worker.join();
        QVERIFY(done.load());
        reporter.Flush();
        auto* bar = window.findChild<CTextProgressCtrl*>("mainScanBar");
        QCOMPARE(bar->Pos(), 100);
        QCOMPARE(bar->ShownText(), QStringLiteral("Completed 100%"));
        QTest::qWait(20);
        // The box still comes up once the window gets to it: the message is not lost.
        QCOMPARE(shown->shown.size(), std::size_t{1});
    }
};

QTEST_MAIN(RawControlsTest)
#include "raw_controls_test.moc"
