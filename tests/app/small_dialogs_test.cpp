#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "ui/about_dlg.h"
#include "ui/advance_dlg.h"
#include "ui/splash.h"
#include "ui/text_progress_ctrl.h"

using namespace lumarest;

namespace {
// With LUMAREST_SHOTS_DIR set, keeps a picture of the dialog for a person to look at.
void SaveShot(QWidget& widget, const char* name) {
    const QString shots = qEnvironmentVariable("LUMAREST_SHOTS_DIR");
    if (!shots.isEmpty()) {
        widget.grab().save(QDir(shots).filePath(QString::fromUtf8(name)));
    }
}

QStringList LabelTexts(const QWidget& widget) {
    QStringList texts;
    for (const QLabel* label : widget.findChildren<QLabel*>()) {
        texts << label->text();
    }
    return texts;
}
}  // namespace

class SmallDialogsTest : public QObject {
    Q_OBJECT

  private slots:
    void splashClosesItself() {
        CSplash splash(nullptr, 50);
        QCOMPARE(splash.windowTitle(), QStringLiteral("Lumarest"));
        SaveShot(splash, "splash.png");
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(splash.exec(), int(QDialog::Accepted));
        QVERIFY(clock.elapsed() < 5000);
    }

    void destinationNoticeCarriesItsTextsAndContinues() {
        CAdvanceDlg notice;
        const QStringList texts = LabelTexts(notice);
        QVERIFY(texts.contains(QStringLiteral(
            "Please read this information carefully before selecting the Destination path to "
            "save the recovered data.")));
        for (const char* number : {"1. ", "2. ", "3. "}) {
            QVERIFY2(!texts.filter(QRegularExpression(QStringLiteral("^") + number)).isEmpty(),
                     number);
        }
        SaveShot(notice, "destination_notice.png");
        auto* proceed = notice.findChild<QPushButton*>();
        QCOMPARE(proceed->text(), QStringLiteral("Continue..."));
        notice.show();
        proceed->click();
        QCOMPARE(notice.result(), int(QDialog::Accepted));
    }

    void aboutShowsTheVersion() {
        CAboutDlg about;
        SaveShot(about, "about.png");
        QCOMPARE(about.findChild<QLabel*>("aboutName")->text(), QStringLiteral("Lumarest"));
        QVERIFY(about.findChild<QLabel*>("aboutVersion")->text().startsWith("Version "));
    }

    void progressBarDrawsItsTextOrPercentage() {
        CTextProgressCtrl bar;
        bar.SetPos(37);
        QCOMPARE(bar.ShownText(), QStringLiteral("37%"));
        bar.SetText(QStringLiteral("Completed"));
        QCOMPARE(bar.ShownText(), QStringLiteral("Completed 37%"));
        bar.SetText(QStringLiteral("Completed "));
        QCOMPARE(bar.ShownText(), QStringLiteral("Completed 37%"));
        bar.SetPos(-5);
        QCOMPARE(bar.Pos(), 0);
    }
};

QTEST_MAIN(SmallDialogsTest)
#include "small_dialogs_test.moc"
