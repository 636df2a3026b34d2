#pragma once
// Window designs in twips, and the one table shape every window's controls are laid out
// from: the member that holds the control, its place in twips and its design caption.
//
// The designs were drawn for 8-point text on screens of 15 twips a pixel. A window keeps
// its design's proportions and takes its size from the desktop's font: one twip is as
// many pixels as make the font fill the room the design's text had, and more where a
// text of the window would not fit its control otherwise. Text is never shrunk to fit.
#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>
#include <vector>

class QWidget;

namespace wardline {

struct Twips {
    int left, top, width, height;
};

// The kinds of control a text is shown in, for the room each needs around its text.
enum class TextHolder { Label, WrappedLabel, Button, LineEdit, ComboBox };

// A text a window shows and the control's design size: the window's scale must let it fit.
struct TextRoom {
    QString text;  // an '&' that marks an access key takes no room
    int widthTwips;
    int heightTwips;
    TextHolder holder;
    QFont font;
};

// Pixels per twip, the same across and down.
class TwipScale {
public:
    // The scale for windows whose text is `font`, widened until every text of `rooms` fits.
    static TwipScale forText(const QFont& font, const std::vector<TextRoom>& rooms = {});

    int x(int twips) const;
    int y(int twips) const { return x(twips); }
    QRect rect(const Twips& place) const { return {x(place.left), y(place.top), x(place.width), y(place.height)}; }
    QSize size(int width, int height) const { return {x(width), y(height)}; }
    double pixelsPerTwip() const { return perTwip_; }

private:
    explicit TwipScale(double perTwip) : perTwip_(perTwip) {}
    double perTwip_;
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

// The place of `control` in `table`.
template <typename Owner, typename Control, std::size_t N>
constexpr Twips placeOf(const ControlDesign<Owner, Control> (&table)[N], Control* Owner::*control) {
    for (const ControlDesign<Owner, Control>& design : table)
        if (design.control == control) return design.place;
    return {0, 0, 0, 0};
}

// The rooms of the captions of `table`, shown in `holder`s in `font`.
template <typename Owner, typename Control, std::size_t N>
std::vector<TextRoom> captionRooms(const ControlDesign<Owner, Control> (&table)[N], TextHolder holder,
                                   const QFont& font) {
    std::vector<TextRoom> rooms;
    for (const ControlDesign<Owner, Control>& design : table)
        rooms.push_back({QString::fromLatin1(design.caption), design.place.width, design.place.height, holder, font});
    return rooms;
}

}  // namespace wardline
