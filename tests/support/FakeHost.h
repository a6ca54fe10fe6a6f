// A host for unit tests: windows show nothing, message boxes are recorded and closed at once,
// the file chooser is cancelled. Installs itself (and a poll loop) for its lifetime.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <functional>

#include "framework/CDialog.h"
#include "framework/Host.h"
#include "framework/WinTypes.h"
#include "net/DefaultEventLoop.h"

namespace omblor::testing {

class FakeHost final : public framework::Host {
  public:
    FakeHost() {
        net::EventLoop::SetCurrent(&loop);
        framework::SetCurrentHost(this);
    }
    ~FakeHost() override {
        framework::SetCurrentHost(nullptr);
        net::EventLoop::SetCurrent(nullptr);
    }

    std::unique_ptr<framework::HostWindow> CreateHostWindow(framework::CDialog& dialog) override {
        struct Window final : framework::HostWindow {
            Window(FakeHost& h, framework::CDialog& d) : host(h), dialog(d) {}
            void Shown() override {
                if (host.onShown) host.onShown(dialog);
            }
            void ControlChanged(int id) override {
                const auto* c = dialog.FindControl(id);
                if (c != nullptr && c->kind == resources::ControlKind::Progress) {
                    host.progress.push_back(c->position);
                }
            }
            void FocusChanged(int) override {}
            void SelectAllText(int) override {}
            void Ended(int result) override {
                host.ended.emplace_back(dialog.TemplateId(), result);
            }
            FakeHost& host;
            framework::CDialog& dialog;
        };
        return std::make_unique<Window>(*this, dialog);
    }
    int MessageBox(std::string_view text, std::string_view caption, unsigned) override {
        messages.emplace_back(text);
        captions.emplace_back(caption);
        if (onMessage) onMessage(std::string(text));
        return framework::IDOK;
    }
    std::optional<std::string> ChooseFile(const framework::FileChooserRequest&) override {
        return std::nullopt;  // the operator cancels
    }

    net::DefaultEventLoop loop;
    // Called as each dialog's modal loop starts; a test may act on the dialog from here.
    std::function<void(framework::CDialog&)> onShown;
    std::vector<int> progress;               // positions shown, in order
    std::vector<std::pair<int, int>> ended;  // (template, result) of each closed dialog
    std::vector<std::string> messages;
    std::vector<std::string> captions;
    std::function<void(const std::string&)> onMessage;
};

}  // namespace omblor::testing
