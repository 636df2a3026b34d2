#include "app/time_box.h"

#include "platform/error_texts.h"
#include "platform/runtime_error.h"

namespace morrowset {

namespace {

constexpr char kPrompt = '#';

bool digitOrPrompt(char c) { return (c >= '0' && c <= '9') || c == kPrompt; }

}  // namespace

TimeBox::TimeBox(QWidget* parent) : QLineEdit(parent) { setInputMask(QStringLiteral("99:99;#")); }

std::string TimeBox::timeText() const { return displayText().toStdString(); }

bool TimeBox::fitsMask(std::string_view text) {
    return text.size() == 5 && digitOrPrompt(text[0]) && digitOrPrompt(text[1]) && text[2] == ':' &&
           digitOrPrompt(text[3]) && digitOrPrompt(text[4]);
}

bool TimeBox::isTimeOfDay(std::string_view text) {
    if (!fitsMask(text) || text.find(kPrompt) != std::string_view::npos) return false;
    const int hour = (text[0] - '0') * 10 + (text[1] - '0');
    const int minute = (text[3] - '0') * 10 + (text[4] - '0');
    return minute <= 59 && (hour <= 23 || (hour == 24 && minute == 0));
}

// Places the digits one by one: handing the whole text to the line edit would let a
// prompt character shift the digits after it.
void TimeBox::setTimeText(std::string_view text) {
    if (!fitsMask(text)) platform::raiseError(platform::kInvalidPropertyValue);
    setText(QString());
    for (int place = 0; place < static_cast<int>(text.size()); ++place) {
        if (text[static_cast<std::size_t>(place)] == kPrompt || place == 2) continue;
        setSelection(place, 1);
        insert(QString(QChar(text[static_cast<std::size_t>(place)])));
    }
    setCursorPosition(0);
}

}  // namespace morrowset
