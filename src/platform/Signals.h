#pragma once
#include <functional>

class QObject;

namespace mirvo {

// SIGTERM, SIGINT and SIGHUP (a logout, a kill, Ctrl+C in a terminal) run
// `quit` on the UI thread, so the exit sequence still saves everything.
void QuitOnSignals(QObject* owner, std::function<void()> quit);

}  // namespace mirvo
