#include "framework/console/ConsoleHost.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <span>
#include <string_view>
#include <utility>

#include "framework/CDialog.h"
#include "platform/SecureWipe.h"
#include "resources/DialogTemplate.h"
#include "text/OutsideText.h"

namespace omblor::framework {

namespace {

using resources::ControlKind;
using text::EscapeMessageBody;
using text::EscapeOutsideText;

std::string_view KindName(ControlKind kind) {
    switch (kind) {
        case ControlKind::PushButton:
        case ControlKind::DefPushButton:
            return "button";
        case ControlKind::Edit:
            return "edit";
        case ControlKind::CheckBox:
            return "checkbox";
        case ControlKind::Tree:
            return "tree";
        case ControlKind::Progress:
            return "progress";
        case ControlKind::Static:
        case ControlKind::Icon:
            break;
    }
    return "static";
}

// "2.1" -> {2, 1}; empty on anything else.
std::vector<int> ParsePath(std::string_view path) {
    std::vector<int> out;
    while (!path.empty()) {
        const auto dot = path.find('.');
        const auto part = path.substr(0, dot);
        if (part.empty() || part.size() > 6 ||
            !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return {};
        }
        out.push_back(std::atoi(std::string(part).c_str()));
        if (out.back() == 0) return {};
        if (dot == std::string_view::npos) break;
        path.remove_prefix(dot + 1);
        if (path.empty()) return {};
    }
    return out;
}

std::string CurrentFolder() {
    std::error_code error;
    const auto folder = std::filesystem::current_path(error);
    return error ? std::string(".") : folder.string();
}

// "/x" on Linux; "c:\x", "\\server\x" and "/x" on Windows.
bool IsFullPath(std::string_view path) {
    return path.front() == '/' || std::filesystem::path(path).is_absolute();
}

bool ParseInt(std::string_view text, int& value) {
    if (text.empty() || text.size() > 9) return false;
    int v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    value = v;
    return true;
}

}  // namespace

// The console's side of one open dialog.
class ConsoleHost::Window final : public HostWindow {
  public:
    Window(ConsoleHost& host, CDialog& dialog) : host_(host), dialog_(dialog) {
        modal_.kind = Modal::Kind::Dialog;
        modal_.dialog = &dialog;
        host_.Print("[open " + std::to_string(dialog.TemplateId()) + " \"" +
                    std::string(dialog.Template()->title) + "\"]\n");
        host_.Push(&modal_);
    }
    ~Window() override { host_.Pop(&modal_); }

    void Shown() override { host_.OperatorMayHaveLeft(); }
    void ControlChanged(int id) override {
        const ControlState* c = dialog_.FindControl(id);
        if (c != nullptr && c->kind == ControlKind::Progress && c->position != lastProgress_) {
            lastProgress_ = c->position;
            host_.Print("[progress " + std::to_string(c->position) + "]\n");
        }
    }
    void FocusChanged(int /*id*/) override {}
    void SelectAllText(int /*id*/) override {}
    void Ended(int result) override {
        host_.Print("[end " + std::to_string(dialog_.TemplateId()) + " " + std::to_string(result) +
                    "]\n");
    }

  private:
    ConsoleHost& host_;
    CDialog& dialog_;
    Modal modal_;
    int lastProgress_ = 0;
};

ConsoleHost::ConsoleHost(net::EventLoop& loop, int inputFd, std::FILE* out)
    : loop_(loop), inputFd_(inputFd), out_(out) {
    input_ = std::make_unique<ConsoleInput>(
        loop_, inputFd_, [this](std::span<const char> chunk) { OnInput(chunk); });
}

ConsoleHost::~ConsoleHost() {
    // Unread actions may hold a password.
    platform::SecureWipe(partial_);
    for (std::string& line : lines_) platform::SecureWipe(line);
}

std::unique_ptr<HostWindow> ConsoleHost::CreateHostWindow(CDialog& dialog) {
    return std::make_unique<Window>(*this, dialog);
}

void ConsoleHost::Print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fflush(out_);
}

int ConsoleHost::MessageBox(std::string_view text, std::string_view caption, unsigned /*type*/) {
    Print("[message \"" + EscapeOutsideText(caption) + "\"]\n" + EscapeMessageBody(text) +
          "\n[/message]\n");
    if (!details_.empty())
        Print("[details] " + EscapeOutsideText(std::exchange(details_, {})) + "\n");
    if (operatorLeft_) return IDOK;
    Modal modal;
    modal.kind = Modal::Kind::MessageBox;
    Push(&modal);
    loop_.RunUntil([&modal] { return modal.done; });
    Pop(&modal);
    return IDOK;
}

int ConsoleHost::MessageBoxWithDetails(std::string_view text, std::string_view caption,
                                       unsigned type, std::string_view details) {
    details_ = std::string(details);
    return MessageBox(text, caption, type);
}

