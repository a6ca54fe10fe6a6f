#include "Options.h"

#include <getopt.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <span>
#include <string_view>

namespace omblor::ctl {

namespace {

enum class Id {
    Json,
    Seconds,
    Found,
    NoReboot,
    User,
    PasswordFile,
    Parallel,
    Retries,
    RetryDelay,
    Canary,
    MaxFailures,
    DryRun,
    Confirm,
    ConfirmTimeout,
    FailedFrom,
    Log,
    Help,
    Version
};
// What the shell offers for an option's value.
enum class Completes { Nothing, Files };

struct OptionSpec {
    std::string_view name;   // with its dashes
    std::string_view value;  // what it takes, as the usage line shows it; empty for a switch
    std::string_view help;   // one line
    Id id;
    Completes completes = Completes::Nothing;
};

struct CommandSpec {
    std::string_view name;      // "image info": a command and its action
    std::string_view operands;  // as the usage line shows them; operands complete to file names
    std::string_view summary;
    std::span<const OptionSpec> options;
};

constexpr OptionSpec kHelp{"--help", "", "print this help and exit", Id::Help};

constexpr OptionSpec kFindOptions[] = {
    {"--json", "", "one JSON object a line instead of a table", Id::Json},
    {"--seconds", "S", "go on listening S seconds (0 to 3600) after the search", Id::Seconds},
    kHelp,
};

constexpr OptionSpec kUpdateOptions[] = {
    {"--found", "", "search, and add the modules whose platform FILE accepts", Id::Found},
    {"--no-reboot", "", "answer the module's reboot question with D", Id::NoReboot},
    {"--user", "U", "the user for modules that ask for credentials", Id::User},
    {"--password-file", "F", "the password: F's first line (else OMBLOR_PASSWORD or a prompt)",
     Id::PasswordFile, Completes::Files},
    {"--parallel", "N", "at most N connections open at once (default 64)", Id::Parallel},
    {"--json", "", "one JSON object a module instead of a table", Id::Json},
    {"--retries", "N", "try again up to N times after a transient failure (default 0)",
     Id::Retries},
    {"--retry-delay", "S", "S seconds before a retry, twice that before the next (default 2)",
     Id::RetryDelay},
    {"--canary", "N", "program the first N modules first; the rest only if all N are", Id::Canary},
    {"--max-failures", "K", "open no new connection once K modules have failed", Id::MaxFailures},
    {"--dry-run", "", "resolve the modules and say which would be programmed; connect to none",
     Id::DryRun},
    {"--confirm", "", "after its reboot, search until each module answers again", Id::Confirm},
    {"--confirm-timeout", "S", "wait S seconds for a module to answer again (default 60)",
     Id::ConfirmTimeout},
    {"--failed-from", "F", "add the modules whose last result in F was not programmed",
     Id::FailedFrom, Completes::Files},
    {"--log", "F", "append one JSON line per attempt to F", Id::Log, Completes::Files},
    kHelp,
};

constexpr OptionSpec kImageOptions[] = {kHelp};

constexpr OptionSpec kTopOptions[] = {
    kHelp,
    {"--version", "", "print the program's name and version and exit", Id::Version},
};

constexpr CommandSpec kCommands[] = {
    {"find", "", "one discovery search, then every module that answered", kFindOptions},
    {"update", "FILE [ADDRESS...]", "program every module given or found with FILE",
     kUpdateOptions},
    {"image info", "FILE", "the file's header, the image's base, length and SHA-256",
     kImageOptions},
    {"image convert", "FILE OUT.bin", "write the image's bytes to OUT.bin", kImageOptions},
};

constexpr std::string_view kProgram = "omblorctl";
constexpr std::size_t kWidth = 80;
constexpr std::size_t kHelpColumn = 24;

std::string_view FirstWord(std::string_view text) {
    return text.substr(0, text.find(' '));
}

// The commands whose name starts with `word`: "image" is both image actions.
std::vector<const CommandSpec*> Group(std::string_view word) {
    std::vector<const CommandSpec*> group;
    for (const auto& command : kCommands)
        if (FirstWord(command.name) == word) group.push_back(&command);
    return group;
}

// "omblorctl NAME OPERANDS [--option V]...", wrapped before the right margin under the first
// operand. `lead` goes before the first line ("usage: " or its width in blanks).
std::string UsageLine(const CommandSpec& command, std::string_view lead) {
    const std::size_t indent = lead.size() + kProgram.size() + FirstWord(command.name).size() + 2;
    std::string text;
    std::string line = std::string(lead) + std::string(kProgram) + " " + std::string(command.name);
    const auto add = [&](std::string_view word) {
        if (line.size() + 1 + word.size() >= kWidth) {
            text += line + "\n";
            line = std::string(indent, ' ');
        } else {
            line += ' ';
        }
        line += word;
    };
    for (std::string_view rest = command.operands; !rest.empty();) {
        add(FirstWord(rest));
        rest = rest.size() > FirstWord(rest).size() ? rest.substr(FirstWord(rest).size() + 1) : "";
    }
    for (const OptionSpec& option : command.options) {
        if (option.id == Id::Help) continue;
        std::string word = "[";
        word.append(option.name);
        if (!option.value.empty()) word.append(" ").append(option.value);
        add(word.append("]"));
    }
    return text + line + "\n";
}

std::string Usage(std::span<const CommandSpec* const> commands) {
    std::string text;
    for (const CommandSpec* command : commands)
        text += UsageLine(*command, text.empty() ? "usage: " : "       ");
    return text;
}

// "  NAME VALUE          help", one line each.
std::string HelpLine(std::string_view name, std::string_view value, std::string_view help) {
    std::string line = "  ";
    line.append(name);
    if (!value.empty()) line.append(" ").append(value);
    line.resize(std::max(line.size() + 2, kHelpColumn), ' ');
    return line + std::string(help) + "\n";
}

std::string OptionHelp(std::span<const OptionSpec> options) {
    std::string text;
    for (const OptionSpec& option : options)
        text += HelpLine(option.name, option.value, option.help);
    return text;
}

std::string CommandHelp(std::span<const CommandSpec* const> commands) {
    std::string text = Usage(commands);
    for (const CommandSpec* command : commands)
        text += HelpLine(command->name, "", command->summary);
    return text + "\n" + OptionHelp(commands.front()->options);
}

int UsageError(std::span<const CommandSpec* const> commands, const char* problem = nullptr) {
    if (problem != nullptr) std::fprintf(stderr, "%s: %s\n", kProgram.data(), problem);
    std::fputs(Usage(commands).c_str(), stderr);
    return kExitUsage;
}

// getopt_long over the commands' declared options (all in a group share them), each handed to
// apply(id, value), which says why and returns false when the value is bad. The operands start
// at optind afterwards. On --help or a usage error it prints what is due and returns the exit
// code.
std::optional<int> Scan(std::span<const CommandSpec* const> commands, int argc, char** argv,
                        const std::function<bool(Id, const char*)>& apply) {
    // Past every character getopt_long returns for itself.
    constexpr int kFirstId = 256;
    const auto specs = commands.front()->options;
    std::vector<option> table;
    for (std::size_t i = 0; i < specs.size(); ++i) {
        // The names are literals, so what follows the dashes ends with a zero.
        table.push_back({specs[i].name.data() + 2,
                         specs[i].value.empty() ? no_argument : required_argument, nullptr,
                         kFirstId + static_cast<int>(i)});
    }
    table.push_back({nullptr, 0, nullptr, 0});
    optind = 1;
    for (int c; (c = ::getopt_long(argc, argv, "", table.data(), nullptr)) != -1;) {
        const auto index = static_cast<std::size_t>(c - kFirstId);
        if (c < kFirstId || index >= specs.size()) return UsageError(commands);
        if (specs[index].id == Id::Help) {
            std::fputs(CommandHelp(commands).c_str(), stdout);
            return kExitOk;
        }
        if (!apply(specs[index].id, optarg)) return UsageError(commands);
    }
    return std::nullopt;
}

// A whole number from `low` to `high`, or a line on stderr saying what the option wants.
bool ParseCount(const char* name, const char* text, long low, long high, std::size_t& out) {
    char* last = nullptr;
    const long n = std::strtol(text, &last, 10);
    if (*text == '\0' || *last != '\0' || n < low || n > high) {
        std::fprintf(stderr, "omblorctl: %s wants a number from %ld to %ld\n", name, low, high);
        return false;
    }
    out = static_cast<std::size_t>(n);
    return true;
}

bool ParseSeconds(const char* text, std::chrono::milliseconds& out) {
    char* end = nullptr;
    const double seconds = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(seconds >= 0 && seconds <= 3600)) return false;
    out = std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
    return true;
}

}  // namespace

