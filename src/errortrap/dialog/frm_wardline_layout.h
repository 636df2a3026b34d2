#pragma once
// The error dialog's design: its client area and every control's place in twips, design
// caption, tab index and help number, and the texts the form shows of its own.
#include <QSize>
#include <QString>
#include <vector>

#include "errortrap/dialog/frm_wardline_controls.h"
#include "widgets/twips.h"

namespace wardline {

// The form's client area, in twips.
inline constexpr int kDialogWidthTwips = 7395;
inline constexpr int kDialogHeightTwips = 3825;

// Combo1's entries, one per view.
extern const char* const kDialogViewTitles[kDialogViewCount];

// Texts the form sets at load, with the controls that show them.
template <typename Control>
struct DialogCaption {
    Control* DialogControls::*control;
    QString text;
};
using LabelCaptions = std::vector<DialogCaption<QLabel>>;
using ButtonCaptions = std::vector<DialogCaption<QPushButton>>;

// The form's scale when its text is `font`: the captions and the view titles fit.
TwipScale dialogScale(const QFont& font, const LabelCaptions& labels, const ButtonCaptions& buttons);

// Makes the controls of `form`, placed by `scale`.
DialogControls createDialogControls(QWidget* form, const TwipScale& scale);

// The controls that take the focus, in the design's tab order.
std::vector<QWidget*> dialogTabOrder(const DialogControls& controls);

// The help number of `control` (0 for none or for a control not of the form).
int dialogHelpContext(const DialogControls& controls, const QWidget* control);

// Gives the form and its controls their hover texts, as the status tips a status bar shows.
void setDialogStatusTips(const DialogControls& controls, QWidget* form);

}  // namespace wardline
