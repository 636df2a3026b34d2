// A program that starts the runtime in the current folder (its preferences file is there)
// and dies three procedures deep, in the way its one argument names:
//   null-dereference | abort | uncaught-exception | stack-overflow | divide-by-zero
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include "app/app_identity.h"
#include "errortrap/core/runtime.h"
#include "errortrap/startup.h"
#include "errortrap/trace/procedure.h"
#include "platform/app_object.h"

namespace {

using wardline::Procedure;

// The faults are meant: the sanitizers' own checks must not catch them first.
[[gnu::noinline, gnu::no_sanitize("undefined")]] void dereferenceNull() {
    volatile int* volatile pointer = nullptr;
    *pointer = 1;
}

[[gnu::noinline, gnu::no_sanitize("undefined")]] void divideByZero() {
    volatile int dividend = 1000, zero = 0;
    volatile int quotient = dividend / zero;
    (void)quotient;
}

// Each call keeps a frame the compiler cannot fold away; `depth` never reaches its end.
[[gnu::noinline]] int recurseDeeply(int depth) {
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    return depth == -1 ? 0 : recurseDeeply(depth + 1) + frame[0];
}

void die(std::string_view how) {
    if (how == "null-dereference") dereferenceNull();
    if (how == "abort") std::abort();
    if (how == "uncaught-exception") throw std::runtime_error("the disk is on fire");
    if (how == "stack-overflow") recurseDeeply(0);
    if (how == "divide-by-zero") divideByZero();
}

void third(std::string_view how) {
    Procedure("modCrash.bas", "Sub Third").runUntrapped({
        {10, [] {}},
        {20, [&] { die(how); }},
        {30, [] {}},
    });
}

void second(std::string_view how) {
    Procedure("modCrash.bas", "Sub Second").runUntrapped({{10, [&] { third(how); }}});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    char folder[4096];
    if (!::getcwd(folder, sizeof folder)) return 2;
    wardline::Runtime runtime(morrowset::appIdentity());
    runtime.platform().app = platform::AppObject(folder, "Morrowset");
    wardline::makeCurrent(&runtime);
    const std::string_view how = argv[1];
    Procedure("frmMain.frm", "Sub Form_Load").runUntrapped({{10, [&] { second(how); }}});
    return 0;  // not reached: every way of dying dies
}
