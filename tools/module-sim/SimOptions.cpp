#include "module-sim/SimOptions.h"

#include <arpa/inet.h>

#include "module-sim/CommandLine.h"

namespace omblor::modulesim {

std::string SimHelp() {
    return "usage: module-sim [OPTION]...\n"
           "       module-sim discover [OPTION]...   (module-sim discover --help)\n"
           "A simulated module for trying and testing omblor without hardware. It listens on\n"
           "TCP on loopback and plays the module's side of one update exchange.\n"
           "\n"
           "  --address ADDR         listen on ADDR, in 127.0.0.0/8 (default 127.0.0.1)\n"
           "  --port N               TCP port (default " +
           std::to_string(net::kModulePort) +
           "; 0 picks a free one)\n"
           "  --timeout SECONDS      give up after this long, exit 3 (default 120)\n"
           "  --save-image FILE      write the received image to FILE\n"
           "  --transcript FILE      write every byte received to FILE\n"
           "  --line-delay MS        wait this long before each line (default 0)\n"
           "  --end-wait SECONDS     how long the tool may keep the connection after the end\n"
           "                         (default 5)\n"
           "\n"
           "The exchange, one step after the other; each line waits for the reply to the one\n"
           "before:\n"
           "  platform     100 Platform:NAME:1.0\n"
           "  credentials  101 Login required      reply: user, zero byte, password, CR LF\n"
           "  header       102 Send header         reply: base address and length, big-endian\n"
           "  image        103 Send image          reply: length bytes\n"
           "  progress     CODE Programming        one line per progress code\n"
           "  reboot       105 Reboot?             reply: R or D\n"
           "  complete     106 Programming complete\n"
           "  --platform NAME        platform name on the 100 line (default QX19)\n"
           "  --credentials U:P      ask for credentials and expect user U, password P\n"
           "  --progress LIST        comma-separated progress codes, or none\n"
           "                         (default 325,350,375,400)\n"
           "  --fail-at STEP         send the failure line instead of STEP's line\n"
           "  --fail-line TEXT       the failure line (default \"250 Programming failed\")\n"
           "  --close-at STEP        close the connection instead of sending STEP's line\n"
           "  --silent-at STEP       from STEP on send nothing; wait for the tool to close\n"
           "  --pad STEP=N           pad the step's line with '.' to N characters\n"
           "  --split STEP=N|cr      send the step's line in two writes, the first of N bytes,\n"
           "                         or split between its CR and LF\n"
           "  --coalesce STEP        send the step's line in the same write as the one before\n"
           "  Texts take \\xHH for any byte and \\\\ for a backslash.\n"
           "\n"
           "Checks (a mismatch makes the connection's result unexpected):\n"
           "  --expect-length N      the header's length (else 253 Wrong image length)\n"
           "  --expect-reboot R|D    the reboot reply\n"
           "  --expect OUTCOME       the outcome that counts as ok: completed, failed, refused,\n"
           "                         denied, dropped, closed, aborted (default: what the\n"
           "                         script implies)\n"
           "\n"
           "Output: \"listening ADDR:PORT\" once listening, \"connection 1 from ADDR:PORT\", a\n"
           "\"result ok|unexpected ...\" line (with \"mismatch 1: ...\" lines before it), and a\n"
           "final \"summary ...\" line. Exit: 0 the connection ended as scripted, 1 it did not,\n"
           "2 bad options or cannot listen, 3 time-out, 4 stopped by SIGINT or SIGTERM.\n";
}

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
};

constexpr option kOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"address", required_argument, nullptr, kAddress},
    {"port", required_argument, nullptr, kPort},
    {"timeout", required_argument, nullptr, kTimeout},
    {"save-image", required_argument, nullptr, kSaveImage},
    {"transcript", required_argument, nullptr, kTranscript},
    {"line-delay", required_argument, nullptr, kLineDelay},
    {"end-wait", required_argument, nullptr, kEndWait},
    {"platform", required_argument, nullptr, kPlatform},
    {"credentials", required_argument, nullptr, kCredentials},
    {"progress", required_argument, nullptr, kProgress},
    {"fail-at", required_argument, nullptr, kFailAt},
    {"fail-line", required_argument, nullptr, kFailLine},
    {"close-at", required_argument, nullptr, kCloseAt},
    {"silent-at", required_argument, nullptr, kSilentAt},
    {"pad", required_argument, nullptr, kPad},
    {"split", required_argument, nullptr, kSplit},
    {"coalesce", required_argument, nullptr, kCoalesce},
    {"expect-length", required_argument, nullptr, kExpectLength},
    {"expect-reboot", required_argument, nullptr, kExpectReboot},
    {"expect", required_argument, nullptr, kExpect},
    {nullptr, 0, nullptr, 0},
};

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
        default:
            return false;
    }
}

}  // namespace

ParsedOptions ParseSimOptions(std::span<const std::string> args) {
    ParsedOptions result;
    SimOptions& o = result.options;
    result.error = ParseCommandLine(
        args, kOptions, [&o](int id, std::string_view value) { return Apply(o, id, value); });
    if (!result.error.empty() || o.help) return result;

    // Only loopback: the simulator is for this machine's tests and demos.
    in_addr address{};
    if (::inet_pton(AF_INET, o.address.c_str(), &address) != 1) {
        result.error = "invalid address '" + o.address + "'";
    } else if ((ntohl(address.s_addr) >> 24) != 127) {
        result.error = "address " + o.address + " is outside 127.0.0.0/8";
    } else if (int{o.failAt.has_value()} + int{o.closeAt.has_value()} +
                   int{o.silentAt.has_value()} >
               1) {
        result.error = "--fail-at, --close-at and --silent-at exclude each other";
    }
    return result;
}

}  // namespace omblor::modulesim
