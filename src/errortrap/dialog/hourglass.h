#pragma once
// The hourglass pointer for the length of a step, put back however the step ends. It is
// the screen's pointer, set through the user-interface services given (none: no pointer to
// set); nested steps each restore the pointer they found.
#include "errortrap/core/ui_services.h"

namespace wardline {

class Hourglass {
public:
    explicit Hourglass(UiServices* ui) : ui_(ui), previous_(ui ? ui->mousePointer() : kPointerDefault) {
        if (ui_) ui_->setMousePointer(kPointerHourglass);
    }
    ~Hourglass() {
        if (ui_) ui_->setMousePointer(previous_);
    }
    Hourglass(const Hourglass&) = delete;
    Hourglass& operator=(const Hourglass&) = delete;

private:
    UiServices* ui_;
    int previous_;
};

}  // namespace wardline