std::optional<std::string> ConsoleHost::ChooseFile(const FileChooserRequest& request) {
    std::string line = "[chooser";
    for (const auto& f : request.filters)
        line += " \"" + EscapeOutsideText(f.description) + "\" \"" + EscapeOutsideText(f.pattern) +
                "\"";
    line += " initial=\"" + EscapeOutsideText(request.initialLocation) + "\"]\n";
    Print(line);
    if (operatorLeft_) {
        Print("[/chooser]\n");
        return std::nullopt;
    }
    Modal modal;
    modal.kind = Modal::Kind::Chooser;
    Push(&modal);
    loop_.RunUntil([&modal] { return modal.done; });
    Pop(&modal);
    Print("[/chooser]\n");
    return modal.chosen;
}

void ConsoleHost::Push(Modal* modal) {
    // Every caller pops its entry before the entry goes out of scope.
    // cppcheck-suppress danglingLifetime
    stack_.push_back(modal);
    OperatorMayHaveLeft();
}

void ConsoleHost::Pop(Modal* modal) {
    stack_.erase(std::remove(stack_.begin(), stack_.end(), modal), stack_.end());
    OperatorMayHaveLeft();
}

CDialog* ConsoleHost::TopDialog() const {
    for (auto it = stack_.rbegin(); it != stack_.rend(); ++it) {
        if ((*it)->kind == Modal::Kind::Dialog) return (*it)->dialog;
    }
    return nullptr;
}

void ConsoleHost::OnInput(std::span<const char> chunk) {
    if (inputEnded_) return;
    if (chunk.empty()) {
        inputEnded_ = true;
        if (!partial_.empty()) lines_.push_back(std::exchange(partial_, {}));
    } else {
        partial_.append(chunk.data(), chunk.size());
        std::size_t start = 0;
        for (std::size_t nl; (nl = partial_.find('\n', start)) != std::string::npos;
             start = nl + 1) {
            std::string line = partial_.substr(start, nl - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines_.push_back(std::move(line));
        }
        // A line may hold a password: what is taken from the buffer is wiped, not left behind.
        std::string rest = partial_.substr(start);
        platform::SecureWipe(partial_);
        partial_ = std::move(rest);
    }
    ScheduleNextAction();
}

void ConsoleHost::ScheduleNextAction() {
    if (actionScheduled_ || waitTimer_.Active()) return;
    actionScheduled_ = true;
    posted_.Post([this] { RunNextAction(); });
}

// One action per turn of the loop, so socket events and ticks interleave with the operator's
// actions as they would with a person at the keyboard. The next turn is scheduled before the
// action runs, since the action may open a modal window whose loop must keep reading input.
void ConsoleHost::RunNextAction() {
    actionScheduled_ = false;
    if (waitTimer_.Active()) return;
    if (lines_.empty()) {
        if (inputEnded_ && !operatorLeft_) {
            operatorLeft_ = true;
            OperatorMayHaveLeft();
        }
        return;
    }
    std::string line = std::move(lines_.front());
    lines_.pop_front();
    ScheduleNextAction();
    Apply(line);
    platform::SecureWipe(line);
}

void ConsoleHost::OperatorMayHaveLeft() {
    if (!operatorLeft_) return;
    // Acted on from a later turn: the topmost window then is the one whose loop is running, not
    // one whose handler is still between two steps.
    posted_.Post([this] {
        if (stack_.empty()) return;
        Modal* top = stack_.back();
        switch (top->kind) {
            case Modal::Kind::MessageBox:
            case Modal::Kind::Chooser:
                top->done = true;
                break;
            case Modal::Kind::Dialog:
                if (top->dialog->IsOpen() && top->dialog->WaitsForOperator()) {
                    top->dialog->HandleCancel();
                }
                break;
        }
    });
}

// Echoes an action that did not apply. The text of a `set` is never echoed: it may be a password.
void ConsoleHost::PrintIgnored(std::string_view line) {
    if (line.starts_with("set ")) {
        const auto rest = line.substr(4);
        const auto id = rest.substr(0, rest.find(' '));
        int value = 0;
        line = ParseInt(id, value) ? line.substr(0, 4 + id.size()) : line.substr(0, 3);
    }
    Print("[ignored " + EscapeOutsideText(line) + "]\n");
}

void ConsoleHost::Apply(std::string_view line) {
    const auto blank = line.find(' ');
    const std::string_view verb = line.substr(0, blank);
    const std::string_view rest =
        blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);

    if (verb == "wait") {
        int ms = 0;
        if (!ParseInt(rest, ms)) {
            PrintIgnored(line);
            return;
        }
        waitTimer_ =
            net::ScopedTimer(loop_, std::chrono::milliseconds(ms), net::Repeat::No, [this] {
                waitTimer_ = net::ScopedTimer();
                ScheduleNextAction();
            });
        return;
    }
    if (verb == "dump" && rest.empty()) {
        Dump();
        return;
    }
    Modal* top = stack_.empty() ? nullptr : stack_.back();
    bool applied = false;
    if (top != nullptr) {
        switch (top->kind) {
            case Modal::Kind::MessageBox:
                if ((verb == "ok" || verb == "cancel") && rest.empty()) {
                    top->done = true;
                    applied = true;
                }
                break;
            case Modal::Kind::Chooser:
                if (verb == "choose" && !rest.empty()) {
                    // The chooser hands back a full path, as a window's chooser would.
                    top->chosen = IsFullPath(rest) ? std::string(rest)
                                                   : CurrentFolder() + "/" + std::string(rest);
                    top->done = true;
                    applied = true;
                } else if (verb == "cancel" && rest.empty()) {
                    top->done = true;
                    applied = true;
                }
                break;
            case Modal::Kind::Dialog:
                applied = ApplyToDialog(*top->dialog, verb, rest);
                break;
        }
    }
    if (!applied) PrintIgnored(line);
}

