#include "module-sim/SimOptions.h"

#include <arpa/inet.h>

#include <charconv>
#include <cmath>
#include <functional>
#include <limits>

namespace omblor::modulesim {

const std::string_view kSimHelp =
    "usage: module-sim [OPTION]...\n"
    "A simulated module for trying and testing omblor without hardware. It listens on TCP and\n"
    "plays the module's side of one update exchange per connection.\n"
    "\n"
    "Where and how long:\n"
    "  --address ADDR         listen on ADDR (default 127.0.0.1; only 127.0.0.0/8 unless\n"
    "                         --allow-any-address)\n"
    "  --port N               TCP port (default 20034; 0 picks a free one)\n"
    "  --allow-any-address    allow an address outside 127.0.0.0/8\n"
    "  --connections N        serve N connections one after the other (default 1)\n"
    "  --timeout SECONDS      give up after this long, exit 3 (default 120)\n"
    "  --end-wait SECONDS     after the scripted end, wait this long for the tool to close\n"
    "                         (default 5)\n"
    "  --save-image FILE      write the received image to FILE\n"
    "  --transcript FILE      write every byte received to FILE\n"
    "\n"
    "The exchange, one step after the other; each line waits for the reply to the one before:\n"
    "  platform     100 Platform:NAME:1.0\n"
    "  credentials  101 Login required      reply: user, zero byte, password, CR LF\n"
    "  header       102 Send header         reply: base address and length, big-endian\n"
    "  image        103 Send image          reply: length bytes\n"
    "  progress     CODE Programming        one line per progress code\n"
    "  reboot       105 Reboot?             reply: R or D\n"
    "  complete     106 Programming complete\n"
    "  --platform NAME        platform name on the 100 line (default QX19)\n"
    "  --platform-line TEXT   the whole 100 line instead (same as --line platform=TEXT)\n"
    "  --no-platform          no 100 line (same as --skip platform)\n"
    "  --user U               ask for credentials and expect user U\n"
    "  --password P           the password expected with --user (default empty)\n"
    "  --credentials U:P      both at once\n"
    "  --progress LIST        comma-separated progress codes, or none (default\n"
    "                         325,350,375,400; --progress-codes is the same)\n"
    "  --complete-code CODE   completion code (default 106)\n"
    "  --fail-at STEP         send the failure line instead of STEP's line\n"
    "  --fail-line TEXT       the failure line (default \"250 Programming failed\")\n"
    "  --close-at STEP        close the connection instead of sending STEP's line\n"
    "  --silent-at STEP       from STEP on send nothing; wait for the tool to close\n"
    "  --deny-line TEXT       sent for wrong credentials (default \"252 Login failed\")\n"
    "  --refuse-line TEXT     sent for a header of eight zero bytes\n"
    "                         (default \"251 Platform not supported\")\n"
    "  --wrong-header-line TEXT  sent when --expect-base or --expect-length does not match\n"
    "                         (default \"253 Wrong image length\")\n"
    "\n"
    "Shaping lines (STEP is one of the step names above; the per-step options repeat and win\n"
    "over the global ones):\n"
    "  --line STEP=TEXT       replace the step's line text (CR LF is added)\n"
    "  --pad STEP=N           pad the text with '.' to N characters\n"
    "  --delay STEP=MS        wait MS before the line (before each progress line)\n"
    "  --split STEP=N|cr      send the line in two writes, the first of N bytes, or split\n"
    "                         between its CR and LF\n"
    "  --coalesce STEP        send the line in the same write as the line before it\n"
    "  --skip STEP            leave the step out (not header or image)\n"
    "  --long-line N          send a line of N 'x' characters before everything else\n"
    "  --split-lines          split every line between its CR and LF\n"
    "  --together             the line after the 100 line goes in the same write\n"
    "  --line-delay MS        wait MS before every line\n"
    "  --split-delay MS       pause between the two writes of a split line (default 50)\n"
    "  TEXT takes \\r \\n \\t \\0 \\\\ and \\xHH escapes.\n"
    "\n"
    "Checks (a mismatch makes the connection's result unexpected):\n"
    "  --expect-base N        the header's base address (decimal or 0x hex)\n"
    "  --expect-length N      the header's length\n"
    "  --expect-reboot R|D    the reboot reply\n"
    "  --expect OUTCOME       the outcome that counts as ok: completed, failed, refused,\n"
    "                         denied, dropped, closed, aborted (default: what the script\n"
    "                         implies)\n"
    "  --max-image BYTES      give up on a header announcing more (default 268435456)\n"
    "\n"
    "Output: \"listening ADDR:PORT\" once listening, \"connection N from ADDR:PORT\", one\n"
    "\"result ok|unexpected ...\" line per connection (with \"mismatch N: ...\" lines before it),\n"
    "and a final \"summary ...\" line. Exit: 0 every connection ended as scripted, 1 one did\n"
    "not, 2 bad options or cannot listen, 3 time-out, 4 stopped by SIGINT or SIGTERM.\n";

namespace {

std::optional<std::uint64_t> ParseUnsigned(std::string_view text, std::uint64_t max) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || value > max) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int32_t> ParseCode(std::string_view text) {
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<std::chrono::milliseconds> ParseSeconds(std::string_view text) {
    double seconds = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() ||
        !std::isfinite(seconds) || seconds < 0 || seconds > 1e6) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(static_cast<std::int64_t>(std::llround(seconds * 1000)));
}

// "STEP=VALUE" for the per-step options.
struct StepValue {
    Step step = Step::Platform;
    std::string_view value;
};

std::optional<StepValue> ParseStepValue(std::string_view text) {
    const auto eq = text.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    const auto step = StepFromName(text.substr(0, eq));
    if (!step) return std::nullopt;
    return StepValue{*step, text.substr(eq + 1)};
}

using Handler = std::function<std::string(SimOptions&, std::string_view)>;

struct OptionSpec {
    std::string_view name;
    bool takesValue = true;
    Handler apply;  // returns an error text, empty when fine
};

std::string Bad(std::string_view option, std::string_view value) {
    return "invalid value for " + std::string(option) + ": '" + std::string(value) + "'";
}

Handler StepOption(std::optional<Step> SimOptions::*field, std::string_view option) {
    return [field, option](SimOptions& o, std::string_view v) -> std::string {
        const auto step = StepFromName(v);
        if (!step) return Bad(option, v);
        o.*field = step;
        return {};
    };
}

Handler TextOption(std::string SimOptions::*field, std::string_view option, bool escapes) {
    return [field, option, escapes](SimOptions& o, std::string_view v) -> std::string {
        if (!escapes) {
            o.*field = std::string(v);
            return {};
        }
        auto text = Unescape(v);
        if (!text) return Bad(option, v);
        o.*field = std::move(*text);
        return {};
    };
}

Handler StepTweak(std::string_view option,
                  std::function<bool(StepTweaks&, Step, std::string_view)> apply) {
    return [option, apply = std::move(apply)](SimOptions& o, std::string_view v) -> std::string {
        const auto sv = ParseStepValue(v);
        if (!sv || !apply(o.tweaks[StepIndex(sv->step)], sv->step, sv->value))
            return Bad(option, v);
        return {};
    };
}

Handler StepFlag(std::string_view option, std::function<bool(StepTweaks&, Step)> apply) {
    return [option, apply = std::move(apply)](SimOptions& o, std::string_view v) -> std::string {
        const auto step = StepFromName(v);
        if (!step || !apply(o.tweaks[StepIndex(*step)], *step)) return Bad(option, v);
        return {};
    };
}

const std::vector<OptionSpec>& Specs() {
    static const std::vector<OptionSpec> specs = {
        {"--help", false,
         [](SimOptions& o, std::string_view) {
             o.help = true;
             return std::string();
         }},
        {"--address", true, TextOption(&SimOptions::address, "--address", false)},
        {"--port", true,
         [](SimOptions& o, std::string_view v) {
             const auto n = ParseUnsigned(v, 65535);
             if (!n) return Bad("--port", v);
             o.port = static_cast<std::uint16_t>(*n);
             return std::string();
         }},
        {"--allow-any-address", false,
         [](SimOptions& o, std::string_view) {
             o.allowAnyAddress = true;
             return std::string();
         }},
        {"--connections", true,
         [](SimOptions& o, std::string_view v) {
             const auto n = ParseUnsigned(v, 1000);
             if (!n || *n == 0) return Bad("--connections", v);
             o.connections = static_cast<int>(*n);
             return std::string();
         }},
        {"--timeout", true,
         [](SimOptions& o, std::string_view v) {
             const auto t = ParseSeconds(v);
             if (!t || t->count() == 0) return Bad("--timeout", v);
             o.timeout = *t;
             return std::string();
         }},
        {"--end-wait", true,
         [](SimOptions& o, std::string_view v) {
             const auto t = ParseSeconds(v);
             if (!t) return Bad("--end-wait", v);
             o.endWait = *t;
             return std::string();
         }},
        {"--split-delay", true,
         [](SimOptions& o, std::string_view v) {
             const auto n = ParseUnsigned(v, 600000);
             if (!n) return Bad("--split-delay", v);
             o.splitDelay = std::chrono::milliseconds(*n);
             return std::string();
         }},
        {"--save-image", true, TextOption(&SimOptions::saveImage, "--save-image", false)},
        {"--transcript", true, TextOption(&SimOptions::transcript, "--transcript", false)},
        {"--platform", true, TextOption(&SimOptions::platform, "--platform", true)},
        {"--credentials", true,
         [](SimOptions& o, std::string_view v) {
             // Split before unescaping, so \x3A can put a colon into the user name.
             const auto colon = v.find(':');
             if (colon == std::string_view::npos) return Bad("--credentials", v);
             auto user = Unescape(v.substr(0, colon));
             auto password = Unescape(v.substr(colon + 1));
             if (!user || !password) return Bad("--credentials", v);
             o.user = std::move(*user);
             o.password = std::move(*password);
             return std::string();
         }},
        {"--user", true,
         [](SimOptions& o, std::string_view v) {
             auto user = Unescape(v);
             if (!user) return Bad("--user", v);
             o.user = std::move(*user);
             return std::string();
         }},
        {"--password", true, TextOption(&SimOptions::password, "--password", true)},
        {"--progress", true,
         [](SimOptions& o, std::string_view v) {
             o.progress.clear();
             if (v == "none") return std::string();
             while (!v.empty()) {
                 const auto comma = v.find(',');
                 const auto code = ParseCode(v.substr(0, comma));
                 if (!code) return Bad("--progress", v);
                 o.progress.push_back(*code);
                 v = comma == std::string_view::npos ? std::string_view() : v.substr(comma + 1);
             }
             return std::string();
         }},
        {"--complete-code", true,
         [](SimOptions& o, std::string_view v) {
             const auto code = ParseCode(v);
             if (!code) return Bad("--complete-code", v);
             o.completeCode = *code;
             return std::string();
         }},
        {"--fail-at", true, StepOption(&SimOptions::failAt, "--fail-at")},
        {"--close-at", true, StepOption(&SimOptions::closeAt, "--close-at")},
        {"--silent-at", true, StepOption(&SimOptions::silentAt, "--silent-at")},
        {"--fail-line", true, TextOption(&SimOptions::failLine, "--fail-line", true)},
        {"--refuse-line", true, TextOption(&SimOptions::refuseLine, "--refuse-line", true)},
        {"--deny-line", true, TextOption(&SimOptions::denyLine, "--deny-line", true)},
        {"--wrong-header-line", true,
         TextOption(&SimOptions::wrongHeaderLine, "--wrong-header-line", true)},
        {"--platform-line", true,
         [](SimOptions& o, std::string_view v) {
             auto text = Unescape(v);
             if (!text) return Bad("--platform-line", v);
             o.tweaks[StepIndex(Step::Platform)].line = std::move(*text);
             return std::string();
         }},
        {"--no-platform", false,
         [](SimOptions& o, std::string_view) {
             o.tweaks[StepIndex(Step::Platform)].skip = true;
             return std::string();
         }},
        {"--long-line", true,
         [](SimOptions& o, std::string_view v) {
             const auto n = ParseUnsigned(v, 1U << 20);
             if (!n) return Bad("--long-line", v);
             o.longLine = static_cast<std::size_t>(*n);
             return std::string();
         }},
        {"--split-lines", false,
         [](SimOptions& o, std::string_view) {
             o.splitLines = true;
             return std::string();
         }},
        {"--together", false,
         [](SimOptions& o, std::string_view) {
             o.together = true;
             return std::string();
         }},
        {"--line-delay", true,
         [](SimOptions& o, std::string_view v) {
             const auto n = ParseUnsigned(v, 600000);
             if (!n) return Bad("--line-delay", v);
             o.lineDelay = std::chrono::milliseconds(*n);
             return std::string();
         }},
        {"--expect-base", true,
         [](SimOptions& o, std::string_view v) {
             const auto n = ParseUnsigned(v, 0xFFFFFFFFU);
             if (!n) return Bad("--expect-base", v);
             o.expectBase = static_cast<std::uint32_t>(*n);
             return std::string();
         }},
        {"--expect-length", true,
         [](SimOptions& o, std::string_view v) {
             const auto n = ParseUnsigned(v, 0xFFFFFFFFU);
             if (!n) return Bad("--expect-length", v);
             o.expectLength = static_cast<std::uint32_t>(*n);
             return std::string();
         }},
        {"--expect-reboot", true,
         [](SimOptions& o, std::string_view v) {
             if (v != "R" && v != "D") return Bad("--expect-reboot", v);
             o.expectReboot = v[0];
             return std::string();
         }},
        {"--expect", true,
         [](SimOptions& o, std::string_view v) {
             const auto outcome = OutcomeFromName(v);
             if (!outcome || *outcome == Outcome::Timeout || *outcome == Outcome::Stopped) {
                 return Bad("--expect", v);
             }
             o.expect = outcome;
             return std::string();
         }},
        {"--max-image", true,
         [](SimOptions& o, std::string_view v) {
             const auto n = ParseUnsigned(v, 0xFFFFFFFFU);
             if (!n) return Bad("--max-image", v);
             o.maxImage = static_cast<std::size_t>(*n);
             return std::string();
         }},
        {"--line", true,
         StepTweak("--line",
                   [](StepTweaks& t, Step step, std::string_view v) {
                       auto text = Unescape(v);
                       if (!text || step == Step::Progress) return false;
                       t.line = std::move(*text);
                       return true;
                   })},
        {"--pad", true,
         StepTweak("--pad",
                   [](StepTweaks& t, Step, std::string_view v) {
                       const auto n = ParseUnsigned(v, 1U << 20);
                       if (!n) return false;
                       t.pad = static_cast<std::size_t>(*n);
                       return true;
                   })},
        {"--delay", true,
         StepTweak("--delay",
                   [](StepTweaks& t, Step, std::string_view v) {
                       const auto n = ParseUnsigned(v, 600000);
                       if (!n) return false;
                       t.delay = std::chrono::milliseconds(*n);
                       return true;
                   })},
        {"--split", true,
         StepTweak("--split",
                   [](StepTweaks& t, Step, std::string_view v) {
                       if (v == "cr") {
                           t.splitAfterCr = true;
                           return true;
                       }
                       const auto n = ParseUnsigned(v, 1U << 20);
                       if (!n || *n == 0) return false;
                       t.split = static_cast<std::size_t>(*n);
                       return true;
                   })},
        {"--coalesce", true,
         StepFlag("--coalesce",
                  [](StepTweaks& t, Step) {
                      t.coalesce = true;
                      return true;
                  })},
        {"--skip", true,
         StepFlag("--skip",
                  [](StepTweaks& t, Step step) {
                      // Without the header the module would not know how many image bytes to read.
                      if (step == Step::Header || step == Step::Image) return false;
                      t.skip = true;
                      return true;
                  })},
    };
    return specs;
}

bool IsLoopback(std::string_view dotted, bool& valid) {
    in_addr addr{};
    const std::string text(dotted);
    valid = ::inet_pton(AF_INET, text.c_str(), &addr) == 1;
    return valid && (ntohl(addr.s_addr) >> 24) == 127;
}

}  // namespace

