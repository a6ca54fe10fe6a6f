#include "module-sim/discovery/DiscoveryOptions.h"

#include "module-sim/CommandLine.h"
#include "module-sim/discovery/SimulatedModule.h"

namespace omblor::modulesim {

namespace {

// Generated MACs end in two distinct bytes with bit 7 of the first clear, so the tool's
// acknowledgement entries (which flip that bit) stay unambiguous.
constexpr int kMaxGenerated = 32767;

enum Id : int { kModules = 256, kGenerate, kAnswerAcks, kRelay, kRate, kTimeout };

const std::vector<OptionSpec>& DiscoveryOptionTable() {
    static const std::vector<OptionSpec> table = {
        {kModules, "modules", "FILE", "the modules, one interface a line (format below); repeats"},
        {kGenerate, "generate", "N",
         "N further single modules (at most " + std::to_string(kMaxGenerated) +
             "), agreeing with\ntheir sources, from 10.78.0.1 up"},
        {kAnswerAcks, "answer-acks", "MODE",
         "also answer acknowledgements: all (every interface again)\nor missing (only "
         "interfaces the acknowledgement leaves out)"},
        {kRelay, "relay", "",
         "send every reply from 127.0.0.1 with the module's source\naddress appended as the "
         "4-byte relay trailer"},
        {kRate, "rate", "N", "at most N replies per second (default 20000; 0: no pacing)"},
        {kTimeout, "timeout", "SECONDS", "stop after this long (default 60)"},
    };
    return table;
}

std::vector<const OptionSpec*> DiscoveryOptionList() {
    std::vector<const OptionSpec*> list;
    for (const OptionSpec& spec : DiscoveryOptionTable()) list.push_back(&spec);
    return list;
}

}  // namespace

std::string DiscoveryHelp() {
    return "usage: module-sim discover [OPTION]...\n"
           "Plays many modules answering omblor's discovery search. Replies go by unicast to\n"
           "the sender of each request, never as a broadcast. Inside a private network\n"
           "namespace it listens on UDP port " +
           std::to_string(net::kModulePort) +
           " of every address; anywhere else only on\n"
           "127.0.0.1, and only when every address it sends from is in 127.0.0.0/8.\n"
           "\n" +
           OptionHelp(DiscoveryOptionList(), 24) +
           "\n"
           "It prints \"listening ADDR:PORT modules=N\" when ready, a line per request and\n"
           "acknowledgement received (with its arrival time in ms of the monotonic clock) and\n"
           "per answer completed, and at the end one \"summary\" line.\n"
           "\n" +
           std::string(kModuleFileHelp);
}

ParsedDiscoveryOptions ParseDiscoveryOptions(std::span<const std::string> args) {
    ParsedDiscoveryOptions parsed;
    DiscoveryOptions& o = parsed.options;
    parsed.error = ParseCommandLine(args, DiscoveryOptionList(), [&o](int id, std::string_view v) {
        switch (id) {
            case 'h':
                o.help = true;
                return true;
            case kModules:
                o.moduleFiles.emplace_back(v);
                return true;
            case kGenerate: {
                const auto n = ParseUnsigned(v, kMaxGenerated);
                o.generate = static_cast<int>(n.value_or(0));
                return n.has_value();
            }
            case kAnswerAcks:
                o.answerAcks = v == "all" ? AnswerAcks::All : AnswerAcks::Missing;
                return v == "all" || v == "missing";
            case kRelay:
                o.relay = true;
                return true;
            case kRate: {
                const auto n = ParseUnsigned(v, 10'000'000);
                o.rate = static_cast<int>(n.value_or(0));
                return n.has_value();
            }
            case kTimeout: {
                const auto t = ParseSeconds(v);
                o.timeout = t.value_or(o.timeout);
                return t.has_value();
            }
            default:
                return false;
        }
    });
    return parsed;
}

}  // namespace omblor::modulesim
