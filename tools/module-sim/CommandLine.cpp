#include "module-sim/CommandLine.h"

#include <getopt.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <vector>

#include "net/EventLoop.h"
#include "platform/UniqueFd.h"

namespace omblor::modulesim {

std::string ParseCommandLine(std::span<const std::string> args,
                             std::span<const OptionSpec* const> options,
                             const OptionHandler& handle) {
    std::vector<option> table;
    table.push_back({"help", no_argument, nullptr, 'h'});
    for (const OptionSpec* spec : options) {
        table.push_back({spec->name.data(), spec->value.empty() ? no_argument : required_argument,
                         nullptr, spec->id});
    }
    table.push_back({nullptr, 0, nullptr, 0});
    std::vector<char*> argv;
    std::string program = "module-sim";
    argv.push_back(program.data());
    // getopt_long never writes to the strings; '+' below keeps it from reordering them.
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const int argc = static_cast<int>(argv.size() - 1);
    optind = 0;  // start afresh: tests parse many command lines in one process
    opterr = 0;
    for (;;) {
        int index = 0;
        const int id = getopt_long(argc, argv.data(), "+:h", table.data(), &index);
        if (id == -1) break;
        const std::string arg = argv[optind - 1];
        if (id == '?') return "unknown option '" + arg + "'";
        if (id == ':') return arg + " needs a value";
        const std::string_view value = optarg != nullptr ? optarg : "";
        if (!handle(id, value)) {
            return "invalid value for --" + std::string(table[index].name) + ": '" +
                   std::string(value) + "'";
        }
    }
    if (optind < argc) return "unexpected argument '" + std::string(argv[optind]) + "'";
    return {};
}

std::string OptionHelp(std::span<const OptionSpec* const> options, std::size_t column) {
    std::string text;
    for (const OptionSpec* spec : options) {
        std::string line = "  --" + std::string(spec->name);
        if (!spec->value.empty()) line += " " + spec->value;
        line.resize(std::max(line.size() + 1, column), ' ');
        for (std::size_t start = 0; start < spec->help.size();) {
            const std::size_t end = std::min(spec->help.find('\n', start), spec->help.size());
            if (start > 0) line = std::string(column, ' ');
            text += line + spec->help.substr(start, end - start) + "\n";
            start = end + 1;
        }
    }
    return text;
}

std::optional<std::string> Unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
        } else if (text.substr(i + 1, 1) == "\\") {
            out += '\\';
            ++i;
        } else if (text.substr(i + 1, 1) == "x" && i + 3 < text.size()) {
            unsigned byte = 0;
            const char* first = text.data() + i + 2;
            const auto [end, ec] = std::from_chars(first, first + 2, byte, 16);
            if (ec != std::errc{} || end != first + 2) return std::nullopt;
            out += static_cast<char>(byte);
            i += 3;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

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

std::optional<std::chrono::milliseconds> ParseSeconds(std::string_view text) {
    double seconds = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() ||
        !(seconds > 0 && seconds <= 1e6)) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(std::max<std::int64_t>(1, std::llround(seconds * 1000)));
}

void PrintLine(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

RunEnd RunUntilDone(std::chrono::milliseconds limit, const std::function<bool()>& done,
                    const std::function<void(RunEnd)>& stop) {
    RunEnd end = RunEnd::Done;
    const auto finish = [&](RunEnd why) {
        if (end != RunEnd::Done) return;
        end = why;
        stop(why);
    };
    const net::ScopedTimer timer(limit, net::Repeat::No, [&] { finish(RunEnd::TimedOut); });
    // SIGINT and SIGTERM arrive as readable data on the loop, so they end the run in order.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    platform::UniqueFd signals;
    if (sigprocmask(SIG_BLOCK, &set, nullptr) == 0) {
        signals.Reset(::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
    }
    net::ScopedWatch watch;
    if (signals.Valid()) {
        watch = net::ScopedWatch(signals.Get(), net::kFdRead, [&](int fd, unsigned) {
            signalfd_siginfo info{};
            [[maybe_unused]] const auto n = ::read(fd, &info, sizeof info);
            finish(RunEnd::Stopped);
        });
    }
    net::EventLoop::Current()->RunUntil([&] { return end != RunEnd::Done || done(); });
    return end;
}

}  // namespace omblor::modulesim