Parsed<FindOptions> ParseFind(int argc, char** argv) {
    const auto commands = Group("find");
    FindOptions options;
    const auto end = Scan(commands, argc, argv, [&](Id id, const char* value) {
        if (id == Id::Json) options.format = Format::Json;
        if (id == Id::Seconds && !ParseSeconds(value, options.extra)) {
            std::fputs("omblorctl: --seconds wants 0 to 3600\n", stderr);
            return false;
        }
        return true;
    });
    if (end) return {.options = std::nullopt, .exitCode = *end};
    if (optind != argc) return {.options = std::nullopt, .exitCode = UsageError(commands)};
    return {.options = options, .exitCode = kExitOk};
}

Parsed<UpdateOptions> ParseUpdate(int argc, char** argv) {
    const auto commands = Group("update");
    UpdateOptions options;
    const auto end = Scan(commands, argc, argv, [&](Id id, const char* value) {
        switch (id) {
            case Id::Found:
                options.found = FoundModules::Add;
                break;
            case Id::NoReboot:
                options.reboot = Reboot::No;
                break;
            case Id::User:
                options.user = value;
                break;
            case Id::PasswordFile:
                options.passwordFile = value;
                break;
            case Id::Json:
                options.format = Format::Json;
                break;
            case Id::Parallel:
                return ParseCount("--parallel", value, 1, 100000, options.parallel);
            case Id::Retries:
                return ParseCount("--retries", value, 0, 100, options.retries);
            case Id::Canary:
                return ParseCount("--canary", value, 0, 100000, options.canary);
            case Id::MaxFailures: {
                std::size_t k = 0;
                if (!ParseCount("--max-failures", value, 1, 100000, k)) return false;
                options.maxFailures = k;
                break;
            }
            case Id::RetryDelay:
                if (!ParseSeconds(value, options.retryDelay)) {
                    std::fputs("omblorctl: --retry-delay wants 0 to 3600\n", stderr);
                    return false;
                }
                break;
            case Id::ConfirmTimeout:
                if (!ParseSeconds(value, options.confirmTimeout) ||
                    options.confirmTimeout.count() == 0) {
                    std::fputs("omblorctl: --confirm-timeout wants more than 0, up to 3600\n",
                               stderr);
                    return false;
                }
                break;
            case Id::DryRun:
                options.dryRun = DryRun::Yes;
                break;
            case Id::Confirm:
                options.confirm = Confirm::Yes;
                break;
            case Id::FailedFrom:
                options.failedFrom = value;
                break;
            case Id::Log:
                options.log = value;
                break;
            default:
                break;
        }
        return true;
    });
    if (end) return {.options = std::nullopt, .exitCode = *end};
    if (optind >= argc)
        return {.options = std::nullopt, .exitCode = UsageError(commands, "no application file")};
    options.file = argv[optind++];
    options.addresses.assign(argv + optind, argv + argc);
    if (options.addresses.empty() && options.found == FoundModules::Leave &&
        options.failedFrom.empty())
        return {.options = std::nullopt,
                .exitCode =
                    UsageError(commands, "no module: give addresses, --found or --failed-from")};
    // A module that stays put never comes back to be heard.
    if (options.confirm == Confirm::Yes && options.reboot == Reboot::No)
        return {.options = std::nullopt,
                .exitCode = UsageError(commands, "--confirm cannot go with --no-reboot")};
    if (!options.passwordFile.empty() && !options.user)
        return {.options = std::nullopt,
                .exitCode = UsageError(commands, "--password-file needs --user")};
    return {.options = std::move(options), .exitCode = kExitOk};
}

