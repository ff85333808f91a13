#include <QBuffer>
#include <QCheckBox>
#include <QFile>
#include <QImageWriter>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "app/window_harness.h"
#include "carving/carved_file_saver.h"
#include "carving/carved_verdict.h"
#include "carving/formats/carved_format.h"
#include "support/image_guard.h"
#include "ui/thumbs_list_ctrl.h"

using namespace lumarest;
using namespace lumarest::testing;

namespace {

const char* const kImageItem = "Disk image file (Disk0)";
constexpr int kScanTimeoutMs = 60000;
constexpr qint64 kSector = 512;
// Each file starts this many sectors after the one before; the last runs to the image's end.
constexpr qint64 kSpacing = 48;
constexpr qint64 kFirstStart = 16;
constexpr int kFiles = 4;
// The third file: a JPEG header (a sound JFIF segment) followed by what no decoder reads.
constexpr int kBrokenFile = 1;

QByteArray Encoded(QColor colour, const char* format) {
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(colour);
    for (int x = 0; x < 32; ++x) {
        for (int y = 0; y < 48; ++y) {
            image.setPixelColor(x, y, Qt::white);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return bytes;
}

QByteArray BrokenJpeg() {
    // SOI, then an APP0 "JFIF" segment of its own length, then bytes without a single marker.
    QByteArray bytes = QByteArray::fromHex("FFD8FFE000104A46494600010100004800480000");
    bytes.append(QByteArray(4096, 'A'));
    return bytes;
}

struct PlacedFile {
    QString name;
    qint64 firstSector = 0;
    QByteArray content;  // what was written there; zeros follow it up to the next file
    bool picture = true;
};

// A small disk image of two JPEGs, a PNG and a broken JPEG, each followed by zeros.
std::vector<PlacedFile> MakeImage(const QString& path) {
    std::vector<PlacedFile> files = {
        {QStringLiteral("GNLM00001.jpg"), 0, Encoded(Qt::red, "jpg"), true},
        {QStringLiteral("GNLM00002.jpg"), 0, BrokenJpeg(), false},
        {QStringLiteral("GNLM00003.png"), 0, Encoded(Qt::blue, "png"), true},
        {QStringLiteral("GNLM00004.jpg"), 0, Encoded(Qt::green, "jpg"), true},
    };
    QByteArray image((kFirstStart + kSpacing * kFiles) * kSector, '\0');
    for (int i = 0; i < kFiles; ++i) {
        files[i].firstSector = kFirstStart + kSpacing * i;
        image.replace(files[i].firstSector * kSector, files[i].content.size(), files[i].content);
    }
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(image);
    return files;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

QString SizeText(qint64 bytes) {
    return QLocale(QLocale::English).toString(bytes);
}

// A point of the mark's disc clear of its sign.
QColor MarkPixel(const QListWidgetItem* item) {
    const QImage icon = item->icon().pixmap(QSize(100, 80)).toImage();
    return icon.pixelColor(CThumbsListCtrl::MarkCentre() + QPoint(0, -6));
}

}  // namespace

class RawResultsTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir folder_;
    QString image_;
    std::vector<PlacedFile> files_;

    WindowHarness OpenRawCriteria(const QString& image) {
        const QString program = folder_.filePath(QStringLiteral("program"));
        QDir().mkpath(program);
        const QString general = QDir(program).filePath(QStringLiteral("LMXExt2.dll"));
        QFile::remove(general);
        QFile::copy(QDir(QStringLiteral(LUMAREST_BIN_DIR)).filePath(QStringLiteral("LMXExt2.dll")),
                    general);
        WindowHarness h = OpenOnImages({image.toStdString()}, folder_);
        if (ClickItem(h.DiskTree(), QString::fromUtf8(kImageItem))) {
            h.window->OnNext();
        }
        h.Find<QCheckBox>("thoroughBox")->setChecked(false);
        return h;
    }

    static CThumbsListCtrl* Thumbs(const WindowHarness& h) {
        return h.Find<CThumbsListCtrl>("ThumbsList");
    }

    static void SearchToTheEnd(const WindowHarness& h) {
        const int boxes = h.dialogs->searchCompletedBoxes;
        h.window->OnNext();
        QTRY_COMPARE_WITH_TIMEOUT(h.dialogs->searchCompletedBoxes, boxes + 1, kScanTimeoutMs);
    }

    // Clicks Save with `folder` as the user's choice and waits for the box that ends it.
    static void SaveInto(const WindowHarness& h, const QString& folder) {
        const std::size_t boxes = h.messages->shown.size();
        h.dialogs->folder = folder;
        h.Button("saveButton")->click();
        QTRY_COMPARE_WITH_TIMEOUT(h.messages->shown.size(), boxes + 1, kScanTimeoutMs);
    }
    static QString LastMessage(const WindowHarness& h) {
        return h.messages->shown.empty() ? QString() : h.messages->shown.back().text;
    }

    // Each saved file is the file's own bytes on the image: as long as the format says, or all
    // that was carved up to the next file while the scan does not know the end. Its size is
    // the one the thumbnail's tooltip gave.
    void CheckSaved(const QString& folder, const QStringList& names, const CThumbsListCtrl* list) {
        QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name), names);
        const QByteArray image = ReadAll(image_);
        for (const PlacedFile& placed : files_) {
            if (!names.contains(placed.name)) {
                continue;
            }
            const QByteArray saved = ReadAll(QDir(folder).filePath(placed.name));
            const qint64 carved = kSpacing * kSector;
            QVERIFY2(saved.size() == placed.content.size() || saved.size() == carved,
                     qPrintable(placed.name));
            QCOMPARE(saved, image.mid(placed.firstSector * kSector, saved.size()));
            const QList<QListWidgetItem*> items = list->findItems(placed.name, Qt::MatchExactly);
            QCOMPARE(items.size(), 1);
            QVERIFY(items[0]->toolTip().contains(SizeText(saved.size())));
        }
    }

