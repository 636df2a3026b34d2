#pragma once
// The public face of the Wardline error-trap runtime, for the programs that use it (the
// runtime's own files include what they use): every instrumented procedure enters with
// wlPUSH, leaves with wlPOP and hands each trapped run-time error to wlERROR. Procedures
// normally do all of this through wardline::Procedure.
#include "errortrap/core/error_categories.h"
#include "errortrap/core/runtime.h"
#include "errortrap/core/runtime_texts.h"
#include "errortrap/core/trace_stack.h"
#include "errortrap/report/error_handler.h"
#include "errortrap/trace/enter_leave.h"
#include "errortrap/trace/procedure.h"
