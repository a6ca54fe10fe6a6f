// The traceability log of --log: one JSON object a line for every connection attempt, saying
// where, by whom and with which image each module was programmed and how the attempt ended.
// Each line is appended with one write and is on the disk before the next one starts, so a
// crash loses at most the attempts still running; several runs may append to one file.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "AppendFile.h"
#include "ModuleResult.h"
#include "Options.h"
#include "image/AppImage.h"

namespace omblor::ctl {

// What every line of one run repeats. Never the password.
struct RunFacts {
    std::string station;       // host name
    std::string operatorName;  // login name
    std::string version;       // omblorctl's
    std::string file;          // absolute path of the application file
    std::string sha256;        // of the image, lower-case hex
    std::string platform;      // the file's header text
    std::uint32_t base = 0;
    std::uint32_t length = 0;
    Confirm confirm = Confirm::No;  // whether lines carry "confirmed" and "application"
};

// The facts of a run that programs `image`, read from `path`.
RunFacts GatherRunFacts(const image::AppImage& image, const std::string& path, Confirm confirm);

// "2026-12-09T06:17:30.123Z".
std::string UtcTimestamp(std::chrono::system_clock::time_point when);

// One line, its newline included, for the attempt that ended as `result` at `time`.
std::string TraceLine(std::string_view time, const RunFacts& facts, const ModuleResult& result);

class TraceLog {
  public:
    // The log at `path` (created when missing, appended to otherwise), or why it cannot be
    // opened.
    static std::variant<TraceLog, std::string> Open(const std::string& path, RunFacts facts);

    // Appends the line of the attempt that has just ended as `result`, stamped now. False with
    // `error` saying why when the line may be lost.
    bool Append(const ModuleResult& result, std::string& error);

  private:
    TraceLog(AppendFile file, RunFacts facts, bool lineEndFirst);

    AppendFile file_;
    RunFacts facts_;
    // The file ends inside a line (torn by a full disk, here or in an earlier run): the next
    // line starts with a line end of its own, so that it stays whole.
    bool lineEndFirst_;
};

}  // namespace omblor::ctl
