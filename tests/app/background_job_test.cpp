#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "app/background_job.h"
#include "app/window_reporter.h"
#include "app/window_thread_save_decisions.h"

using namespace lumarest;

namespace {

constexpr int kWaitMs = 5000;

// Answers as set and notes the thread each question came on.
class RecordingDecisions : public SaveDecisions {
  public:
    Replace AskReplace(const std::string&, const std::string&, bool& applyToAll) override {
        threads.push_back(QThread::currentThread());
        applyToAll = true;
        return Replace::Skip;
    }
    WriteError AskWriteError(const std::string&) override {
        threads.push_back(QThread::currentThread());
        return WriteError::SkipAll;
    }
    bool Progress(std::size_t, std::size_t, const std::string&) override {
        threads.push_back(QThread::currentThread());
        return false;
    }
    std::vector<QThread*> threads;
};

// Lets queued calls to the window run.
void ServeWindow() {
    QTest::qWait(50);
}

}  // namespace

class BackgroundJobTest : public QObject {
    Q_OBJECT

  private:
    QObject window_;
    WindowReporter reporter_{window_, WindowReportTargets{}};

  private slots:
    // What a job makes comes to the window's thread once, as a value, when it ends by itself.
    void anEndedJobHandsItsValueToTheWindowThread() {
        std::vector<std::pair<int, QThread*>> heard;
        std::atomic<QThread*> ranOn{nullptr};
        BackgroundJob<int> job(
            reporter_, window_,
            [&](Reporter&, std::stop_token) {
                ranOn = QThread::currentThread();
                return 42;
            },
            [&](int made) { heard.emplace_back(made, QThread::currentThread()); });
        QTRY_VERIFY_WITH_TIMEOUT(!heard.empty(), kWaitMs);
        job.Wait();
        ServeWindow();
        QCOMPARE(heard.size(), std::size_t{1});
        QCOMPARE(heard.front().first, 42);
        QCOMPARE(heard.front().second, QThread::currentThread());
        QVERIFY(ranOn.load() != QThread::currentThread());
    }

    // A stopped job is finished by whoever stopped it: StopAndWait gives what it made and the
    // window never hears of it, also when its end was already on the way to the window.
    void aStoppedJobIsFinishedByWhoeverStoppedIt() {
        struct Case {
            const char* what;
            bool endsBeforeTheStop;
        };
        for (const Case c : {Case{"stopped while it runs", false},
                             Case{"stopped with its end on the way", true}}) {
            int heard = 0;
            std::atomic<bool> running{false};
            BackgroundJob<int> job(
                reporter_, window_,
                [&](Reporter&, std::stop_token stop) {
                    running = true;
                    while (!c.endsBeforeTheStop && !stop.stop_requested()) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    }
                    return 7;
                },
                [&](int) { ++heard; });
            // Waited for without serving the window, so its end cannot reach it yet.
            while (!running) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            if (c.endsBeforeTheStop) {
                job.Wait();
            }
            QVERIFY2(job.StopAndWait() == 7, c.what);
            ServeWindow();
            QVERIFY2(heard == 0, c.what);
            QVERIFY2(job.StopAndWait() == 0, c.what);
        }
    }

    // The window's thread serves its events while it waits for a job, so the job may rely on
    // them.
    void runAndWaitServesTheWindowMeanwhile() {
        std::atomic<bool> served{false};
        QTimer::singleShot(0, &window_, [&] { served = true; });
        const bool sawServed =
            RunAndWait<bool>(reporter_, window_, [&](Reporter&, std::stop_token) {
                const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
                while (!served && std::chrono::steady_clock::now() < until) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                return served.load();
            });
        QVERIFY(sawServed);
    }

    // A saving off the window's thread asks the window's own decisions on the window's thread
    // and takes their answers.
    void saveQuestionsAreAnsweredOnTheWindowThread() {
        RecordingDecisions decisions;
        struct Answers {
            SaveDecisions::Replace replace = SaveDecisions::Replace::Cancel;
            bool applyToAll = false;
            SaveDecisions::WriteError writeError = SaveDecisions::WriteError::Abort;
            bool stop = true;
        };
        const Answers answers =
            RunAndWait<Answers>(reporter_, window_, [&](Reporter&, std::stop_token stop) {
                WindowThreadSaveDecisions asked(window_, decisions, stop);
                Answers made;
                made.replace = asked.AskReplace("/saved/a.jpg", "/saved/a(1).jpg", made.applyToAll);
                made.writeError = asked.AskWriteError("/saved/b.jpg");
                made.stop = asked.Progress(1, 2, "/saved/b.jpg");
                return made;
            });
        QVERIFY(answers.replace == SaveDecisions::Replace::Skip);
        QVERIFY(answers.applyToAll);
        QVERIFY(answers.writeError == SaveDecisions::WriteError::SkipAll);
        QVERIFY(!answers.stop);
        QCOMPARE(decisions.threads.size(), std::size_t{3});
        for (QThread* thread : decisions.threads) {
            QCOMPARE(thread, QThread::currentThread());
        }
    }

    // Once stopped, a saving asks nothing more and ends, even while the window's thread is not
    // listening: the questions it gave up on are never put afterwards.
    void aStoppedSavingAsksNothingAndEnds() {
        RecordingDecisions decisions;
        std::stop_source stop;
        stop.request_stop();
        std::optional<SaveDecisions::Replace> replace;
        std::optional<SaveDecisions::WriteError> writeError;
        std::optional<bool> ends;
        std::thread saving([&] {
            WindowThreadSaveDecisions asked(window_, decisions, stop.get_token());
            bool applyToAll = false;
            replace = asked.AskReplace("/saved/a.jpg", "/saved/a(1).jpg", applyToAll);
            writeError = asked.AskWriteError("/saved/a.jpg");
            ends = asked.Progress(0, 1, "/saved/a.jpg");
        });
        saving.join();
        ServeWindow();
        QVERIFY(replace == SaveDecisions::Replace::Cancel);
        QVERIFY(writeError == SaveDecisions::WriteError::Abort);
        QVERIFY(ends == true);
        QVERIFY(decisions.threads.empty());
    }
};

QTEST_MAIN(BackgroundJobTest)
#include "background_job_test.moc"
