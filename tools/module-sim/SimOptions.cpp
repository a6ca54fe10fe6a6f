#include "SimOptions.h"

#include <arpa/inet.h>

#include <charconv>

namespace omblor::sim {

namespace {

constexpr const char* kUsage = R"(usage: module-sim [options]
A simulated module for trying and testing omblor without hardware. It listens on TCP and plays
the module's side of one update exchange per connection.

  --address A            listen address (default 127.0.0.1; only 127.0.0.0/8 unless
                         --allow-any-address)
  --port P               TCP port (default 20034; 0 picks a free one)
  --connections N        serve N connections one after another (default 1)
  --timeout S            give up after S seconds (default 120)
  --platform NAME        platform name in the code-100 line (default QX19)
  --platform-line TEXT   send TEXT as the code-100 line instead
  --no-platform          send no code-100 line
  --user U --password P  ask for credentials (code 101); a wrong pair gets "251 Bad credentials"
  --expect-length N      refuse an image header whose length is not N
  --progress N           progress lines to send (default 4, codes 325..400)
  --progress-codes A,B   send exactly these progress codes
  --complete-code C      106 or 107 (default 106)
  --fail-at STEP         send the failure line instead of STEP's line
  --fail-line TEXT       the failure line (default "250 Flash write failed")
  --silent-at STEP       stop sending at STEP, keep the connection open
  --close-at STEP        close the connection at STEP
  --long-line N          send a line of N characters first
  --split-lines          send each line in two writes, split between CR and LF
  --together             send the code-100 and code-102 lines in one write
  --line-delay MS        pause before each line
  --save-image FILE      write the received image to FILE
  --transcript FILE      write every byte received to FILE
STEP is one of: platform credentials header image progress reboot complete.
It prints "listening <address>:<port>" when ready and one "result ..." line at the end; the exit
code is 0 when the exchange reached its scripted end.
)";

bool Number(const std::string& text, long long low, long long high, long long& out) {
    const auto* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && p == end && out >= low && out <= high;
}

}  // namespace

std::optional<Step> StepNamed(const std::string& name) {
    static const char* const kNames[] = {"platform", "credentials", "header", "image",
                                         "progress", "reboot",      "complete"};
    for (int i = 0; i < static_cast<int>(Step::Count); ++i) {
        if (name == kNames[i]) return static_cast<Step>(i);
    }
    return std::nullopt;
}

std::optional<SimOptions> ParseSimOptions(const std::vector<std::string>& args,
                                          std::string& message) {
    SimOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string* {
            if (i + 1 >= args.size()) {
                message = "module-sim: " + a + " needs a value";
                return nullptr;
            }
            return &args[++i];
        };
        auto number = [&](long long low, long long high, long long& out) {
            const std::string* v = value();
            if (v == nullptr) return false;
            if (!Number(*v, low, high, out)) {
                message = "module-sim: bad value for " + a + ": " + *v;
                return false;
            }
            return true;
        };
        auto step = [&](std::optional<Step>& out) {
            const std::string* v = value();
            if (v == nullptr) return false;
            out = StepNamed(*v);
            if (!out) message = "module-sim: unknown step " + *v;
            return out.has_value();
        };
        long long n = 0;
        const std::string* v = nullptr;
        if (a == "--help" || a == "-h") {
            message = kUsage;
            return std::nullopt;
        } else if (a == "--address") {
            if ((v = value()) == nullptr) return std::nullopt;
            o.address = *v;
        } else if (a == "--allow-any-address") {
            o.allowAnyAddress = true;
        } else if (a == "--port") {
            if (!number(0, 65535, n)) return std::nullopt;
            o.port = static_cast<std::uint16_t>(n);
        } else if (a == "--connections") {
            if (!number(1, 1000000, n)) return std::nullopt;
            o.connections = static_cast<int>(n);
        } else if (a == "--timeout") {
            if (!number(1, 86400, n)) return std::nullopt;
            o.timeoutSeconds = static_cast<int>(n);
        } else if (a == "--platform") {
            if ((v = value()) == nullptr) return std::nullopt;
            o.platform = *v;
        } else if (a == "--platform-line") {
            if ((v = value()) == nullptr) return std::nullopt;
            o.platformLine = *v;
        } else if (a == "--no-platform") {
            o.platform.reset();
        } else if (a == "--user") {
            if ((v = value()) == nullptr) return std::nullopt;
            o.user = *v;
        } else if (a == "--password") {
            if ((v = value()) == nullptr) return std::nullopt;
            o.password = *v;
        } else if (a == "--expect-length") {
            if (!number(0, 0xFFFFFFFFLL, n)) return std::nullopt;
            o.expectLength = static_cast<std::uint32_t>(n);
        } else if (a == "--progress") {
            if (!number(0, 1000, n)) return std::nullopt;
            o.progressLines = static_cast<int>(n);
        } else if (a == "--progress-codes") {
            if ((v = value()) == nullptr) return std::nullopt;
            std::size_t start = 0;
            while (start <= v->size()) {
                const auto comma = v->find(',', start);
                const std::string part = v->substr(start, comma == std::string::npos ? std::string::npos : comma - start);
                if (!Number(part, -2147483647LL, 2147483647LL, n)) {
                    message = "module-sim: bad progress code " + part;
                    return std::nullopt;
                }
                o.progressCodes.push_back(static_cast<int>(n));
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
        } else if (a == "--complete-code") {
            if (!number(106, 107, n)) return std::nullopt;
            o.completeCode = static_cast<int>(n);
        } else if (a == "--fail-at") {
            if (!step(o.failAt)) return std::nullopt;
        } else if (a == "--fail-line") {
            if ((v = value()) == nullptr) return std::nullopt;
            o.failLine = *v;
        } else if (a == "--silent-at") {
            if (!step(o.silentAt)) return std::nullopt;
        } else if (a == "--close-at") {
            if (!step(o.closeAt)) return std::nullopt;
        } else if (a == "--long-line") {
            if (!number(0, 1 << 20, n)) return std::nullopt;
            o.longLine = static_cast<int>(n);
        } else if (a == "--split-lines") {
            o.splitLines = true;
        } else if (a == "--together") {
            o.together = true;
        } else if (a == "--line-delay") {
            if (!number(0, 60000, n)) return std::nullopt;
            o.lineDelayMs = static_cast<int>(n);
        } else if (a == "--save-image") {
            if ((v = value()) == nullptr) return std::nullopt;
            o.saveImage = *v;
        } else if (a == "--transcript") {
            if ((v = value()) == nullptr) return std::nullopt;
            o.transcript = *v;
        } else {
            message = "module-sim: unknown option " + a + " (see --help)";
            return std::nullopt;
        }
    }
    in_addr addr{};
    if (::inet_pton(AF_INET, o.address.c_str(), &addr) != 1) {
        message = "module-sim: not an IPv4 address: " + o.address;
        return std::nullopt;
    }
    if (!o.allowAnyAddress && (ntohl(addr.s_addr) >> 24) != 127) {
        message = "module-sim: refusing to listen outside 127.0.0.0/8 without --allow-any-address";
        return std::nullopt;
    }
    return o;
}

}  // namespace omblor::sim
