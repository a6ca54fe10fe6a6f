// A host for unit tests: windows show nothing, message boxes are recorded and closed at once,
// the file chooser answers with a preset path. Installs itself (and a poll loop) for its lifetime.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <functional>

#include "framework/Host.h"
#include "framework/WinTypes.h"
#include "net/PollEventLoop.h"

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

    std::unique_ptr<framework::HostWindow> CreateHostWindow(framework::CDialog&) override {
        struct Window final : framework::HostWindow {
            void Shown() override {}
            void ControlChanged(int) override {}
            void FocusChanged(int) override {}
            void SelectAllText(int id) override { selected = id; }
            void Ended(int) override {}
            int selected = 0;
        };
        return std::make_unique<Window>();
    }
    int MessageBox(std::string_view text, std::string_view caption, unsigned) override {
        messages.emplace_back(text);
        captions.emplace_back(caption);
        if (onMessage) onMessage(std::string(text));
        return framework::IDOK;
    }
    std::optional<std::string> ChooseFile(const framework::FileChooserRequest& request) override {
        lastChooser = request;
        return chooserAnswer;
    }

    net::PollEventLoop loop;
    std::vector<std::string> messages;
    std::vector<std::string> captions;
    std::function<void(const std::string&)> onMessage;
    std::optional<std::string> chooserAnswer;
    std::optional<framework::FileChooserRequest> lastChooser;
};

}  // namespace omblor::testing
