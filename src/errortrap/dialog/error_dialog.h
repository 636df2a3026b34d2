#pragma once
// The error report dialog as the runtime's user-interface services reach it.
#include "errortrap/core/ui_services.h"

namespace wardline {

// Loads frmWARDLINE for `input`, shows it modally and returns the user's answer (the
// default answer, Continue, where the toolkit's widgets do not run).
DialogResult ShowErrorDialog(const DialogInput& input);
// Unloads the dialog when it is loaded.
void UnloadErrorDialog();
// Whether the dialog form can be loaded here, answered without building it.
bool ProbeErrorDialog();

}  // namespace wardline
