#include "module-sim/Script.h"

#include <functional>
#include <random>
#include <utility>

#include "update/UpdateProtocol.h"

namespace omblor::modulesim {

namespace {

namespace code = update::code;

std::string Line(std::int32_t number, const std::string& text) {
    return std::to_string(number) + " " + text;
}

std::string DefaultText(Step step, const SimOptions& options) {
    switch (step) {
        case Step::Platform:
            return Line(code::kPlatform, "Platform:" + options.platform + ":1.0");
        case Step::Credentials:
            return Line(code::kCredentials, "Login required");
        case Step::Header:
            return Line(code::kImageHeader, "Send header");
        case Step::Image:
            return Line(code::kImage, "Send image");
        case Step::Progress:
            return {};  // one line per code, made by the caller
        case Step::Reboot:
            return Line(code::kRebootChoice, "Reboot?");
        case Step::Complete:
            return Line(code::kComplete, "Programming complete");
    }
    return {};
}

Reply ReplyOf(Step step) {
    switch (step) {
        case Step::Credentials:
            return Reply::Credentials;
        case Step::Header:
            return Reply::Header;
        case Step::Image:
            return Reply::Image;
        case Step::Reboot:
            return Reply::Reboot;
        default:
            return Reply::None;
    }
}

// A line with `text` shaped by the step's tweaks (padding, split point); CR LF appended.
ScriptLine MakeLine(Step step, std::string text, Reply reply, const StepTweaks& tweaks) {
    if (tweaks.pad && text.size() < *tweaks.pad) text.resize(*tweaks.pad, '.');
    ScriptLine line;
    line.step = step;
    line.bytes = std::move(text) + "\r\n";
    line.reply = reply;
    line.coalesce = tweaks.coalesce;
    if (tweaks.splitAfterCr) {
        line.split = line.bytes.size() - 1;
    } else if (tweaks.split && *tweaks.split < line.bytes.size()) {
        line.split = *tweaks.split;
    }
    return line;
}

// A line of noise: random bytes but never CR LF, starting with a character that makes its code
// 0 (no digit, sign or blank), so the tool takes it as a line and ignores it. The same module
// makes the same noise every run.
ScriptLine GarbageLine(Step step, std::size_t n, const SimOptions& options) {
    std::minstd_rand random(static_cast<std::uint32_t>(
        std::hash<std::string>{}(options.address + "/" + std::string(StepName(step))) + n));
    constexpr std::string_view kFirst = "#~?!*&%$@^";
    std::string text(1, kFirst[random() % kFirst.size()]);
    const std::size_t length = 8 + random() % 120;
    while (text.size() < length) {
        const auto byte = static_cast<char>(random() % 256);
        if (byte != '\r' && byte != '\n') text += byte;
    }
    ScriptLine line;
    line.step = step;
    line.bytes = text + "\r\n";
    return line;
}

}  // namespace

Script Script::Build(const SimOptions& options) {
    Script script;
    for (const Step step : kAllSteps) {
        const StepTweaks& tweaks = options.Tweaks(step);
        for (std::size_t n = 0; n < tweaks.garbage; ++n)
            script.lines_.push_back(GarbageLine(step, n, options));
        // The scripted end takes the place of its step's line, with that step's shaping.
        if (options.failAt == step) {
            script.lines_.push_back(MakeLine(step, options.failLine, Reply::None, tweaks));
            script.expected_ = Outcome::Failed;
            break;
        }
        if (options.closeAt == step || options.silentAt == step) {
            ScriptLine end;
            end.kind = options.closeAt == step ? ScriptLine::Kind::Close : ScriptLine::Kind::Silent;
            end.step = step;
            script.lines_.push_back(end);
            script.expected_ = options.closeAt == step ? Outcome::Dropped : Outcome::Closed;
            break;
        }
        if (step == Step::Credentials && !options.user) continue;
        if (step == Step::Progress) {
            for (const std::int32_t number : options.progress) {
                script.lines_.push_back(
                    MakeLine(step, Line(number, "Programming"), Reply::None, tweaks));
            }
            continue;
        }
        script.lines_.push_back(MakeLine(step, DefaultText(step, options), ReplyOf(step), tweaks));
    }
    if (options.closeInImage) script.expected_ = Outcome::Dropped;
    if (options.expect) script.expected_ = *options.expect;
    return script;
}

}  // namespace omblor::modulesim
