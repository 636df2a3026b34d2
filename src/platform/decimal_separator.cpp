#include "platform/decimal_separator.h"

#include "platform/formatting.h"
#include "platform/profile.h"

namespace platform {

bool usableDecimalSeparator(std::string_view separator) {
    return separator.size() == 1 && !(separator[0] >= '0' && separator[0] <= '9');
}

std::string systemDecimalSeparator() {
    std::string named;
    getProfileString("intl", "sDecimal", "", named, 3);  // room for two: a longer one shows
    if (usableDecimalSeparator(named)) return named;
    return std::string(1, localeDecimalSeparator());
}

}  // namespace platform
