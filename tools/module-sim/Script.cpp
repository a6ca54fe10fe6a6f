#include "module-sim/Script.h"

#include <utility>

namespace omblor::modulesim {

namespace {

std::string DefaultText(Step step, const SimOptions& options) {
    switch (step) {
        case Step::Platform:
            return "100 Platform:" + options.platform + ":1.0";
        case Step::Credentials:
            return "101 Login required";
        case Step::Header:
            return "102 Send header";
        case Step::Image:
            return "103 Send image";
        case Step::Progress:
            return {};  // one line per code, made by the caller
        case Step::Reboot:
            return "105 Reboot?";
        case Step::Complete:
            return std::to_string(options.completeCode) + " Programming complete";
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

}  // namespace

ScriptLine Script::MakeLine(Step step, std::string text, Reply reply, const StepTweaks& tweaks) {
    if (tweaks.pad && text.size() < *tweaks.pad) text.resize(*tweaks.pad, '.');
    ScriptLine line;
    line.step = step;
    line.bytes = std::move(text) + "\r\n";
    line.reply = reply;
    line.delay = tweaks.delay;
    line.coalesce = tweaks.coalesce;
    if (tweaks.splitAfterCr) {
        line.split = line.bytes.size() - 1;
    } else if (tweaks.split && *tweaks.split < line.bytes.size()) {
        line.split = *tweaks.split;
    }
    return line;
}

Script Script::Build(const SimOptions& options) {
    Script script;
    // The global shaping options fill in what a step does not say for itself.
    const auto tweaksOf = [&options](Step step) {
        StepTweaks tweaks = options.Tweaks(step);
        if (tweaks.delay.count() == 0) tweaks.delay = options.lineDelay;
        if (!tweaks.split && options.splitLines) tweaks.splitAfterCr = true;
        return tweaks;
    };
    if (options.longLine) {
        script.lines_.push_back(MakeLine(Step::Platform, std::string(*options.longLine, 'x'),
                                         Reply::None, tweaksOf(Step::Platform)));
    }
    bool joinNext = false;  // --together: the line after the 100 line shares its write
    for (const Step step : kAllSteps) {
        StepTweaks tweaks = tweaksOf(step);
        if (joinNext) tweaks.coalesce = true;
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
            end.delay = tweaks.delay;
            script.lines_.push_back(end);
            script.expected_ = options.closeAt == step ? Outcome::Dropped : Outcome::Closed;
            break;
        }
        if (tweaks.skip || (step == Step::Credentials && !options.user)) continue;
        if (step == Step::Progress) {
            for (const std::int32_t code : options.progress) {
                script.lines_.push_back(
                    MakeLine(step, std::to_string(code) + " Programming", Reply::None, tweaks));
                tweaks.coalesce = options.Tweaks(step).coalesce;
            }
            if (!options.progress.empty()) joinNext = false;
            continue;
        }
        script.lines_.push_back(MakeLine(step, tweaks.line.value_or(DefaultText(step, options)),
                                         ReplyOf(step), tweaks));
        joinNext = step == Step::Platform && options.together;
    }
    if (options.expect) script.expected_ = *options.expect;
    return script;
}

}  // namespace omblor::modulesim