bool ConsoleHost::ApplyToDialog(CDialog& dialog, std::string_view verb, std::string_view rest) {
    if (!dialog.IsOpen()) return false;
    if (verb == "cancel" && rest.empty()) {
        dialog.HandleCancel();
        return true;
    }
    if (verb == "menu") {
        int command = 0;
        if (!ParseInt(rest, command)) return false;
        dialog.HandleSysCommand(static_cast<unsigned>(command));
        return true;
    }
    const auto blank = rest.find(' ');
    int id = 0;
    if (verb == "click") {
        if (!ParseInt(rest, id)) return false;
        ControlState* c = dialog.FindControl(id);
        if (c == nullptr || !c->enabled ||
            (c->kind != ControlKind::PushButton && c->kind != ControlKind::DefPushButton &&
             c->kind != ControlKind::CheckBox)) {
            return false;
        }
        dialog.GotoDlgCtrl(id);
        dialog.HandleCommand(id);
        return true;
    }
    if (verb == "set" || verb == "check") {
        if (blank == std::string::npos || !ParseInt(rest.substr(0, blank), id)) return false;
        ControlState* c = dialog.FindControl(id);
        const std::string_view value = rest.substr(blank + 1);
        if (c == nullptr || !c->enabled) return false;
        if (verb == "set" && c->kind == ControlKind::Edit) {
            SecureWipe(c->text);
            c->text.assign(value);
        } else if (verb == "check" && c->kind == ControlKind::CheckBox &&
                   (value == "0" || value == "1")) {
            c->checked = value == "1" ? 1 : 0;
        } else {
            return false;
        }
        dialog.GotoDlgCtrl(id);
        dialog.NotifyChanged(id);
        return true;
    }
    if (verb == "select") {
        const std::vector<int> path = ParsePath(rest);
        if (path.empty()) return false;
        for (auto& c : dialog.Controls()) {
            if (c.kind != ControlKind::Tree || !c.enabled) continue;
            HTREEITEM parent = 0;
            HTREEITEM found = 0;
            for (const int index : path) {
                int seen = 0;
                found = 0;
                for (const auto& item : c.items) {
                    if (item.parent == parent && ++seen == index) {
                        found = item.handle;
                        break;
                    }
                }
                if (found == 0) return false;
                parent = found;
            }
            c.selected = found;
            dialog.NotifyChanged(c.id);
            return true;
        }
    }
    return false;
}

void ConsoleHost::Dump() {
    CDialog* dialog = TopDialog();
    if (dialog == nullptr) {
        PrintIgnored("dump");
        return;
    }
    std::string out;
    for (const auto& c : dialog->Controls()) {
        out += c.id == resources::kNoControlId ? std::string("-") : std::to_string(c.id);
        out += ' ';
        out += KindName(c.kind);
        out += c.enabled ? " enabled \"" : " disabled \"";
        if (c.kind == ControlKind::Progress) {
            out += std::to_string(c.position);
        } else if (c.IsPassword()) {
            out += std::string(c.text.size(), '*');
        } else {
            out += EscapeOutsideText(c.text);
        }
        out += '"';
        if (c.kind == ControlKind::CheckBox) out += " checked=" + std::to_string(c.checked);
        if (c.id != resources::kNoControlId && c.id == dialog->FocusId()) out += " [focus]";
        out += '\n';
        if (c.kind != ControlKind::Tree) continue;
        // Items in tree order: depth first, siblings in insertion order.
        std::function<void(HTREEITEM, const std::string&)> walk = [&](HTREEITEM parent,
                                                                      const std::string& prefix) {
            int n = 0;
            for (const auto& item : c.items) {
                if (item.parent != parent) continue;
                const std::string path =
                    prefix.empty() ? std::to_string(++n) : prefix + "." + std::to_string(++n);
                out += "item " + path + " state=" + std::to_string((item.state >> 12) & 0xF) +
                       " \"" + EscapeOutsideText(item.text) + "\"" +
                       (item.handle == c.selected ? " *" : "") + "\n";
                walk(item.handle, path);
            }
        };
        walk(0, "");
    }
    Print(out);
}

}  // namespace omblor::framework
