#pragma once
// The hourglass pointer for the length of a step, put back however the step ends. It is
// the screen's pointer, set through the runtime's user-interface services; nested steps
// each restore the pointer they found.
#include "errortrap/core/runtime.h"

namespace wardline {

class Hourglass {
public:
    Hourglass() : previous_(ui().mousePointer()) { ui().setMousePointer(kPointerHourglass); }
    ~Hourglass() { ui().setMousePointer(previous_); }
    Hourglass(const Hourglass&) = delete;
    Hourglass& operator=(const Hourglass&) = delete;

private:
    int previous_;
};

}  // namespace wardline