Parsed<ImageOptions> ParseImage(int argc, char** argv) {
    const auto commands = Group("image");
    const auto end = Scan(commands, argc, argv, [](Id, const char*) { return true; });
    if (end) return {.options = std::nullopt, .exitCode = *end};
    const std::vector<std::string_view> args(argv + optind, argv + argc);
    if (args.size() == 2 && args[0] == "info")
        return {.options = ImageOptions{ImageAction::Info, std::string(args[1]), {}},
                .exitCode = kExitOk};
    if (args.size() == 3 && args[0] == "convert") {
        return {.options =
                    ImageOptions{ImageAction::Convert, std::string(args[1]), std::string(args[2])},
                .exitCode = kExitOk};
    }
    return {.options = std::nullopt, .exitCode = UsageError(commands)};
}

std::string TopUsage() {
    std::vector<const CommandSpec*> all;
    for (const auto& command : kCommands) all.push_back(&command);
    return Usage(all) + "       " + std::string(kProgram) + " --help | --version\n";
}

std::string TopHelp() {
    std::string text = TopUsage() +
                       "Finds and programs modules on the network, many at once, and describes or "
                       "converts\napplication files.\n\n";
    for (const auto& command : kCommands) text += HelpLine(command.name, "", command.summary);
    return text + OptionHelp(kTopOptions) + "\n" + std::string(kProgram) +
           " COMMAND --help describes a command's options.\n";
}

