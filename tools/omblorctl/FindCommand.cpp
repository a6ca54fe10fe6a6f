// omblorctl find [--json] [--seconds S]: one search, then every module heard.
#include <getopt.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "Commands.h"
#include "Output.h"
#include "SearchRun.h"
#include "StopSignal.h"
#include "platform/WriteAll.h"

namespace omblor::ctl {

namespace {

constexpr const char* kFindUsage = "usage: omblorctl find [--json] [--seconds S]\n";

bool ParseSeconds(const char* text, std::chrono::milliseconds& out) {
    char* end = nullptr;
    const double seconds = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(seconds >= 0 && seconds <= 3600)) return false;
    out = std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
    return true;
}

}  // namespace

int RunFind(int argc, char** argv) {
    static const option kOptions[] = {{"json", no_argument, nullptr, 'j'},
                                      {"seconds", required_argument, nullptr, 's'},
                                      {"help", no_argument, nullptr, 'h'},
                                      {nullptr, 0, nullptr, 0}};
    bool json = false;
    std::chrono::milliseconds extra{0};
    optind = 1;
    for (int c; (c = ::getopt_long(argc, argv, "", kOptions, nullptr)) != -1;) {
        if (c == 'j') {
            json = true;
        } else if (c == 's' && ParseSeconds(optarg, extra)) {
        } else if (c == 'h') {
            std::fputs(kFindUsage, stdout);
            return kExitOk;
        } else {
            if (c == 's') std::fprintf(stderr, "omblorctl: --seconds wants 0 to 3600\n");
            std::fputs(kFindUsage, stderr);
            return kExitUsage;
        }
    }
    if (optind != argc) {
        std::fputs(kFindUsage, stderr);
        return kExitUsage;
    }

    SearchRun search;
    const StopSignal stop(nullptr);
    search.Run(extra, [&] { return stop.Stopped(); });

    const auto modules = search.Devices().Modules();
    std::string out;
    if (json) {
        for (const auto& module : modules) out += FoundJsonLine(*module);
    } else if (!modules.empty()) {
        out = FoundTable(modules);
    }
    platform::WriteAll(STDOUT_FILENO, out);
    return modules.empty() ? kExitFailed : kExitOk;
}

}  // namespace omblor::ctl
