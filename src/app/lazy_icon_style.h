#pragma once
// The application's style with one change: the menu bar's overflow button takes its icon
// from the style when the icon is first drawn, not when the bar is made. That icon is the
// first image file the program would read, and reading one makes the toolkit load every
// image-format plugin, a few milliseconds of start-up; the button shows only when the menu
// items do not fit the bar.
#include <QProxyStyle>

namespace morrowset {

class LazyIconStyle : public QProxyStyle {
  public:
    // Takes `base` over.
    explicit LazyIconStyle(QStyle* base);
    QIcon standardIcon(StandardPixmap which, const QStyleOption* option,
                       const QWidget* widget) const override;
};

// Puts the application's style under a LazyIconStyle. A style sheet wraps the style in its
// own way, so with one the style is left as it is.
void useLazyIconStyle();

}  // namespace morrowset
