#include "app/window_thread_save_decisions.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "app/window_thread.h"

namespace lumarest {

namespace {
// One question on its way to the window's thread. Given up, it is never put: by then the
// saving, and what the question names, may be gone.
template <typename Answer>
struct Asked {
    std::atomic<bool> givenUp{false};
    Answer answer{};
};

// The answer of `question` run on the window's thread; none when the wait gave way to `stop`.
// `question` holds copies only: it may run after the saving has stopped waiting.
template <typename Answer>
std::optional<Answer> Ask(QObject& window, std::function<Answer()> question,
                          const std::stop_token& stop) {
    auto asked = std::make_shared<Asked<Answer>>();
    const bool answered = RunOnWindowThread(
        window,
        [asked, question = std::move(question)] {
            if (!asked->givenUp) {
                asked->answer = question();
            }
        },
        stop);
    if (!answered) {
        asked->givenUp = true;
        return std::nullopt;
    }
    return asked->answer;
}
}  // namespace

SaveDecisions::Replace WindowThreadSaveDecisions::AskReplace(const std::string& path,
                                                             const std::string& renamed,
                                                             bool& applyToAll) {
    SaveDecisions& decisions = decisions_;
    const auto answer = Ask<std::pair<Replace, bool>>(
        window_,
        [&decisions, path, renamed] {
            bool all = false;
            const Replace replace = decisions.AskReplace(path, renamed, all);
            return std::make_pair(replace, all);
        },
        stop_);
    if (!answer) {
        return Replace::Cancel;
    }
    applyToAll = answer->second;
    return answer->first;
}

SaveDecisions::WriteError WindowThreadSaveDecisions::AskWriteError(const std::string& path) {
    SaveDecisions& decisions = decisions_;
    return Ask<WriteError>(
               window_, [&decisions, path] { return decisions.AskWriteError(path); }, stop_)
        .value_or(WriteError::Abort);
}

bool WindowThreadSaveDecisions::Progress(std::size_t done, std::size_t total,
                                         const std::string& path) {
    SaveDecisions& decisions = decisions_;
    // A saving that can no longer ask stops.
    return Ask<bool>(
               window_,
               [&decisions, done, total, path] { return decisions.Progress(done, total, path); },
               stop_)
        .value_or(true);
}

}  // namespace lumarest
