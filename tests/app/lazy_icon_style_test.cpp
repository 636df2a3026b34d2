// The application's style hands the menu bar's overflow button an icon it reads from the
// style only when drawn, and that icon draws as the style's own.
#include "app/lazy_icon_style.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMenuBar>
#include <QStyleFactory>
#include <QToolButton>
#include <memory>

namespace morrowset {
namespace {

// A style that counts how often it is asked for the overflow button's icon.
class CountingStyle : public QProxyStyle {
  public:
    explicit CountingStyle(int& asked)
        : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))), asked_(asked) {}
    QIcon standardIcon(StandardPixmap which, const QStyleOption* option,
                       const QWidget* widget) const override {
        if (which == SP_ToolBarHorizontalExtensionButton) ++asked_;
        return QProxyStyle::standardIcon(which, option, widget);
    }

  private:
    int& asked_;
};

// Makes `style` the application's style for one test, then puts the previous one back.
class AppStyle {
  public:
    explicit AppStyle(QStyle* style) : previous_(QApplication::style()->name()) {
        QApplication::setStyle(style);
    }
    ~AppStyle() { QApplication::setStyle(previous_); }
    AppStyle(const AppStyle&) = delete;
    AppStyle& operator=(const AppStyle&) = delete;

  private:
    QString previous_;
};

TEST(LazyIconStyle, TheOverflowIconIsReadWhenDrawnAndDrawsAsTheStylesOwn) {
    int asked = 0;
    auto* counting = new CountingStyle(asked);
    const AppStyle style(new LazyIconStyle(counting));
    const auto bar = std::make_unique<QMenuBar>();
    auto* overflow = bar->findChild<QToolButton*>();
    ASSERT_NE(overflow, nullptr);
    EXPECT_EQ(asked, 0) << "making the menu bar read the icon";

    ASSERT_FALSE(overflow->icon().isNull());
    const QImage drawn = overflow->icon().pixmap(16).toImage();
    EXPECT_EQ(asked, 1);
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    const QImage own = fusion->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton).pixmap(16).toImage();
    EXPECT_EQ(drawn, own);
    overflow->icon().pixmap(24);
    EXPECT_EQ(asked, 1) << "the icon is read once";
}

}  // namespace
}  // namespace morrowset
