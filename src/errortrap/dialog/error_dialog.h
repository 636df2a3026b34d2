#pragma once
// The error report dialog as the runtime's user-interface services reach it.
#include <cstdint>

namespace wardline {

// Loads frmWARDLINE for the error record just filled, shows it modally and returns the
// user's choice (a DialogChoice, ui_services.h).
int16_t ShowErrorDialog();
// Unloads the dialog when it is loaded.
void UnloadErrorDialog();
// Whether the dialog form can be loaded here, answered without building it.
bool ProbeErrorDialog();

class frmWARDLINE;
// The loaded error dialog, or nullptr when none is loaded.
frmWARDLINE* LoadedErrorDialog();

}  // namespace wardline
