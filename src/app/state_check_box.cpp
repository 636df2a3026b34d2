#include "app/state_check_box.h"

#include "platform/error_texts.h"
#include "platform/runtime_error.h"

namespace morrowset {

namespace {

// Our values in order 0, 1, 2; the toolkit numbers checked and grayed the other way round.
constexpr Qt::CheckState kStates[] = {Qt::Unchecked, Qt::Checked, Qt::PartiallyChecked};

}  // namespace

StateCheckBox::StateCheckBox(QWidget* parent) : QCheckBox(parent) { setTristate(true); }

int16_t StateCheckBox::value() const {
    for (int16_t v = 0; v < 3; ++v)
        if (kStates[v] == checkState()) return v;
    return 0;
}

void StateCheckBox::setValue(int32_t value) {
    if (value < 0 || value > 2) platform::raiseError(platform::kInvalidPropertyValue);
    setCheckState(kStates[value]);
}

void StateCheckBox::nextCheckState() { setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked); }

}  // namespace morrowset
