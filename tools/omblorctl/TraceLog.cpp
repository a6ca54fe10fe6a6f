#include "TraceLog.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "Output.h"
#include "Sha256.h"
#include "Station.h"
#include "resources/Strings.h"

namespace omblor::ctl {

namespace {

std::string AbsolutePath(const std::string& path) {
    std::error_code error;
    const auto absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.string();
}

// Whether the file's last byte is other than a line end; false for an empty or unreadable file.
bool EndsInsideALine(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    char last = '\n';
    return file.seekg(-1, std::ios::end) && file.get(last) && last != '\n';
}

}  // namespace

RunFacts GatherRunFacts(const image::AppImage& image, const std::string& path, Confirm confirm) {
    return {.station = StationName(),
            .operatorName = OperatorName(),
            .version = std::string(resources::VersionText()),
            .file = AbsolutePath(path),
            .sha256 = Sha256Hex(image.Bytes()),
            .platform = image.headerText,
            .base = image.baseAddress,
            .length = image.length,
            .confirm = confirm};
}

std::string UtcTimestamp(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(when);
    const auto day = floor<days>(ms);
    const year_month_day date(day);
    const hh_mm_ss time(ms - day);
    char text[40];
    std::snprintf(
        text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
        static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
    return text;
}

std::string TraceLine(std::string_view time, const RunFacts& facts, const ModuleResult& result) {
    std::string line =
        "{\"time\": " + JsonString(time) + ", \"station\": " + JsonString(facts.station) +
        ", \"operator\": " + JsonString(facts.operatorName) +
        ", \"version\": " + JsonString(facts.version) + ", \"file\": " + JsonString(facts.file) +
        ", \"sha256\": " + JsonString(facts.sha256) +
        ", \"platform\": " + JsonString(facts.platform) +
        ", \"base\": " + std::to_string(facts.base) +
        ", \"length\": " + std::to_string(facts.length) +
        ", \"address\": " + JsonString(result.address);
    if (!result.mac.empty()) line += ", \"mac\": " + JsonString(result.mac);
    line += ", \"attempt\": " + std::to_string(result.attempts) +
            ", \"outcome\": " + JsonString(result.outcome) +
            ", \"detail\": " + JsonString(result.detail) +
            ", \"seconds\": " + SecondsText(result.seconds) +
            ", \"bytes\": " + std::to_string(result.bytes);
    if (facts.confirm == Confirm::Yes) {
        // Null while no confirmation was made: the attempt did not program the module.
        line += ", \"confirmed\": ";
        line += !result.confirmed ? "null" : *result.confirmed ? "true" : "false";
        line += ", \"application\": " + JsonString(result.application);
    }
    return line + "}\n";
}

std::variant<TraceLog, std::string> TraceLog::Open(const std::string& path, RunFacts facts) {
    auto opened = AppendFile::Open(path);
    if (auto* reason = std::get_if<std::string>(&opened)) return std::move(*reason);
    return TraceLog(std::move(std::get<AppendFile>(opened)), std::move(facts),
                    EndsInsideALine(path));
}

TraceLog::TraceLog(AppendFile file, RunFacts facts, bool lineEndFirst)
    : file_(std::move(file)), facts_(std::move(facts)), lineEndFirst_(lineEndFirst) {}

bool TraceLog::Append(const ModuleResult& result, std::string& error) {
    // Readers pass over the blank line this makes after a write that failed whole.
    std::string line = lineEndFirst_ ? "\n" : "";
    line += TraceLine(UtcTimestamp(std::chrono::system_clock::now()), facts_, result);
    lineEndFirst_ = !file_.AppendDurably(line, error);
    return !lineEndFirst_;
}

}  // namespace omblor::ctl
