// What both roles of the simulator share on their command lines: options parsed by getopt_long
// into the role's own handler, one escape syntax for byte strings, numbers, durations, and the
// lines scripts read while it runs.
#pragma once

#include <getopt.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace omblor::modulesim {

// Calls handle(option's val, its value or "") for every option in args (which leave out the
// program name), in order; handle says whether the value is good. Returns the first error (an
// unknown option, a missing or bad value, a stray argument), empty when the line was good.
// options ends with a zero entry, as getopt_long wants; 'h' (-h) is always --help.
using OptionHandler = std::function<bool(int id, std::string_view value)>;
std::string ParseCommandLine(std::span<const std::string> args, const option* options,
                             const OptionHandler& handle);

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
