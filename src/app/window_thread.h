#pragma once

#include <QObject>
#include <functional>
#include <stop_token>

namespace lumarest {

// Runs `work` on `window`'s thread and waits until it has run: at once on that thread, queued to
// it from any other. The wait gives way when `stop` is requested first; false then, and `work`
// may still run later.
bool RunOnWindowThread(QObject& window, std::function<void()> work, std::stop_token stop = {});

}  // namespace lumarest
