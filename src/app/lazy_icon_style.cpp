#include "app/lazy_icon_style.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <optional>

namespace morrowset {
namespace {

// A standard icon of `style`, asked for at its first use.
class DeferredStandardIcon : public QIconEngine {
  public:
    DeferredStandardIcon(const QStyle* style, QStyle::StandardPixmap which) : style_(style), which_(which) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().pixmap(size, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return icon().availableSizes(mode, state);
    }
    bool isNull() override { return false; }
    QIconEngine* clone() const override { return new DeferredStandardIcon(style_, which_); }

  private:
    const QIcon& icon() {
        if (!icon_) icon_ = style_->standardIcon(which_);
        return *icon_;
    }

    const QStyle* style_;
    QStyle::StandardPixmap which_;
    std::optional<QIcon> icon_;
};

}  // namespace

LazyIconStyle::LazyIconStyle(QStyle* base) : QProxyStyle(base) {}

QIcon LazyIconStyle::standardIcon(StandardPixmap which, const QStyleOption* option,
                                  const QWidget* widget) const {
    if (which == SP_ToolBarHorizontalExtensionButton)
        return QIcon(new DeferredStandardIcon(baseStyle(), which));
    return QProxyStyle::standardIcon(which, option, widget);
}

void useLazyIconStyle() {
    if (!qApp->styleSheet().isEmpty()) return;
    QApplication::setStyle(new LazyIconStyle(QApplication::style()));
}

}  // namespace morrowset
