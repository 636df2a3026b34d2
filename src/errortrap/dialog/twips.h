#pragma once
// Window designs in twips (1440 to the inch of the screens they were drawn for), and the
// one table shape every window's controls are laid out from: the member that holds the
// control, its place in twips and its design caption.
#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

namespace wardline {

struct Twips {
    int left, top, width, height;
};

// Pixels per twip, across and down.
class TwipScale {
public:
    // The screen's logical resolution: `dpiX` and `dpiY` pixels to the inch.
    static TwipScale fromDpi(double dpiX, double dpiY);
    // Scaled so that `font` fills the room its design font had: a design drawn for
    // letters about 6 pixels wide on lines 13 pixels apart, at 15 twips a pixel; never
    // smaller than that.
    static TwipScale fromFont(const QFont& font);

    int x(int twips) const;
    int y(int twips) const;
    QRect rect(const Twips& place) const { return {x(place.left), y(place.top), x(place.width), y(place.height)}; }
    QSize size(int width, int height) const { return {x(width), y(height)}; }

private:
    TwipScale(double perTwipX, double perTwipY) : perTwipX_(perTwipX), perTwipY_(perTwipY) {}
    double perTwipX_;
    double perTwipY_;
};

// One row of a window's layout table.
template <typename Owner, typename Control>
struct ControlDesign {
    Control* Owner::*control;
    Twips place;
    const char* caption = "";
    int tabIndex = -1;    // -1 when the window orders its tab stops itself
    int helpContext = 0;  // 0 for none
};

// Makes each control of `table` with `make(parent, caption)`, places it and stores it in
// `owner`.
template <typename Owner, typename Control, std::size_t N, typename Make>
void createControls(Owner& owner, const ControlDesign<Owner, Control> (&table)[N], QWidget* parent,
                    const TwipScale& scale, Make&& make) {
    for (const ControlDesign<Owner, Control>& design : table) {
        Control* control = make(parent, QString::fromLatin1(design.caption));
        control->setGeometry(scale.rect(design.place));
        owner.*design.control = control;
    }
}

}  // namespace wardline
