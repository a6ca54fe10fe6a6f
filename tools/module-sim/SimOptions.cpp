#include "module-sim/SimOptions.h"

#include <arpa/inet.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "module-sim/CommandLine.h"

namespace omblor::modulesim {

namespace {

enum Id : int {
    kAddress = 256,
    kPort,
    kTimeout,
    kSaveImage,
    kTranscript,
    kLineDelay,
    kEndWait,
    kPlatform,
    kCredentials,
    kProgress,
    kFailAt,
    kFailLine,
    kCloseAt,
    kSilentAt,
    kPad,
    kSplit,
    kCoalesce,
    kExpectLength,
    kExpectReboot,
    kExpect,
    kModules,
    kVariations,
    kRate,
    kCloseInImage,
    kDrip,
    kGarbage,
    kFaulty,
    kConnections,
    kDiscoverable,
    kApplication,
    kApplicationAfter,
    kRebootSeconds,
};

// Where an option shows in the help.
enum class Section { Where, Exchange, Faults, Discovery, Checks };
// Whether a line of the variations file may give it: what changes the exchange may, where the
// module listens and how long it lives may not.
enum class PerModule { No, Yes };

struct SimOption {
    OptionSpec spec;
    Section section;
    PerModule perModule;
};

const std::vector<SimOption>& SimOptionTable() {
    using enum Section;
    static const std::vector<SimOption> table = {
        {{kAddress, "address", "ADDR", "listen on ADDR, in 127.0.0.0/8 (default 127.0.0.1)"},
         Where,
         PerModule::No},
        {{kPort, "port", "N",
          "TCP port (default " + std::to_string(net::kModulePort) + "; 0 picks a free one)"},
         Where,
         PerModule::No},
        {{kTimeout, "timeout", "SECONDS", "give up after this long, exit 3 (default 120)"},
         Where,
         PerModule::No},
        {{kSaveImage, "save-image", "FILE", "write the received image to FILE"},
         Where,
         PerModule::No},
        {{kTranscript, "transcript", "FILE", "write every byte received to FILE"},
         Where,
         PerModule::No},
        {{kLineDelay, "line-delay", "MS", "wait this long before each line (default 0)"},
         Where,
         PerModule::Yes},
        {{kEndWait, "end-wait", "SECONDS",
          "how long the tool may keep the connection after the end\n(default 5)"},
         Where,
         PerModule::No},
        {{kModules, "modules", "N",
          "play N modules on N consecutive addresses from --address,\nall at once; --save-image "
          "and --transcript then name\nfolders that get ADDRESS.bin and ADDRESS.transcript"},
         Where,
         PerModule::No},
        {{kVariations, "variations", "FILE",
          "per-module changes, a line each: ADDRESS OPTION...\n(the exchange's options below; a "
          "blank in a value is \\x20)"},
         Where,
         PerModule::No},
        {{kPlatform, "platform", "NAME", "platform name on the 100 line (default QX19)"},
         Exchange,
         PerModule::Yes},
        {{kCredentials, "credentials", "U:P", "ask for credentials and expect user U, password P"},
         Exchange,
         PerModule::Yes},
        {{kProgress, "progress", "LIST",
          "comma-separated progress codes, or none\n(default 325,350,375,400)"},
         Exchange,
         PerModule::Yes},
        {{kFailAt, "fail-at", "STEP", "send the failure line instead of STEP's line"},
         Exchange,
         PerModule::Yes},
        {{kFailLine, "fail-line", "TEXT", "the failure line (default \"250 Programming failed\")"},
         Exchange,
         PerModule::Yes},
        {{kCloseAt, "close-at", "STEP", "close the connection instead of sending STEP's line"},
         Exchange,
         PerModule::Yes},
        {{kSilentAt, "silent-at", "STEP", "from STEP on send nothing; wait for the tool to close"},
         Exchange,
         PerModule::Yes},
        {{kPad, "pad", "STEP=N", "pad the step's line with '.' to N characters"},
         Exchange,
         PerModule::Yes},
        {{kSplit, "split", "STEP=N|cr",
          "send the step's line in two writes, the first of N bytes,\nor split between its CR and "
          "LF"},
         Exchange,
         PerModule::Yes},
        {{kCoalesce, "coalesce", "STEP",
          "send the step's line in the same write as the one before"},
         Exchange,
         PerModule::Yes},
        {{kRate, "rate", "BYTES", "take the image no faster than BYTES a second"},
         Exchange,
         PerModule::Yes},
        {{kCloseInImage, "close-in-image", "N",
          "close once N bytes of the image have come (every time)"},
         Faults,
         PerModule::Yes},
        {{kDrip, "drip", "MS", "send each line a byte at a time, MS apart"},
         Faults,
         PerModule::Yes},
        {{kGarbage, "garbage", "STEP=N",
          "send N lines of noise before the step's line (code 0:\nthe tool ignores them)"},
         Faults,
         PerModule::Yes},
        {{kFaulty, "faulty", "N",
          "the faults (--fail-at, --close-at, --silent-at and the\nthree above) play on the first "
          "N connections only"},
         Faults,
         PerModule::Yes},
        {{kConnections, "connections", "N",
          "serve N connections, one after the other (default 1,\nwith --faulty N: N+1)"},
         Faults,
         PerModule::Yes},
        {{kDiscoverable, "discoverable", "",
          "also answer the discovery search for the module's address\n(inside a private network "
          "namespace only)"},
         Discovery,
         PerModule::Yes},
        {{kApplication, "application", "NAME", "application name in its replies (default App)"},
         Discovery,
         PerModule::Yes},
        {{kApplicationAfter, "application-after", "NAME",
          "the name once it has rebooted (default: NAME.new)"},
         Discovery,
         PerModule::Yes},
        {{kRebootSeconds, "reboot-seconds", "S",
          "after the reboot answer R, quiet this long: no reply, no\nconnection (default 2)"},
         Discovery,
         PerModule::Yes},
        {{kExpectLength, "expect-length", "N", "the header's length (else 253 Wrong image length)"},
         Checks,
         PerModule::No},
        {{kExpectReboot, "expect-reboot", "R|D", "the reboot reply"}, Checks, PerModule::Yes},
        {{kExpect, "expect", "OUTCOME",
          "the outcome that counts as ok: completed, failed, refused,\ndenied, dropped, closed, "
          "aborted (default: what the\nscript implies)"},
         Checks,
         PerModule::Yes},
    };
    return table;
}

template <class Keep>
std::vector<const OptionSpec*> Options(Keep keep) {
    std::vector<const OptionSpec*> specs;
    for (const SimOption& option : SimOptionTable())
        if (keep(option)) specs.push_back(&option.spec);
    return specs;
}

std::string SectionHelp(Section section) {
    return OptionHelp(Options([section](const SimOption& o) { return o.section == section; }), 25);
}

}  // namespace

std::string SimHelp() {
    return "usage: module-sim [OPTION]...\n"
           "       module-sim discover [OPTION]...   (module-sim discover --help)\n"
           "       module-sim --help | --version\n"
           "A simulated module for trying and testing omblor without hardware. It listens on\n"
           "TCP on loopback and plays the module's side of one update exchange.\n"
           "\n" +
           SectionHelp(Section::Where) +
           "\n"
           "The exchange, one step after the other; each line waits for the reply to the one\n"
           "before:\n"
           "  platform     100 Platform:NAME:1.0\n"
           "  credentials  101 Login required      reply: user, zero byte, password, CR LF\n"
           "  header       102 Send header         reply: base address and length, big-endian\n"
           "  image        103 Send image          reply: length bytes\n"
           "  progress     CODE Programming        one line per progress code\n"
           "  reboot       105 Reboot?             reply: R or D\n"
           "  complete     106 Programming complete\n" +
           SectionHelp(Section::Exchange) +
           "  Texts take \\xHH for any byte and \\\\ for a backslash.\n"
           "\n"
           "A flaky module:\n" +
           SectionHelp(Section::Faults) +
           "\n"
           "In the discovery search (its interface MAC is 02-00 and the four bytes of its\n"
           "address):\n" +
           SectionHelp(Section::Discovery) +
           "\n"
           "Checks (a mismatch makes the connection's result unexpected):\n" +
           SectionHelp(Section::Checks) +
           "\n"
           "Output: \"listening ADDR:PORT\" once listening, \"connection 1 from ADDR:PORT\", a\n"
           "\"result ok|unexpected ...\" line (with \"mismatch 1: ...\" lines before it), and a\n"
           "final \"summary ...\" line. Exit: 0 the connection ended as scripted, 1 it did not,\n"
           "2 bad options or cannot listen, 3 time-out, 4 stopped by SIGINT or SIGTERM.\n";
}

namespace {

// Applies one option; false when its value is bad.
bool Apply(SimOptions& o, int id, std::string_view v) {
    // "STEP" and "STEP=VALUE" for the per-step options.
    const auto eq = v.find('=');
    const auto step = StepFromName(v.substr(0, eq));
    const std::string_view after = eq == std::string_view::npos ? "" : v.substr(eq + 1);
    switch (id) {
        case 'h':
            o.help = true;
            return true;
        case kAddress:
            o.address = v;
            return true;
        case kPort: {
            const auto n = ParseUnsigned(v, 65535);
            o.port = static_cast<std::uint16_t>(n.value_or(0));
            return n.has_value();
        }
        case kTimeout: {
            const auto t = ParseSeconds(v);
            o.timeout = t.value_or(o.timeout);
            return t.has_value();
        }
        case kSaveImage:
            o.saveImage = v;
            return true;
        case kLineDelay: {
            const auto n = ParseUnsigned(v, 60000);
            o.lineDelay = std::chrono::milliseconds(n.value_or(0));
            return n.has_value();
        }
        case kEndWait: {
            const auto t = ParseSeconds(v);
            o.endWait = t.value_or(o.endWait);
            return t.has_value();
        }
        case kTranscript:
            o.transcript = v;
            return true;
        case kPlatform:
        case kFailLine: {
            auto text = Unescape(v);
            (id == kPlatform ? o.platform : o.failLine) = text.value_or("");
            return text.has_value();
        }
        case kCredentials: {
            // Split before unescaping, so \x3A can put a colon into the user name.
            const auto colon = v.find(':');
            if (colon == std::string_view::npos) return false;
            o.user = Unescape(v.substr(0, colon));
            auto password = Unescape(v.substr(colon + 1));
            o.password = password.value_or("");
            return o.user && password;
        }
        case kProgress:
            o.progress.clear();
            for (std::string_view rest = v == "none" ? "" : v; !rest.empty();) {
                const auto comma = rest.find(',');
                const auto code = ParseUnsigned(rest.substr(0, comma), 999);
                if (!code) return false;
                o.progress.push_back(static_cast<std::int32_t>(*code));
                rest = comma == std::string_view::npos ? "" : rest.substr(comma + 1);
            }
            return true;
        case kFailAt:
            o.failAt = StepFromName(v);
            return o.failAt.has_value();
        case kCloseAt:
            o.closeAt = StepFromName(v);
            return o.closeAt.has_value();
        case kSilentAt:
            o.silentAt = StepFromName(v);
            return o.silentAt.has_value();
        case kPad: {
            const auto n = ParseUnsigned(after, 1U << 20);
            if (!step || !n) return false;
            o.tweaks[StepIndex(*step)].pad = static_cast<std::size_t>(*n);
            return true;
        }
        case kSplit: {
            const auto n = ParseUnsigned(after, 1U << 20);
            if (!step || !(after == "cr" || (n && *n > 0))) return false;
            auto& tweaks = o.tweaks[StepIndex(*step)];
            tweaks.splitAfterCr = after == "cr";
            if (n) tweaks.split = static_cast<std::size_t>(*n);
            return true;
        }
        case kCoalesce:
            if (!step || eq != std::string_view::npos) return false;
            o.tweaks[StepIndex(*step)].coalesce = true;
            return true;
        case kExpectLength: {
            const auto n = ParseUnsigned(v, 0xFFFFFFFFU);
            if (n) o.expectLength = static_cast<std::uint32_t>(*n);
            return n.has_value();
        }
        case kExpectReboot:
            if (v != "R" && v != "D") return false;
            o.expectReboot = v[0];
            return true;
        case kExpect:
            o.expect = OutcomeFromName(v);
            return o.expect && *o.expect != Outcome::Timeout && *o.expect != Outcome::Stopped;
        case kModules: {
            const auto n = ParseUnsigned(v, 1U << 16);
            o.modules = static_cast<std::uint32_t>(n.value_or(0));
            return o.modules > 0;
        }
        case kVariations:
            o.variations = v;
            return true;
        case kRate: {
            const auto n = ParseUnsigned(v, std::uint64_t{1} << 40);
            o.rate = n.value_or(0);
            return n.has_value();
        }
        case kCloseInImage: {
            const auto n = ParseUnsigned(v, 0xFFFFFFFFU);
            if (n) o.closeInImage = *n;
            return n.has_value();
        }
        case kDrip: {
            const auto n = ParseUnsigned(v, 60000);
            o.drip = std::chrono::milliseconds(n.value_or(0));
            return n.has_value();
        }
        case kGarbage: {
            const auto n = ParseUnsigned(after, 1000);
            if (!step || !n) return false;
            o.tweaks[StepIndex(*step)].garbage = static_cast<std::size_t>(*n);
            return true;
        }
        case kFaulty:
        case kConnections: {
            const auto n = ParseUnsigned(v, 1000);
            if (n) (id == kFaulty ? o.faulty : o.connections) = static_cast<std::uint32_t>(*n);
            return n.has_value() && (id == kFaulty || *n > 0);
        }
        case kDiscoverable:
            o.discoverable = Discoverable::Yes;
            return true;
        case kApplication:
        case kApplicationAfter: {
            auto text = Unescape(v);
            if (id == kApplication) {
                o.application = text.value_or("");
            } else {
                o.applicationAfter = text;
            }
            return text.has_value();
        }
        case kRebootSeconds: {
            const auto t = ParseSeconds(v);
            o.rebootTime = t.value_or(o.rebootTime);
            return t.has_value();
        }
        default:
            return false;
    }
}

std::string CheckSteps(const SimOptions& o) {
    if (int{o.failAt.has_value()} + int{o.closeAt.has_value()} + int{o.silentAt.has_value()} +
            int{o.closeInImage.has_value()} >
        1) {
        return "--fail-at, --close-at, --silent-at and --close-in-image exclude each other";
    }
    if (o.faulty && o.Connections() <= *o.faulty) {
        return "--connections must leave a connection after the --faulty ones";
    }
    return {};
}

std::string Dotted(std::uint32_t address) {
    in_addr a{htonl(address)};
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

}  // namespace

SimOptions SimOptions::WithoutFaults() const {
    SimOptions plain = *this;
    plain.failAt.reset();
    plain.closeAt.reset();
    plain.silentAt.reset();
    plain.closeInImage.reset();
    plain.drip = std::chrono::milliseconds(0);
    plain.expect.reset();
    for (StepTweaks& t : plain.tweaks) t.garbage = 0;
    return plain;
}

ParsedOptions ParseSimOptions(std::span<const std::string> args) {
    ParsedOptions result;
    SimOptions& o = result.options;
    result.error =
        ParseCommandLine(args, Options([](const SimOption&) { return true; }),
                         [&o](int id, std::string_view value) { return Apply(o, id, value); });
    if (!result.error.empty() || o.help) return result;

    // Only loopback: the simulator is for this machine's tests and demos.
    in_addr address{};
    if (::inet_pton(AF_INET, o.address.c_str(), &address) != 1) {
        result.error = "invalid address '" + o.address + "'";
    } else if ((ntohl(address.s_addr) >> 24) != 127 ||
               ((ntohl(address.s_addr) + (o.modules - 1)) >> 24) != 127) {
        result.error = "address " + o.address + " is outside 127.0.0.0/8";
    } else {
        result.error = CheckSteps(o);
    }
    return result;
}

ModuleOptions OptionsPerModule(const SimOptions& base) {
    ModuleOptions result;
    in_addr first{};
    ::inet_pton(AF_INET, base.address.c_str(), &first);
    for (std::uint32_t i = 0; i < base.modules; ++i) {
        SimOptions& module = result.modules.emplace_back(base);
        module.address = Dotted(ntohl(first.s_addr) + i);
        if (base.modules > 1 && !base.saveImage.empty())
            module.saveImage = base.saveImage + "/" + module.address + ".bin";
        if (base.modules > 1 && !base.transcript.empty())
            module.transcript = base.transcript + "/" + module.address + ".transcript";
    }
    if (base.variations.empty()) return result;
    std::ifstream file(base.variations);
    if (!file) {
        result.error = "cannot read " + base.variations;
        return result;
    }
    int number = 0;
    for (std::string line; std::getline(file, line);) {
        ++number;
        std::istringstream words(line);
        std::string address;
        if (!(words >> address) || address.starts_with('#')) continue;
        const std::string where = base.variations + ":" + std::to_string(number) + ": ";
        const auto module = std::ranges::find(result.modules, address, &SimOptions::address);
        if (module == result.modules.end()) {
            result.error = where + address + " is not one of the modules";
            return result;
        }
        std::vector<std::string> args;
        for (std::string word; words >> word;) args.push_back(word);
        const auto perModule =
            Options([](const SimOption& o) { return o.perModule == PerModule::Yes; });
        result.error = ParseCommandLine(args, perModule, [&](int id, std::string_view v) {
            return id != 'h' && Apply(*module, id, v);
        });
        if (result.error.empty()) result.error = CheckSteps(*module);
        if (!result.error.empty()) {
            result.error.insert(0, where);
            return result;
        }
    }
    return result;
}

}  // namespace omblor::modulesim
