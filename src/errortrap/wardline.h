#pragma once
// The public face of the Wardline error-trap runtime: every instrumented procedure enters
// with wlPUSH, leaves with wlPOP and hands each trapped run-time error to wlERROR.
// Procedures normally do all of this through wardline::Procedure.
#include "errortrap/error_categories.h"
#include "errortrap/error_handler.h"
#include "errortrap/procedure.h"
#include "errortrap/runtime.h"
#include "errortrap/runtime_texts.h"
#include "errortrap/trace_stack.h"
