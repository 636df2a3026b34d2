#pragma once
// Buttons answer the keyboard alike in every window: Space and Enter (or Return) click
// the button that has the focus, whether or not the window has a default button.
class QPushButton;

namespace wardline {

// Makes Enter and Return click `button` while it has the focus, as Space does.
void clickOnEnter(QPushButton* button);

}  // namespace wardline
