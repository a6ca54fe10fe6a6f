// The headless host: every dialog, message box and file chooser runs in a terminal or a script.
// Output goes to stdout as tagged lines ("[open 102 "DRUVANE"]", "[message "omblor"]", ...);
// operator actions come from stdin, one a line, and go to the topmost modal window. When input
// runs out the operator has left: message boxes close as they open and windows that wait for the
// operator end as if Esc were pressed. Modal windows nest and the event loop keeps running in
// each of them, exactly as in the Qt host.
#pragma once

#include <cstdio>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Host.h"
#include "framework/console/ConsoleInput.h"
#include "net/EventLoop.h"

namespace omblor::framework {

class ConsoleHost final : public Host {
  public:
    // Runs on `loop`, reads actions from `inputFd` and writes to `out`; none is owned, and the
    // loop must outlive the host.
    ConsoleHost(net::EventLoop& loop, int inputFd, std::FILE* out);
    ~ConsoleHost() override;

    std::unique_ptr<HostWindow> CreateHostWindow(CDialog& dialog) override;
    int MessageBox(std::string_view text, std::string_view caption, unsigned type) override;
    // Prints "[details] <text>" after the box's "[/message]", on one line.
    int MessageBoxWithDetails(std::string_view text, std::string_view caption, unsigned type,
                              std::string_view details) override;
    std::optional<std::string> ChooseFile(const FileChooserRequest& request) override;

    // Prints the controls of the topmost dialog, as the "dump" action does.
    void Dump();

  private:
    class Window;
    struct Modal {
        enum class Kind { Dialog, MessageBox, Chooser } kind = Kind::Dialog;
        CDialog* dialog = nullptr;
        bool done = false;
        std::optional<std::string> chosen;
    };

    void OnInput(std::span<const char> chunk);
    void ScheduleNextAction();
    void RunNextAction();
    void Apply(std::string_view line);
    bool ApplyToDialog(CDialog& dialog, std::string_view verb, std::string_view rest);
    void PrintIgnored(std::string_view line);
    void OperatorMayHaveLeft();
    void Push(Modal* modal);
    void Pop(Modal* modal);
    CDialog* TopDialog() const;
    void Print(const std::string& text);

    net::EventLoop& loop_;
    // Declared after the loop: calls still queued when the host goes are dropped with it.
    net::PostedCalls posted_{loop_};
    int inputFd_ = -1;
    std::FILE* out_ = nullptr;
    std::string partial_;
    std::deque<std::string> lines_;
    bool inputEnded_ = false;
    bool operatorLeft_ = false;
    bool actionScheduled_ = false;
    net::ScopedTimer waitTimer_;
    std::vector<Modal*> stack_;
    std::string details_;  // of the box being opened
    // Last: it may deliver (the end of input) while the host is being built.
    std::unique_ptr<ConsoleInput> input_;
};

}  // namespace omblor::framework
