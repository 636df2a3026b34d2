#include "app/single_instance.h"

#include <QWidget>
#include <cstdio>
#include <string>

#include "app/remote_control.h"
#include "platform/app_object.h"
#include "platform/instance_channel.h"
#include "platform/instance_lock.h"

namespace morrowset {

namespace {

// Long enough for a first instance that is still loading its window.
constexpr int kPatienceMs = 3000;

}  // namespace

std::optional<int> handOverToFirstInstance() {
    const platform::AppObject& app = platform::app();
    std::string whyNot;
    const platform::InstanceLock lock = app.instanceLock(&whyNot);
    if (lock == platform::InstanceLock::Unavailable)
        std::fprintf(stderr, "%s: no instance lock for %s (%s); a second start for this folder would run beside this one\n",
                     app.exeName().c_str(), app.path().c_str(), whyNot.c_str());
    if (lock != platform::InstanceLock::Another) return std::nullopt;
    const bool asked = platform::askFirstInstanceToShow(app.instanceName(), kPatienceMs);
    std::fprintf(stderr, "%s: already running for %s; %s\n", app.exeName().c_str(), app.path().c_str(),
                 asked ? "its window was brought to the front" : "it did not answer");
    return 0;
}

void serveLaterStarts(QWidget* window, Scheduler& scheduler) {
    const auto show = [window] { bringToFront(window); };
    const auto answer = [&scheduler](const std::string& line) { return remote::answerLine(scheduler, line); };
    new platform::InstanceServer(platform::app().instanceName(), {show, answer}, window);
}

void bringToFront(QWidget* window) {
    if (window->isMinimized()) window->showNormal();
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace morrowset
