#include "errortrap/dialog/frm_wardline_layout.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>
#include <utility>

#include "errortrap/dialog/call_tree_list.h"
#include "widgets/button_keys.h"

namespace wardline {
namespace {

using Controls = DialogControls;
template <typename Control>
using Design = ControlDesign<Controls, Control>;

// The report's fixed-pitch font is never smaller than this.
constexpr double kReportFontPoints = 9;

// The form's own controls.
constexpr Design<QLabel> kHeadline[] = {
    {&Controls::lblErrCnt, {120, 45, 7185, 570}, "Label1", 26},
};
constexpr Design<QComboBox> kViewList[] = {
    {&Controls::Combo1, {105, 780, 7200, 315}, "", 25},
};
constexpr Design<QPushButton> kButtons[] = {
    {&Controls::kxCtrlContinue, {105, 3375, 2400, 375}, "", 0, 340},
    {&Controls::cmdWWW, {2535, 3375, 1155, 375}, "Check", 4, 340},
    {&Controls::kxCtrlMore, {3720, 3375, 1155, 375}, "", 1, 320},
    {&Controls::kxHelp, {4905, 3375, 1155, 375}, "", 2, 270},
    {&Controls::wlPrint, {6105, 3375, 1155, 375}, "", 3, 300},
};

// The views, Picture1(0) to Picture1(3), and their tab indexes.
struct ViewDesign {
    Twips place;
    int tabIndex;
};
constexpr ViewDesign kViews[kDialogViewCount] = {
    {{105, 1110, 7905, 2200}, 5},
    {{105, 1110, 7560, 2205}, 6},
    {{105, 1110, 7905, 2200}, 7},
    {{105, 1110, 7905, 2200}, 8},
};

// View 0.
constexpr Design<QLineEdit> kCommentBox[] = {
    {&Controls::Text1, {0, 15, 7185, 1890}, "", 9},
};
// View 1: row captions, then values (text boxes, labels, the level list).
constexpr Design<QLabel> kCaptions[] = {
    {&Controls::kxCtrlLabel7, {0, 60, 1275, 300}, "", 21},
    {&Controls::kxCtrlProjLab, {0, 360, 1275, 300}, "", 22},
    {&Controls::kxCtrlLabel1, {0, 660, 1275, 300}, "", 15},
    {&Controls::kxCtrlLabel2, {0, 960, 1275, 300}, "", 17},
    {&Controls::kxCtrlLabel4, {0, 1260, 1275, 300}, "", 19},
    {&Controls::kxCtrlLabel5, {0, 1560, 1275, 285}, "", 12},
    {&Controls::kxCtrlLabel6, {0, 1860, 1275, 315}, "", 14},
};
constexpr Design<QLineEdit> kValueBoxes[] = {
    {&Controls::ErrType, {1290, 60, 5895, 300}, "", 10, 290},
    {&Controls::errProject, {1290, 360, 5895, 300}, "", 27, 290},
};
constexpr Design<QLabel> kValueLabels[] = {
    {&Controls::ErrModule, {1290, 660, 5895, 300}, "", 16},
    {&Controls::ErrProcedure, {1290, 960, 5895, 300}, "", 18},
    {&Controls::ErrLine, {1290, 1260, 5895, 300}, "", 20},
    {&Controls::ErrNo, {1290, 1560, 5895, 285}, "", 13},
};
constexpr Design<QComboBox> kLevelList[] = {
    {&Controls::errText, {1290, 1860, 5895, 315}, "errText", 11, 280},
};
// View 2.
constexpr Design<CallTreeList> kCallList[] = {
    {&Controls::kxCtrlCalls, {0, 45, 7185, 2010}, "", 23, 350},
};
// View 3.
constexpr Design<QPlainTextEdit> kReportBox[] = {
    {&Controls::kxCtrlArgs, {0, 0, 7200, 2025}, "", 24, 330},
};

// Runs `visit` on every table of controls.
template <typename Visit>
void forEachTable(Visit&& visit) {
    visit(kHeadline);
    visit(kViewList);
    visit(kButtons);
    visit(kCommentBox);
    visit(kCaptions);
    visit(kValueBoxes);
    visit(kValueLabels);
    visit(kLevelList);
    visit(kCallList);
    visit(kReportBox);
}

struct HoverText {
    QWidget* (*control)(const Controls&);  // nullptr for the form itself
    const char* text;
};

template <auto member>
QWidget* controlOf(const Controls& controls) {
    return controls.*member;
}

constexpr HoverText kHoverTexts[] = {
    {nullptr, "Press 'Continue' to acknowledge this error and continue."},
    {controlOf<&Controls::kxCtrlContinue>, "Press to acknowledge this error and continue."},
    {controlOf<&Controls::kxCtrlMore>, "Press to break to design-mode in this procedure."},
    {controlOf<&Controls::kxHelp>, "Press to show detailed help about this error."},
    {controlOf<&Controls::cmdWWW>,
     "Press to search the Microsoft Internet Knowledge Base for any relation to this error."},
    {controlOf<&Controls::wlPrint>, "Press to print this tabs data to the default printer."},
    {controlOf<&Controls::kxCtrlLabel7>, "The error category"},
    {controlOf<&Controls::ErrType>, "The error category"},
    {controlOf<&Controls::kxCtrlProjLab>, "The error source"},
    {controlOf<&Controls::errProject>, "The error source"},
    {controlOf<&Controls::kxCtrlLabel1>, "The error module"},
    {controlOf<&Controls::ErrModule>, "The error module"},
    {controlOf<&Controls::kxCtrlLabel2>, "The error procedure"},
    {controlOf<&Controls::ErrProcedure>, "The error procedure"},
    {controlOf<&Controls::kxCtrlLabel4>, "The line number where the error happened"},
    {controlOf<&Controls::ErrLine>, "The line number where the error happened"},
    {controlOf<&Controls::kxCtrlLabel5>, "The error number"},
    {controlOf<&Controls::ErrNo>, "The error number"},
    {controlOf<&Controls::kxCtrlLabel6>, "A description of the error"},
};

// View 1 shows black text on white.
void paintWhite(QWidget* control) {
    QPalette palette = control->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Text, Qt::black);
    control->setPalette(palette);
    control->setAutoFillBackground(true);
}

QLabel* headline(QWidget* parent, const QString& caption) {
    auto* label = new QLabel(caption, parent);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

// Opaque, so that the view in front hides the ones behind it.
QWidget* view(QWidget* parent) {
    auto* picture = new QWidget(parent);
    picture->setAutoFillBackground(true);
    return picture;
}

QLineEdit* commentBox(QWidget* parent, const QString&) {
    auto* box = new QLineEdit(parent);
    box->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return box;
}

QLabel* whiteLabel(QWidget* parent, const QString& caption) {
    auto* label = new QLabel(caption, parent);
    paintWhite(label);
    return label;
}

QLineEdit* valueBox(QWidget* parent, const QString&) {
    auto* box = new QLineEdit(parent);
    box->setReadOnly(true);
    paintWhite(box);
    return box;
}

// Editable, so that a description can be changed before it is printed; what is typed
// never becomes an entry of its own.
QComboBox* levelList(QWidget* parent, const QString& caption) {
    auto* list = new QComboBox(parent);
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    list->setPlaceholderText(caption);
    return list;
}

QComboBox* viewList(QWidget* parent, const QString&) { return new QComboBox(parent); }

CallTreeList* callList(QWidget* parent, const QString&) { return new CallTreeList(parent); }

QPlainTextEdit* reportBox(QWidget* parent, const QString&) {
    auto* box = new QPlainTextEdit(parent);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setPointSizeF(std::max(kReportFontPoints, parent->font().pointSizeF()));
    box->setFont(font);
    return box;
}

// No button is the default: Enter clicks the button that has the focus, and nothing
// elsewhere (Enter in the comment box is no Continue).
QPushButton* button(QWidget* parent, const QString& caption) {
    auto* button = new QPushButton(caption, parent);
    button->setAutoDefault(false);
    clickOnEnter(button);
    return button;
}

// The place of a control of any of `tables`.
template <typename Control, typename... Tables>
Twips placeIn(Control* Controls::*control, const Tables&... tables) {
    Twips place{0, 0, 0, 0};
    ((place = place.width ? place : placeOf(tables, control)), ...);
    return place;
}

}  // namespace

const char* const kDialogViewTitles[kDialogViewCount] = {
    "To help resolve the problem, please enter what you were doing.",
    "View detailed information about the error source",
    "View error context and procedure trace",
    "View local system information",
};

TwipScale dialogScale(const QFont& font, const LabelCaptions& labels, const ButtonCaptions& buttons) {
    std::vector<TextRoom> rooms = captionRooms(kButtons, TextHolder::Button, font);
    for (const auto& caption : labels) {
        const Twips place = placeIn(caption.control, kHeadline, kCaptions, kValueLabels);
        rooms.push_back({caption.text, place.width, place.height, TextHolder::Label, font});
    }
    for (const auto& caption : buttons) {
        const Twips place = placeOf(kButtons, caption.control);
        rooms.push_back({caption.text, place.width, place.height, TextHolder::Button, font});
    }
    const Twips viewList = placeOf(kViewList, &Controls::Combo1);
    for (const char* title : kDialogViewTitles)
        rooms.push_back({QString::fromLatin1(title), viewList.width, viewList.height, TextHolder::ComboBox, font});
    const Twips levelList = placeOf(kLevelList, &Controls::errText);
    rooms.push_back({QStringLiteral("Error 1"), levelList.width, levelList.height, TextHolder::ComboBox, font});
    return TwipScale::forText(font, rooms);
}

// Parents before children, and each view's controls in the order of its design.
DialogControls createDialogControls(QWidget* form, const TwipScale& scale) {
    Controls c;
    createControls(c, kHeadline, form, scale, headline);
    createControls(c, kViewList, form, scale, viewList);
    for (int i = 0; i < kDialogViewCount; ++i) {
        c.Picture1[i] = view(form);
        c.Picture1[i]->setGeometry(scale.rect(kViews[i].place));
    }
    createControls(c, kCommentBox, c.Picture1[0], scale, commentBox);
    createControls(c, kCaptions, c.Picture1[1], scale, whiteLabel);
    createControls(c, kValueBoxes, c.Picture1[1], scale, valueBox);
    createControls(c, kValueLabels, c.Picture1[1], scale, whiteLabel);
    createControls(c, kLevelList, c.Picture1[1], scale, levelList);
    createControls(c, kCallList, c.Picture1[2], scale, callList);
    createControls(c, kReportBox, c.Picture1[3], scale, reportBox);
    createControls(c, kButtons, form, scale, button);
    return c;
}

std::vector<QWidget*> dialogTabOrder(const DialogControls& controls) {
    std::vector<std::pair<int, QWidget*>> stops;
    forEachTable([&](const auto& table) {
        for (const auto& design : table) {
            QWidget* control = controls.*design.control;
            if (control->focusPolicy() != Qt::NoFocus) stops.emplace_back(design.tabIndex, control);
        }
    });
    std::sort(stops.begin(), stops.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<QWidget*> order;
    for (const auto& stop : stops) order.push_back(stop.second);
    return order;
}

int dialogHelpContext(const DialogControls& controls, const QWidget* control) {
    int context = 0;
    forEachTable([&](const auto& table) {
        for (const auto& design : table)
            if (controls.*design.control == control) context = design.helpContext;
    });
    return context;
}

void setDialogStatusTips(const DialogControls& controls, QWidget* form) {
    for (const HoverText& hover : kHoverTexts)
        (hover.control ? hover.control(controls) : form)->setStatusTip(QLatin1String(hover.text));
}

}  // namespace wardline
