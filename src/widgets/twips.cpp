#include "widgets/twips.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

namespace wardline {
namespace {

// The design: 8-point letters about 6 pixels wide on lines 13 pixels apart, 15 twips a pixel.
constexpr double kDesignTwipsPerPixel = 15.0;
constexpr double kDesignLetterWidth = 6.0;
constexpr double kDesignLineHeight = 13.0;
// Wrapped text is fitted in steps of this much of the scale.
constexpr double kWrapStep = 1.02;
constexpr double kLargestScale = 20.0;

// Pixels per twip at which `font` fills the design's letters and lines.
double fontScale(const QFont& font) {
    const QFontMetricsF metrics(font);
    const QString alphabet = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
    const double letterWidth = metrics.horizontalAdvance(alphabet) / alphabet.size();
    return std::max(letterWidth / kDesignLetterWidth, metrics.height() / kDesignLineHeight) / kDesignTwipsPerPixel;
}

// The room a control of `holder` takes around its text in `font`, measured on a sample of
// it in the application's style: frame, margins, the drop-down arrow.
QSizeF chromeOf(TextHolder holder, const QFont& font) {
    const QFontMetricsF metrics(font);
    const QString sample = QStringLiteral("A sample wide enough for no minimum width to apply");
    const auto measured = [&](QWidget& widget) {
        widget.setFont(font);
        const QSize hint = widget.sizeHint();
        return QSizeF(hint.width() - metrics.horizontalAdvance(sample), hint.height() - metrics.height());
    };
    switch (holder) {
        case TextHolder::Label:
        case TextHolder::WrappedLabel:
            return {0, 0};
        case TextHolder::Button: {
            QPushButton button(sample);
            return measured(button);
        }
        case TextHolder::LineEdit: {
            // The line edit's hint is not its text's width: its margins are 2 a side, plus
            // the frame, plus the cursor.
            QLineEdit box;
            box.setFont(font);
            const double frame = box.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &box);
            return {2 * frame + 2 * 2 + 1, box.sizeHint().height() - metrics.height()};
        }
        case TextHolder::ComboBox: {
            QComboBox list;
            list.addItem(sample);
            return measured(list);
        }
    }
    return {0, 0};
}

QString withoutAccessMarks(QString text) {
    return text.replace(QStringLiteral("&&"), QStringLiteral("\x01")).remove(QLatin1Char('&')).replace(
        QLatin1Char('\x01'), QLatin1Char('&'));
}

bool wrappedTextFits(const TextRoom& room, double perTwip) {
    const QFontMetricsF metrics(room.font);
    const QRectF area(0, 0, std::floor(room.widthTwips * perTwip), 1e6);
    return metrics.boundingRect(area, Qt::TextWordWrap, room.text).height() <= std::floor(room.heightTwips * perTwip);
}

// The chrome of each kind of control in each font, measured once per window.
class ChromeCache {
public:
    QSizeF of(TextHolder holder, const QFont& font) {
        const auto key = std::make_pair(static_cast<int>(holder), font.key());
        const auto found = known_.find(key);
        if (found != known_.end()) return found->second;
        return known_[key] = chromeOf(holder, font);
    }

private:
    std::map<std::pair<int, QString>, QSizeF> known_;
};

// The least pixels per twip at which `room`'s text fits, at least `perTwip`.
double fitting(const TextRoom& room, double perTwip, ChromeCache& chromes) {
    if (room.text.isEmpty() || room.widthTwips <= 0 || room.heightTwips <= 0) return perTwip;
    if (room.holder == TextHolder::WrappedLabel) {
        while (!wrappedTextFits(room, perTwip) && perTwip < kLargestScale / kDesignTwipsPerPixel)
            perTwip *= kWrapStep;
        return perTwip;
    }
    const QFontMetricsF metrics(room.font);
    const QSizeF chrome = chromes.of(room.holder, room.font);
    // Half a pixel more, for the rounding of the control's size.
    const double width = metrics.horizontalAdvance(withoutAccessMarks(room.text)) + chrome.width() + 0.5;
    const double height = metrics.height() + chrome.height() + 0.5;
    return std::max({perTwip, width / room.widthTwips, height / room.heightTwips});
}

}  // namespace

TwipScale TwipScale::forText(const QFont& font, const std::vector<TextRoom>& rooms) {
    double perTwip = fontScale(font);
    ChromeCache chromes;
    for (const TextRoom& room : rooms) perTwip = fitting(room, perTwip, chromes);
    return TwipScale(perTwip);
}

int TwipScale::x(int twips) const { return static_cast<int>(std::lround(twips * perTwip_)); }

}  // namespace wardline