  private slots:
    void initTestCase() {
        QVERIFY(folder_.isValid());
        image_ = folder_.filePath(QStringLiteral("pictures.img"));
        files_ = MakeImage(image_);
    }

    // The statistics panel is shown by the page shown: under the thumbnails while the results
    // are, and back in its place on the criteria page after Back, round after round.
    void statisticsPanelGoesWithThePageShown() {
        WindowHarness h = OpenRawCriteria(image_);
        auto* statistics = h.Find<QWidget>("SearchStatistics");
        QWidget* criteriaColumn = statistics->parentWidget();
        const int criteriaPlace = criteriaColumn->layout()->indexOf(statistics);
        const QString criteriaCard = h.Find<QLabel>("selectedDiskCard")->text();
        for (int round = 0; round < 2; ++round) {
            h.window->OnNext();
            QCOMPARE(h.Stage(), WizardStage::RawResults);
            // Shown at once, not after the event loop runs.
            QVERIFY(statistics->isVisible());
            QWidget* resultsColumn = Thumbs(h)->parentWidget();
            QCOMPARE(statistics->parentWidget(), resultsColumn);
            QCOMPARE(resultsColumn->layout()->indexOf(statistics),
                     resultsColumn->layout()->indexOf(h.Find<QCheckBox>("onlyCompleteBox")) + 1);
            const QString card = h.Find<QLabel>("rawDiskCard")->text();
            QCOMPARE(card, criteriaCard);
            QVERIFY(card.contains(QString::fromUtf8(kImageItem)));
            QTRY_COMPARE_WITH_TIMEOUT(h.dialogs->searchCompletedBoxes, round + 1, kScanTimeoutMs);

            h.window->OnBack();
            QCOMPARE(h.Stage(), WizardStage::Criteria);
            QCOMPARE(statistics->parentWidget(), criteriaColumn);
            QCOMPARE(criteriaColumn->layout()->indexOf(statistics), criteriaPlace);
            QVERIFY(statistics->isVisible());
            QVERIFY(!Thumbs(h)->isVisible());
        }
    }

