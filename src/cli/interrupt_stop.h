#pragma once

#include <csignal>
#include <stop_token>
#include <thread>

namespace lumarest {

// While it lives, Ctrl+C (SIGINT) and SIGTERM request its stop token instead of ending the
// program, so a search or a save can stop between its steps, remove the file it was writing
// and the command still prints what was found and saved. The handler only raises a flag; a
// watcher thread turns the flag into the stop request. The previous handlers are put back on
// destruction. One at a time.
class InterruptStop {
  public:
    InterruptStop();
    ~InterruptStop();
    InterruptStop(const InterruptStop&) = delete;
    InterruptStop& operator=(const InterruptStop&) = delete;

    std::stop_token Token() const { return stop_.get_token(); }

  private:
    std::stop_source stop_;
    struct sigaction previousInterrupt_ {};
    struct sigaction previousTerminate_ {};
    std::jthread watcher_;
};

}  // namespace lumarest
