#pragma once
// A fresh runtime for one test (or one benchmark): made current for the object's lifetime,
// the runtime that was current before comes back afterwards. Fakes go into it in one place:
//
//   testsupport::ScopedRuntime runtime;
//   runtime->setUi(&ui);
//   runtime->platform().app = platform::AppObject(folder.path(), "Morrowset");
//   runtime->platform().clock = &clock;
//
// Like a runtime after a reset, its trace stack has its frames but nothing has started; and
// the profiles said to be ignored are forgotten, so each test sees its own warnings.
#include <memory>
#include <string>
#include <utility>

#include "app/app_identity.h"
#include "errortrap/core/runtime.h"
#include "platform/process_state.h"

namespace testsupport {

class ScopedRuntime {
public:
    ScopedRuntime() : previous_(&wardline::currentRuntime()) { renew(); }
    ~ScopedRuntime() { wardline::makeCurrent(previous_); }
    ScopedRuntime(const ScopedRuntime&) = delete;
    ScopedRuntime& operator=(const ScopedRuntime&) = delete;

    // Replaces the runtime with a fresh one (for a table of cases in one test); the fakes
    // have to be given to it again.
    void renew() {
        platform::forgetIgnoredProfiles();
        auto fresh = std::make_unique<wardline::Runtime>(morrowset::appIdentity());
        fresh->traceStack().reset();
        wardline::makeCurrent(fresh.get());
        runtime_ = std::move(fresh);
    }

    wardline::Runtime& operator*() { return *runtime_; }
    wardline::Runtime* operator->() { return runtime_.get(); }

private:
    wardline::Runtime* previous_;
    std::unique_ptr<wardline::Runtime> runtime_;
};

// Sets the current runtime's trap handler for the object's lifetime, then puts back the one
// it had.
class ScopedTrapHandler {
public:
    explicit ScopedTrapHandler(wardline::TrapHandler handler)
        : previous_(wardline::currentRuntime().trapHandler()) {
        wardline::currentRuntime().setTrapHandler(std::move(handler));
    }
    ~ScopedTrapHandler() { wardline::currentRuntime().setTrapHandler(std::move(previous_)); }
    ScopedTrapHandler(const ScopedTrapHandler&) = delete;
    ScopedTrapHandler& operator=(const ScopedTrapHandler&) = delete;

private:
    wardline::TrapHandler previous_;
};

}  // namespace testsupport
