// Cost of one enter/leave pair on the trace stack with tracing off, at depth 1 and at
// depth 50, beside an empty pair of calls that the compiler may not inline (the floor),
// and of a procedure of three trivial numbered statements run through wardline::Procedure,
// beside the same statements run without the trace stack and the trap.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "errortrap/core/trace_stack.h"
#include "errortrap/startup.h"
#include "errortrap/trace/enter_leave.h"
#include "errortrap/trace/procedure.h"
#include "support/scoped_runtime.h"

namespace {

const std::string kModule = "frmMain.frm";
const std::string kProcedure = "Sub tmrMain_Timer";
const std::string kArguments;

[[gnu::noinline]] void emptyEnter(const std::string& module, const std::string& procedure,
                                  const std::string& arguments) {
    benchmark::DoNotOptimize(&module);
    benchmark::DoNotOptimize(&procedure);
    benchmark::DoNotOptimize(&arguments);
}
[[gnu::noinline]] void emptyLeave(const std::string& module, const std::string& procedure,
                                  const std::string& arguments) {
    benchmark::DoNotOptimize(&module);
    benchmark::DoNotOptimize(&procedure);
    benchmark::DoNotOptimize(&arguments);
}

void BM_EmptyCallPair(benchmark::State& state) {
    for (auto _ : state) {
        emptyEnter(kModule, kProcedure, kArguments);
        emptyLeave(kModule, kProcedure, kArguments);
    }
}
BENCHMARK(BM_EmptyCallPair);

// Enters depth - 1 frames of other procedures first, so the measured pair runs at `depth`.
void BM_EnterLeavePair(benchmark::State& state) {
    testsupport::ScopedRuntime runtime;
    const int depth = static_cast<int>(state.range(0));
    const std::string outerModule = "frmAbout.frm";
    std::vector<std::string> outerNames;  // the frames refer to them, so they stay until the end
    outerNames.reserve(static_cast<std::size_t>(depth));
    for (int level = 1; level < depth; ++level)
        wardline::wlPUSH(outerModule, outerNames.emplace_back("Function Outer" + std::to_string(level)),
                         kArguments);

    for (auto _ : state) {
        wardline::wlPUSH(kModule, kProcedure, kArguments);
        wardline::wlPOP(kModule, kProcedure, kArguments);
    }

    if (runtime->traceStack().traceDepth != depth - 1)
        state.SkipWithError("the pair left the stack unbalanced");
}
BENCHMARK(BM_EnterLeavePair)->Arg(1)->Arg(50);

// The same pair made by the instrumentation helper around three numbered statements that
// each bump a counter the compiler cannot drop.
void BM_ProcedureThreeStatements(benchmark::State& state) {
    testsupport::ScopedRuntime runtime;
    wardline::startRuntime(wardline::currentRuntime());
    int counter = 0;
    for (auto _ : state) {
        wardline::Procedure(kModule, kProcedure).run({
            {10, [&] { benchmark::DoNotOptimize(++counter); }},
            {20, [&] { benchmark::DoNotOptimize(++counter); }},
            {30, [&] { benchmark::DoNotOptimize(++counter); }},
        });
    }
    if (runtime->traceStack().traceDepth != 0 || counter != 3 * static_cast<int>(state.iterations()))
        state.SkipWithError("the procedure did not run its statements between a balanced pair");
}
BENCHMARK(BM_ProcedureThreeStatements);

// The floor of the one above: the same statements run one after the other as a procedure
// runs them, without the trace stack and the trap.
void BM_PlainThreeStatements(benchmark::State& state) {
    int counter = 0;
    for (auto _ : state) {
        wardline::Procedure::runPlainly({
            {10, [&] { benchmark::DoNotOptimize(++counter); }},
            {20, [&] { benchmark::DoNotOptimize(++counter); }},
            {30, [&] { benchmark::DoNotOptimize(++counter); }},
        });
    }
    if (counter != 3 * static_cast<int>(state.iterations())) state.SkipWithError("the statements did not all run");
}
BENCHMARK(BM_PlainThreeStatements);

}  // namespace

BENCHMARK_MAIN();
