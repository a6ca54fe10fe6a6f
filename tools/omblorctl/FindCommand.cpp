// omblorctl find [--json] [--seconds S]: one search, then every module heard.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "Commands.h"
#include "Options.h"
#include "Output.h"
#include "SearchRun.h"
#include "StopSignal.h"
#include "platform/WriteAll.h"

namespace omblor::ctl {

int RunFind(int argc, char** argv) {
    const auto parsed = ParseFind(argc, argv);
    if (!parsed.options) return parsed.exitCode;
    const FindOptions& options = *parsed.options;

    SearchRun search;
    const StopSignal stop(nullptr);
    search.Run(options.extra, [&] { return stop.Stopped(); });

    const auto modules = search.Devices().Modules();
    std::string out;
    if (options.format == Format::Json) {
        for (const auto& module : modules) out += FoundJsonLine(*module);
    } else if (!modules.empty()) {
        out = FoundTable(modules);
    }
    platform::WriteAll(STDOUT_FILENO, out);
    return modules.empty() ? kExitFailed : kExitOk;
}

}  // namespace omblor::ctl
