#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>

#include "app/window_fakes.h"
#include "app/wizard_window.h"
#include "ui/text_progress_ctrl.h"

using namespace lumarest;
using namespace lumarest::testing;

class WindowReporterTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir folder_;
    ScriptedMessages* messages_ = nullptr;

    std::unique_ptr<CChildDialogExDemoDlg> Open() {
        WizardEnvironment environment;
        auto messages = std::make_unique<ScriptedMessages>();
        messages_ = messages.get();
        environment.messages = std::move(messages);
        environment.shell = std::make_unique<RecordingShell>();
        environment.dialogs = std::make_unique<FakeDialogs>();
        environment.disks = std::make_unique<FakeDisks>();
        environment.parameterStorePath =
            folder_.filePath(QStringLiteral("store.ini")).toStdString();
        return std::make_unique<CChildDialogExDemoDlg>(std::move(environment));
    }

  private slots:
    void reportsFromAWorkerLandOnTheWindowThread() {
        auto window = Open();
        messages_->answer = true;
        Reporter& reporter = window->WindowReport();
        std::atomic<bool> done{false};
        bool answer = false;
        std::thread worker([&] {
            reporter.SetStatusText("Searching Lost Directories");
            reporter.SetStatisticCaption(Statistic::DirectoriesFound, "MFT Found\t\t\t:");
            reporter.SetStatisticValue(Statistic::DirectoriesFound, "17");
            reporter.ShowStatistics(true);
            reporter.SetPhaseLabel("Storing Directory Information. Please Wait...");
            reporter.SetProgress(ProgressBar::MainScan, 42, "");
            reporter.SetProgress(ProgressBar::TreeLoading, 100, "Completed");
            reporter.ShowProgress(ProgressBar::MainScan, true);
            reporter.ShowMessage("Select partition type", MessageIcon::Error);
            answer = reporter.AskYesNo("Stop?");
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 5000);
        worker.join();

        QVERIFY(answer);
        QCOMPARE(window->Run().statusText, std::string("Searching Lost Directories"));
        QCOMPARE(window->findChild<QLabel*>("statusLine")->text(),
                 QStringLiteral("Searching Lost Directories"));
        QCOMPARE(window->findChild<QLabel*>("phaseLabel")->text(),
                 QStringLiteral("Storing Directory Information. Please Wait..."));
        auto* mainBar = window->findChild<CTextProgressCtrl*>("mainScanBar");
        QCOMPARE(mainBar->Pos(), 42);
        QCOMPARE(mainBar->ShownText(), QStringLiteral("42%"));
        QVERIFY(!mainBar->isHidden());
        auto* treeBar = window->findChild<CTextProgressCtrl*>("treeLoadingBar");
        QCOMPARE(treeBar->ShownText(), QStringLiteral("Completed 100%"));
        QVERIFY(treeBar->parentWidget()->isHidden());
        QCOMPARE(messages_->shown.size(), std::size_t{1});
        QCOMPARE(messages_->shown[0].thread, window->thread());
        QCOMPARE(messages_->askedOn, window->thread());
    }

    void reportsOnTheWindowThreadRunAtOnce() {
        auto window = Open();
        Reporter& reporter = window->WindowReport();
        reporter.SetProgress(ProgressBar::PartitionSearch, 250, "");
        auto* bar = window->findChild<CTextProgressCtrl*>("partitionSearchBar");
        QCOMPARE(bar->Pos(), 100);
        QVERIFY(!reporter.AskYesNo("Do you want to exit from Lumarest?"));
        QCOMPARE(messages_->questions.size(), std::size_t{1});
    }

    // The real boxes: captioned "Lumarest", the question with No as its default.
    void boxesAreCaptionedLumarestAndQuestionsDefaultToNo() {
        QWidget parent;
        QtMessagePresenter presenter(&parent);
        QString title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        bool noIsDefault = false;
        auto answerWhenShown = [&](QMessageBox::StandardButton press) {
            auto* poll = new QTimer(this);
            connect(poll, &QTimer::timeout, this, [&, poll, press] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (box == nullptr) {
                    return;
                }
                poll->deleteLater();
                title = box->windowTitle();
                icon = box->icon();
                noIsDefault = box->defaultButton() == box->button(QMessageBox::No);
                box->button(press)->click();
            });
            poll->start(10);
        };

        answerWhenShown(QMessageBox::Yes);
        QVERIFY(presenter.AskYesNo(QStringLiteral("Do you want to exit from Lumarest?")));
        QCOMPARE(title, QStringLiteral("Lumarest"));
        QCOMPARE(icon, QMessageBox::Question);
        QVERIFY(noIsDefault);

        answerWhenShown(QMessageBox::Ok);
        presenter.ShowMessage(QStringLiteral("Select partition type"), MessageIcon::Error);
        QCOMPARE(title, QStringLiteral("Lumarest"));
        QCOMPARE(icon, QMessageBox::Critical);
    }
};

QTEST_MAIN(WindowReporterTest)
#include "window_reporter_test.moc"
