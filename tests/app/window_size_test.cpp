// The three windows at the desktop's font: their designs kept as proportions, every text
// fitting its control, no text smaller than the desktop's font, and larger windows for a
// larger font.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include "app/frm_about.h"
#include "app/row_settings_dialog.h"
#include "errortrap/dialog/frm_wardline.h"
#include "support/frm_main_fixture.h"

namespace morrowset {
namespace {

using namespace apptest;

QString withoutAccessMarks(QString text) { return text.remove(QLatin1Char('&')); }

// What `control` shows that does not fit inside it, or "" when all of it fits.
std::string clippedText(const QWidget* control) {
    const QFontMetrics metrics(control->font());
    const auto tooSmall = [&](const QString& text, int roomWidth, int roomHeight) {
        return metrics.horizontalAdvance(text) > roomWidth || metrics.height() > roomHeight;
    };
    const int frame = control->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, control);
    if (const auto* label = qobject_cast<const QLabel*>(control); label && !label->text().isEmpty()) {
        const QRect room = label->contentsRect();
        const bool clipped =
            label->wordWrap()
                ? metrics.boundingRect(room, Qt::TextWordWrap, label->text()).height() > room.height()
                : tooSmall(label->text(), room.width(), room.height());
        if (clipped) return "label " + label->text().toStdString();
    } else if (const auto* button = qobject_cast<const QPushButton*>(control)) {
        if (tooSmall(withoutAccessMarks(button->text()), button->width() - 2 * frame, button->height() - 2 * frame))
            return "button " + button->text().toStdString();
    } else if (const auto* box = qobject_cast<const QLineEdit*>(control);
               box && !box->isReadOnly() && !qobject_cast<const QComboBox*>(box->parentWidget())) {
        // Line edits keep 2 pixels a side inside their frame, and a pixel for the cursor.
        if (tooSmall(box->displayText(), box->width() - 2 * frame - 4 - 1, box->height() - 2 * frame))
            return "text box " + box->displayText().toStdString() + " " + std::to_string(box->height());
    } else if (const auto* list = qobject_cast<const QComboBox*>(control)) {
        if (metrics.height() > list->height() - 2 * frame) return "drop-down list " + list->currentText().toStdString();
    }
    return {};
}

std::vector<std::string> clippedTexts(const QWidget* window) {
    std::vector<std::string> clipped;
    for (const QWidget* control : window->findChildren<QWidget*>())
        if (control->isVisibleTo(window))
            if (std::string text = clippedText(control); !text.empty()) clipped.push_back(text);
    return clipped;
}

// Controls whose text is smaller than the application's.
std::vector<std::string> shrunkTexts(const QWidget* window) {
    const int least = QFontInfo(QApplication::font()).pixelSize();
    std::vector<std::string> shrunk;
    for (const QWidget* control : window->findChildren<QWidget*>())
        if (QFontInfo(control->font()).pixelSize() < least)
            shrunk.push_back(control->metaObject()->className() + (" " + control->objectName().toStdString()));
    return shrunk;
}

// True when `size` is `designWidth` x `designHeight` to within the rounding of a pixel.
bool keepsProportions(QSize size, int designWidth, int designHeight) {
    const double height = size.width() * static_cast<double>(designHeight) / designWidth;
    return std::abs(height - size.height()) <= 1.5;
}

struct WindowSizes {
    QSize main, about, dialog;
};

class WindowSize : public WindowTest, public ::testing::WithParamInterface<double> {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        savedFont = QApplication::font();
        QFont font = savedFont;
        font.setPointSizeF(GetParam());
        QApplication::setFont(font);
    }
    void TearDown() override {
        if (frmAbout* box = frmAbout::current()) box->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::setFont(savedFont);
        WindowTest::TearDown();
    }

    QFont savedFont;
};

TEST_P(WindowSize, EveryWindowKeepsItsDesignAndFitsItsTexts) {
    frmMain& main = load();
    tickAt(10 * 3600 + 0.5);  // the clock shows "10:00AM"
    main.mskTime[0]->setTimeText("23:59");
    main.cmdPause->click();  // "Start Program"
    EXPECT_THAT(clippedTexts(&main), ::testing::IsEmpty()) << "main window";
    EXPECT_THAT(shrunkTexts(&main), ::testing::IsEmpty()) << "main window";
    EXPECT_TRUE(keepsProportions(main.centralWidget()->size(), 4740, 2850)) << main.centralWidget()->size().width();

    showAboutDialog();
    const frmAbout* about = frmAbout::current();
    ASSERT_NE(about, nullptr);
    EXPECT_THAT(clippedTexts(about), ::testing::IsEmpty()) << "About box";
    EXPECT_THAT(shrunkTexts(about), ::testing::IsEmpty()) << "About box";
    EXPECT_TRUE(keepsProportions(about->size(), 5730, 3555)) << about->width() << " x " << about->height();

    const wardline::frmWARDLINE dialog;
    EXPECT_THAT(clippedTexts(&dialog), ::testing::IsEmpty()) << "error dialog";
    EXPECT_THAT(shrunkTexts(&dialog), ::testing::IsEmpty()) << "error dialog";
    EXPECT_TRUE(keepsProportions(dialog.size(), 7395, 3825)) << dialog.width() << " x " << dialog.height();

    RowRules rules;
    rules.set(RowRules::TimeLimit, "596523h");
    rules.set(RowRules::Folder, "reports");  // the longest message there is
    const frmRowSettings settings(1, rules);
    EXPECT_THAT(clippedTexts(&settings), ::testing::IsEmpty()) << "row settings";
    EXPECT_THAT(shrunkTexts(&settings), ::testing::IsEmpty()) << "row settings";
    EXPECT_TRUE(keepsProportions(settings.size(), 5400, 2940)) << settings.width() << " x " << settings.height();
}

INSTANTIATE_TEST_SUITE_P(Fonts, WindowSize, ::testing::Values(7.0, 9.0, 14.0, 20.0),
                         [](const auto& info) { return std::to_string(static_cast<int>(info.param)) + "pt"; });

// The unit follows the font: twice the font, about twice the window.
TEST(WindowScale, GrowsWithTheDesktopFont) {
    QFont small = QApplication::font();
    small.setPointSizeF(9);
    QFont large = small;
    large.setPointSizeF(18);
    const double mainGrowth =
        frmMain::layoutScale(large).pixelsPerTwip() / frmMain::layoutScale(small).pixelsPerTwip();
    const double aboutGrowth =
        frmAbout::layoutScale(large).pixelsPerTwip() / frmAbout::layoutScale(small).pixelsPerTwip();
    const double dialogGrowth = wardline::frmWARDLINE::layoutScale(large).pixelsPerTwip() /
                                wardline::frmWARDLINE::layoutScale(small).pixelsPerTwip();
    EXPECT_GT(mainGrowth, 1.6);
    EXPECT_GT(aboutGrowth, 1.6);
    EXPECT_GT(dialogGrowth, 1.6);
}

}  // namespace
}  // namespace morrowset