    void thumbnailsShowTheirVerdictAndCanBeFilteredAndSavedAfterTheSearch() {
        const ImageGuard guard(image_.toStdString());
        WindowHarness h = OpenRawCriteria(image_);
        QPushButton* save = h.Button("saveButton");
        auto* onlyComplete = h.Find<QCheckBox>("onlyCompleteBox");
        QVERIFY(!save->isVisible());
        QVERIFY(!onlyComplete->isVisible());
        h.window->OnNext();
        // Nothing is saved while the search runs.
        QVERIFY(save->isVisible());
        QVERIFY(!save->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(h.dialogs->searchCompletedBoxes, 1, kScanTimeoutMs);
        QVERIFY(save->isEnabled());
        QVERIFY(onlyComplete->isVisible());

        CThumbsListCtrl* list = Thumbs(h);
        QCOMPARE(list->count(), kFiles);
        // A picture whose bytes decode is complete; the broken one is judged by its type.
        const CarvedVerdict broken =
            VerdictAfterDecoding(CarvedVerdict::Unchecked, IsPictureType("jpg"), false);
        for (int row = 0; row < kFiles; ++row) {
            const QListWidgetItem* item = list->item(row);
            QCOMPARE(item->text(), files_[row].name);
            const CarvedVerdict verdict = files_[row].picture ? CarvedVerdict::Complete : broken;
            const QStringList tip = item->toolTip().split('\n');
            QCOMPARE(tip.size(), 3);
            QCOMPARE(tip[0], files_[row].name);
            QCOMPARE(tip[1], QString::fromUtf8(VerdictText(verdict)));
            const QColor mark = CThumbsListCtrl::MarkColour(verdict);
            if (mark.isValid()) {
                QCOMPARE(MarkPixel(item), mark);
            } else {
                QCOMPARE(item->icon()
                             .pixmap(QSize(100, 80))
                             .toImage()
                             .convertToFormat(QImage::Format_RGB888),
                         list->Image(row));
            }
        }
        SaveWindowShot(*h.window, "raw_verdicts.png");

        // The filter hides the broken file and shows it again.
        onlyComplete->click();
        QVERIFY(list->item(kBrokenFile)->isHidden());
        QCOMPARE(list->ShownCount(), kFiles - 1);
        SaveWindowShot(*h.window, "raw_only_complete.png");
        onlyComplete->click();
        QCOMPARE(list->ShownCount(), kFiles);

        // The selected thumbnails, then every one, each into a folder of its own.
        const QString chosen = folder_.filePath(QStringLiteral("chosen"));
        const QString all = folder_.filePath(QStringLiteral("all"));
        QVERIFY(QDir().mkpath(chosen) && QDir().mkpath(all));
        list->item(0)->setSelected(true);
        list->item(2)->setSelected(true);
        SaveInto(h, chosen);
        QString summary = LastMessage(h);
        QCOMPARE(summary, QStringLiteral("2 file(s) saved to %1.").arg(chosen));
        QCOMPARE(h.messages->shown.back().icon, MessageIcon::Information);
        CheckSaved(chosen, {files_[0].name, files_[2].name}, list);
        QVERIFY(save->isEnabled());
        QVERIFY(h.Button("backButton")->isEnabled());

        list->clearSelection();
        SaveInto(h, all);
        summary = LastMessage(h);
        QCOMPARE(summary, QStringLiteral("4 file(s) saved to %1.").arg(all));
        QStringList names;
        for (const PlacedFile& placed : files_) {
            names << placed.name;
        }
        CheckSaved(all, names, list);

        // Saving again never replaces what is there; with the filter only the shown ones go.
        onlyComplete->click();
        SaveInto(h, chosen);
        summary = LastMessage(h);
        QCOMPARE(summary, QStringLiteral("3 file(s) saved to %1.").arg(chosen));
        QCOMPARE(QDir(chosen).entryList(QDir::Files).size(), 5);
        QVERIFY(!QFileInfo::exists(QDir(chosen).filePath(QStringLiteral("GNLM00002.jpg"))));
        QCOMPARE(ReadAll(QDir(chosen).filePath(files_[0].name)),
                 ReadAll(QDir(all).filePath(files_[0].name)));

        // A folder that cannot take the files is refused as the criteria page refuses it;
        // beside the image is no such folder: the image is read, never written.
        const QString missing = folder_.filePath(QStringLiteral("no-such-folder"));
        SaveInto(h, missing);
        summary = LastMessage(h);
        QCOMPARE(summary.toStdString(),
                 *CheckDestinationFolder(missing.toStdString(), image_.toStdString()));
        QCOMPARE(h.messages->shown.back().icon, MessageIcon::Error);
        QVERIFY(!QFileInfo::exists(missing));
        QVERIFY(!CheckDestinationFolder(folder_.path().toStdString(), image_.toStdString()));
        SaveInto(h, folder_.path());
        summary = LastMessage(h);
        QCOMPARE(summary, QStringLiteral("3 file(s) saved to %1.").arg(folder_.path()));
        QVERIFY(guard.Unchanged());

        // The next search shows every file it finds: the filter does not carry over to hide
        // them without a word.
        h.window->OnBack();
        QVERIFY(!save->isVisible());
        SearchToTheEnd(h);
        QVERIFY(!onlyComplete->isChecked());
        QCOMPARE(list->count(), kFiles);
        QVERIFY(!list->item(kBrokenFile)->isHidden());
        QCOMPARE(list->ShownCount(), kFiles);
        QVERIFY(guard.Unchanged());
    }

    // A file whose sectors can no longer be read is named in the box; the others are saved.
    void unreadableFilesAreToldAndTheRestSaved() {
        const QString shrinking = folder_.filePath(QStringLiteral("shrinking.img"));
        QFile::remove(shrinking);
        QVERIFY(QFile::copy(image_, shrinking));
        WindowHarness h = OpenRawCriteria(shrinking);
        SearchToTheEnd(h);
        QCOMPARE(Thumbs(h)->count(), kFiles);
        // The last two files' sectors are gone from the image.
        QVERIFY(QFile::resize(shrinking, files_[2].firstSector * kSector));
        const QString destination = folder_.filePath(QStringLiteral("partly"));
        QVERIFY(QDir().mkpath(destination));
        SaveInto(h, destination);
        QCOMPARE(LastMessage(h),
                 QStringLiteral("2 file(s) saved to %1.\n2 file(s) could not be read from the "
                                "disk: GNLM00003.png, GNLM00004.jpg.")
                     .arg(destination));
        QCOMPARE(h.messages->shown.back().icon, MessageIcon::Warning);
        QCOMPARE(QDir(destination).entryList(QDir::Files, QDir::Name),
                 (QStringList{files_[0].name, files_[1].name}));
    }
};

QTEST_MAIN(RawResultsTest)
#include "raw_results_test.moc"