namespace {

// Words for compgen -W, each once, in the order first met.
std::string WordList(const std::vector<std::string_view>& words) {
    std::string list;
    std::vector<std::string_view> seen;
    for (const std::string_view word : words) {
        if (std::ranges::find(seen, word) != seen.end()) continue;
        seen.push_back(word);
        list.append(list.empty() ? "" : " ").append(word);
    }
    return list;
}

std::string Reply(std::string_view indent, const std::vector<std::string_view>& words) {
    const std::string in(indent);
    return in + "COMPREPLY=($(compgen -W '" + WordList(words) + "' -- \"$cur\"))\n" + in +
           "return\n";
}

// One case of the script: everything after `omblorctl WORD`.
std::string CommandCase(std::string_view word) {
    const auto group = Group(word);
    const auto options = group.front()->options;
    std::string text = "    ";
    text.append(word).append(")\n");
    // An option's value: a file name, or nothing the shell could guess.
    std::vector<std::string_view> files;
    std::vector<std::string_view> others;
    std::vector<std::string_view> names;
    for (const OptionSpec& option : options) {
        names.push_back(option.name);
        if (!option.value.empty())
            (option.completes == Completes::Files ? files : others).push_back(option.name);
    }
    const auto pattern = [](const std::vector<std::string_view>& list) {
        std::string joined;
        for (const auto name : list) joined.append(joined.empty() ? "" : "|").append(name);
        return joined;
    };
    if (!files.empty() || !others.empty()) {
        text += "        case $prev in\n";
        if (!files.empty())
            text += "        " + pattern(files) +
                    ")\n            _filedir\n            return\n            ;;\n";
        if (!others.empty())
            text += "        " + pattern(others) + ")\n            return\n            ;;\n";
        text += "        esac\n";
    }
    text += "        if [[ $cur == -* ]]; then\n" + Reply("            ", names) + "        fi\n";
    if (group.size() > 1 || group.front()->name != word) {
        std::vector<std::string_view> actions;
        actions.reserve(group.size());
        for (const CommandSpec* command : group)
            actions.push_back(command->name.substr(word.size() + 1));
        text +=
            "        if ((cword == 2)); then\n" + Reply("            ", actions) + "        fi\n";
    }
    if (!group.front()->operands.empty()) text += "        _filedir\n";
    return text + "        ;;\n";
}

}  // namespace

std::string BashCompletion() {
    std::vector<std::string_view> first;
    first.reserve(std::size(kCommands));
    for (const auto& command : kCommands) first.push_back(FirstWord(command.name));
    std::vector<std::string_view> top = first;
    for (const OptionSpec& option : kTopOptions) top.push_back(option.name);
    std::string text =
        "# bash completion for omblorctl: commands, options and file names. Made by\n"
        "# `omblorctl --bash-completion` from the tool's own option declarations.\n"
        "_omblorctl()\n"
        "{\n"
        "    local cur prev words cword\n"
        "    _init_completion || return\n"
        "    if ((cword == 1)); then\n" +
        Reply("        ", top) +
        "    fi\n"
        "    case ${words[1]} in\n";
    std::vector<std::string_view> done;
    for (const std::string_view word : first) {
        if (std::ranges::find(done, word) != done.end()) continue;
        done.push_back(word);
        text += CommandCase(word);
    }
    return text +
           "    esac\n"
           "} &&\n"
           "    complete -F _omblorctl omblorctl\n";
}

}  // namespace omblor::ctl
