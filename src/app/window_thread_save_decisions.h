#pragma once

#include <QObject>
#include <stop_token>

#include "volume/recovered_save.h"

namespace lumarest {

// The user's answers for a saving that runs off the window's thread: each question and each
// progress step goes to the window's own decisions on the window's thread, and the saving
// waits for the answer. Once `stop` is requested nothing more is asked: the saving ends.
class WindowThreadSaveDecisions : public SaveDecisions {
  public:
    WindowThreadSaveDecisions(QObject& window, SaveDecisions& decisions, std::stop_token stop)
        : window_(window), decisions_(decisions), stop_(std::move(stop)) {}

    Replace AskReplace(const std::string& path, const std::string& renamed,
                       bool& applyToAll) override;
    WriteError AskWriteError(const std::string& path) override;
    bool Progress(std::size_t done, std::size_t total, const std::string& path) override;

  private:
    QObject& window_;
    SaveDecisions& decisions_;
    std::stop_token stop_;
};

}  // namespace lumarest
