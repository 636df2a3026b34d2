#pragma once
// One Morrowset per application folder: a second start hands over to the first one, which
// brings its window to the front, instead of running a second clock that would start every
// row twice. The first one also answers `--status`, `--run` and `--stop` (remote_control.h).
#include <optional>

class QWidget;

namespace morrowset {

class Scheduler;

// When another instance holds this application folder: asks it to bring its window to the
// front, says so on standard error and returns the exit status (0). nullopt for the first,
// and when no lock can be had (then said on standard error: a second start would not be
// noticed).
std::optional<int> handOverToFirstInstance();

// Brings `window` to the front whenever a later start asks, and answers the requests of the
// command line from `scheduler`, for as long as the window lives.
void serveLaterStarts(QWidget* window, Scheduler& scheduler);

// Shows `window` (also when it is hidden or minimized) and brings it to the front.
void bringToFront(QWidget* window);

}  // namespace morrowset
