// What both roles of the simulator share on their command lines: options parsed by getopt_long
// into the role's own handler, one escape syntax for byte strings, numbers, durations, and the
// lines scripts read while it runs.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace omblor::modulesim {

// One option of a role's command line, declared once for its parser and its help.
struct OptionSpec {
    int id;                 // what the role's handler is called with
    std::string_view name;  // without its dashes; a literal, so it ends with a zero
    std::string value;      // what its value is called in the help; empty for a switch
    std::string help;       // lines after the first are indented under the first
};

// Calls handle(option's id, its value or "") for every option in args (which leave out the
// program name), in order; handle says whether the value is good. Returns the first error (an
// unknown option, a missing or bad value, a stray argument), empty when the line was good.
// --help (and -h) is always there, with the id 'h'.
using OptionHandler = std::function<bool(int id, std::string_view value)>;
std::string ParseCommandLine(std::span<const std::string> args,
                             std::span<const OptionSpec* const> options,
                             const OptionHandler& handle);

// The options' help, a line or more each, the help text starting at `column`.
std::string OptionHelp(std::span<const OptionSpec* const> options, std::size_t column);

// Byte strings in options and module files: \xHH stands for any byte and \\ for a backslash;
// nothing else may follow a backslash.
std::optional<std::string> Unescape(std::string_view text);

// Decimal, or hexadecimal after 0x, at most max.
std::optional<std::uint64_t> ParseUnsigned(std::string_view text, std::uint64_t max);

// Seconds, decimals allowed, more than 0 and at most a million.
std::optional<std::chrono::milliseconds> ParseSeconds(std::string_view text);

// One line on stdout, flushed at once: scripts and tests wait for these while the role runs.
void PrintLine(const std::string& line);

enum class RunEnd { Done, TimedOut, Stopped };

// Runs the current event loop until done() holds, the time limit passes or SIGINT or SIGTERM
// arrives. For the last two, stop(why) is called first, and the run ends with them.
RunEnd RunUntilDone(std::chrono::milliseconds limit, const std::function<bool()>& done,
                    const std::function<void(RunEnd)>& stop);

}  // namespace omblor::modulesim
