#include <QComboBox>
#include <QTemporaryDir>
#include <QTest>

#include "app/window_harness.h"

using namespace lumarest;
using namespace lumarest::testing;

// The short-name code page is chosen on the criteria page, reaches the run the searches read,
// and is there again in the next session.
class CodePageTest : public QObject {
    Q_OBJECT

  private slots:
    void choiceReachesTheRunAndIsKept() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        struct Step {
            const char* row;
            QString choose;  // empty: leave as the window opens
            std::string inRun;
        };
        const Step steps[] = {
            {"first start", {}, "CP437"},
            {"850 chosen", QStringLiteral("CP850"), "CP850"},
            {"next session", {}, "CP850"},
            {"866 chosen", QStringLiteral("CP866"), "CP866"},
        };
        for (const Step& step : steps) {
            const WindowHarness harness = OpenWindow(WizardEnvironment{}, folder);
            auto* box = harness.Find<QComboBox>("codePageBox");
            QVERIFY2(box != nullptr, step.row);
            if (!step.choose.isEmpty()) {
                box->setCurrentIndex(box->findData(step.choose));
            }
            QVERIFY2(harness.Run().oemCodePage.Name() == step.inRun, step.row);
            QCOMPARE(box->currentData().toString(), QString::fromStdString(step.inRun));
        }
    }
};

QTEST_MAIN(CodePageTest)
#include "code_page_test.moc"
