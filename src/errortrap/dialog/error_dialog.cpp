#include "errortrap/dialog/error_dialog.h"

namespace wardline {

// Placeholder until the dialog form exists: answers as Continue would.
int16_t ShowErrorDialog() { return 0; }
void UnloadErrorDialog() {}
bool ProbeErrorDialog() { return true; }

}  // namespace wardline
