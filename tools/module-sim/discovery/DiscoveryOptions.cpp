#include "module-sim/discovery/DiscoveryOptions.h"

#include <charconv>
#include <optional>

#include "module-sim/discovery/SimulatedModule.h"

namespace omblor::modulesim {

namespace {

// Generated MACs end in two distinct bytes with bit 7 of the first clear, so the tool's
// acknowledgement entries (which flip that bit) stay unambiguous.
constexpr int kMaxGenerated = 32767;

std::optional<int> ParseInt(std::string_view text, int min, int max) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

const std::string_view kDiscoveryHelp =
    "usage: module-sim-discovery [OPTION]...\n"
    "Plays many modules answering omblor's discovery search. Replies go by unicast to the\n"
    "sender of each request, never as a broadcast. Outside a private network namespace it only\n"
    "runs when every address it uses is in 127.0.0.0/8.\n"
    "\n"
    "  --modules FILE        the modules, one interface a line (format below); repeats\n"
    "  --generate N          N further single modules (at most 32767), agreeing with their\n"
    "                        sources, from consecutive addresses\n"
    "  --generate-from ADDR  first generated address (default 10.78.0.1)\n"
    "  --listen ADDR         address to receive requests on (default 0.0.0.0, any)\n"
    "  --port N              UDP port to receive requests on (default 20034)\n"
    "  --answer-acks MODE    also answer acknowledgements: all (every interface again) or\n"
    "                        missing (only interfaces the acknowledgement does not list)\n"
    "  --relay               send every reply from 127.0.0.1 with the module's source address\n"
    "                        appended as the 4-byte relay trailer\n"
    "  --rate N              at most N replies per second (default 20000; 0: no pacing)\n"
    "  --timeout SECONDS     stop after this long (default 60)\n"
    "  --help                this text\n"
    "\n"
    "It prints \"listening ADDR:PORT modules=N\" when ready, a line per request and\n"
    "acknowledgement received (with its arrival time in ms of the monotonic clock) and per\n"
    "answer completed, and at the end one \"summary\" line.\n"
    "\n";

ParsedDiscoveryOptions ParseDiscoveryOptions(std::span<const std::string> args) {
    ParsedDiscoveryOptions parsed;
    DiscoveryOptions& o = parsed.options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help") {
            o.help = true;
            continue;
        }
        if (name == "--relay") {
            o.relay = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            parsed.error =
                name.starts_with("--") ? name + " needs a value" : "unknown option " + name;
            return parsed;
        }
        const std::string& value = args[++i];
        bool good = true;
        if (name == "--modules") {
            o.moduleFiles.push_back(value);
        } else if (name == "--generate") {
            const auto n = ParseInt(value, 0, kMaxGenerated);
            good = n.has_value();
            o.generate = n.value_or(0);
        } else if (name == "--generate-from" || name == "--listen") {
            const auto address = ParseAddress(value);
            good = address.has_value();
            (name == "--listen" ? o.listen : o.generateFirst) =
                address.value_or(discovery::Ipv4Address{});
        } else if (name == "--port") {
            const auto n = ParseInt(value, 1, 65535);
            good = n.has_value();
            o.port = static_cast<std::uint16_t>(n.value_or(0));
        } else if (name == "--answer-acks") {
            good = value == "all" || value == "missing";
            o.answerAcks = value == "all" ? AnswerAcks::All : AnswerAcks::Missing;
        } else if (name == "--rate") {
            const auto n = ParseInt(value, 0, 10'000'000);
            good = n.has_value();
            o.rate = n.value_or(0);
        } else if (name == "--timeout") {
            const auto n = ParseInt(value, 1, 86400);
            good = n.has_value();
            o.timeout = std::chrono::seconds(n.value_or(0));
        } else {
            parsed.error = "unknown option " + name;
            return parsed;
        }
        if (!good) {
            parsed.error = "bad value for " + name;
            parsed.error += ": \"" + value + "\"";
            return parsed;
        }
    }
    return parsed;
}

}  // namespace omblor::modulesim