std::optional<std::string> Unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) return std::nullopt;
        switch (text[i]) {
            case 'r':
                out += '\r';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case '0':
                out += '\0';
                break;
            case '\\':
                out += '\\';
                break;
            case 'x': {
                unsigned value = 0;
                if (i + 2 >= text.size()) return std::nullopt;
                const char* first = text.data() + i + 1;
                const auto [end, ec] = std::from_chars(first, first + 2, value, 16);
                if (ec != std::errc{} || end != first + 2) return std::nullopt;
                out += static_cast<char>(value);
                i += 2;
                break;
            }
            default:
                return std::nullopt;
        }
    }
    return out;
}

ParsedOptions ParseSimOptions(std::span<const std::string_view> args) {
    ParsedOptions result;
    SimOptions& o = result.options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (arg == "-h") arg = "--help";
        std::string_view name = arg;
        std::optional<std::string_view> value;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        if (name == "--progress-codes") name = "--progress";  // an older spelling
        const OptionSpec* spec = nullptr;
        for (const auto& candidate : Specs()) {
            if (candidate.name == name) spec = &candidate;
        }
        if (spec == nullptr) {
            result.error = "unknown option '" + std::string(arg) + "'";
            return result;
        }
        if (spec->takesValue && !value) {
            if (i + 1 == args.size()) {
                result.error = std::string(name) + " needs a value";
                return result;
            }
            value = args[++i];
        } else if (!spec->takesValue && value) {
            result.error = std::string(name) + " takes no value";
            return result;
        }
        if (auto error = spec->apply(o, value.value_or("")); !error.empty()) {
            result.error = std::move(error);
            return result;
        }
    }
    if (o.help) return result;

    bool valid = false;
    if (!IsLoopback(o.address, valid) && !o.allowAnyAddress) {
        result.error = valid ? "address " + o.address +
                                   " is outside 127.0.0.0/8; add --allow-any-address to use it"
                             : "invalid address '" + o.address + "'";
        return result;
    }
    if (!valid) {
        result.error = "invalid address '" + o.address + "'";
        return result;
    }
    const int ends =
        int{o.failAt.has_value()} + int{o.closeAt.has_value()} + int{o.silentAt.has_value()};
    if (ends > 1) {
        result.error = "--fail-at, --close-at and --silent-at exclude each other";
        return result;
    }
    return result;
}

}  // namespace omblor::modulesim
