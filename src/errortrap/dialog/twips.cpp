#include "errortrap/dialog/twips.h"

#include <QFontMetricsF>
#include <algorithm>
#include <cmath>

namespace wardline {
namespace {

constexpr double kTwipsPerInch = 1440.0;
constexpr double kDesignTwipsPerPixel = 15.0;
constexpr double kDesignLetterWidth = 6.0;
constexpr double kDesignLineHeight = 13.0;

}  // namespace

TwipScale TwipScale::fromDpi(double dpiX, double dpiY) {
    return {dpiX / kTwipsPerInch, dpiY / kTwipsPerInch};
}

TwipScale TwipScale::fromFont(const QFont& font) {
    const QFontMetricsF metrics(font);
    const QString alphabet = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
    const double letterWidth = metrics.horizontalAdvance(alphabet) / alphabet.size();
    const double scale = std::max({1.0, letterWidth / kDesignLetterWidth, metrics.height() / kDesignLineHeight});
    return {scale / kDesignTwipsPerPixel, scale / kDesignTwipsPerPixel};
}

int TwipScale::x(int twips) const { return static_cast<int>(std::lround(twips * perTwipX_)); }
int TwipScale::y(int twips) const { return static_cast<int>(std::lround(twips * perTwipY_)); }

}  // namespace wardline
