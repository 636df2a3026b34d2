#include "app/time_box.h"

#include "timetable/timetable.h"
#include "platform/error_texts.h"
#include "platform/runtime_error.h"

namespace morrowset {

TimeBox::TimeBox(QWidget* parent) : QLineEdit(parent) { setInputMask(QStringLiteral("99:99;#")); }

std::string TimeBox::timeText() const { return displayText().toStdString(); }

// Places the digits one by one: handing the whole text to the line edit would let a
// prompt character shift the digits after it.
void TimeBox::setTimeText(std::string_view text) {
    if (!Timetable::fitsTimeBox(text)) platform::raiseError(platform::kInvalidPropertyValue);
    setText(QString());
    for (int place = 0; place < static_cast<int>(text.size()); ++place) {
        if (text[static_cast<std::size_t>(place)] == '#' || place == 2) continue;
        setSelection(place, 1);
        insert(QString(QChar(text[static_cast<std::size_t>(place)])));
    }
    setCursorPosition(0);
}

}  // namespace morrowset
