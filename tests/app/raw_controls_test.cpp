#include <QBuffer>
#include <QImageWriter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <thread>

#include "app/thumbnail_sink.h"
#include "app/window_fakes.h"
#include "app/window_reporter.h"
#include "app/wizard_window.h"
#include "output/picture.h"
#include "ui/range_slider.h"
#include "ui/text_progress_ctrl.h"
#include "ui/thumbs_list_ctrl.h"

using namespace lumarest;
using namespace lumarest::testing;

namespace {

std::vector<std::uint8_t> Encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.write(image);
    return {bytes.begin(), bytes.end()};
}

QImage Filled(int width, int height, QColor colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

CarvedFile Carved(const char* name, std::uint64_t position) {
    CarvedFile file;
    file.name = name;
    file.position = position;
    return file;
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
        const QImage red = Filled(100, 80, Qt::red);
        list.AddThumbnail(red, QStringLiteral("GNLM00006.jpg"), 5);
        QCOMPARE(list.ImageCount(), 6);
        QCOMPARE(list.count(), 1);
        QCOMPARE(list.Image(5).pixelColor(50, 40), QColor(Qt::red));
        list.AddThumbnail(Filled(100, 80, Qt::blue), QStringLiteral("GNLM00001.jpg"), 0);
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
        QTRY_VERIFY(list.verticalScrollBar()->value() > 0);
    }

    // Decoded on the scan's thread: pictures squeezed to 100 x 80, exact ones kept, anything
    // else the placeholder; positions and names as handed over, the count exact at once.
    void sinkDecodesOffTheWindowThreadAndKeepsTheOrder() {
        CThumbsListCtrl list;
        ThumbnailSink sink(list, [] { return true; });
        const QImage exact = Filled(100, 80, QColor(10, 200, 30));
        QImage wide = Filled(640, 480, Qt::white);
        for (int x = 0; x < 320; ++x) {
            for (int y = 0; y < 480; ++y) {
                wide.setPixelColor(x, y, Qt::black);
            }
        }
        std::thread scan([&] {
            sink.FileFinished(Carved("GNLM00001.png", 0), Encoded(exact, "png"));
            sink.FileFinished(Carved("GNLM00002.png", 1), Encoded(wide, "png"));
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
