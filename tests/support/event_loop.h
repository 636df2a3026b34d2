#pragma once
// An event loop for tests of code that hears of things through it (the child watcher), in
// test programs that have no application object of their own.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <functional>

namespace testsupport {

// Makes the process's application object when there is none; it lives until the end.
inline void ensureCoreApplication() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "tests";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
}

// Runs the event loop until `done` says so or `timeoutMs` have passed; returns `done()`.
inline bool runEventsUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
    ensureCoreApplication();
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return done();
}

}  // namespace testsupport
