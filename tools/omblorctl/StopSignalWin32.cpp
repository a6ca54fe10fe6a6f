#include <windows.h>

#include <atomic>

#include "StopSignal.h"
#include "net/Win32MessageWindow.h"

namespace omblor::ctl {

namespace {

constexpr UINT kStopMessage = WM_APP + 11;
constexpr char kClassName[] = "OmblorStopSignal";

// The console runs its control handler on a thread of its own; it only posts a message to this
// window, and the loop's thread takes it from there.
std::atomic<HWND> g_window{nullptr};

BOOL WINAPI OnControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    HWND window = g_window.load();
    return window != nullptr && ::PostMessageA(window, kStopMessage, 0, 0) != FALSE ? TRUE : FALSE;
}

}  // namespace

struct StopSignal::Source {
    HWND window = nullptr;

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message != kStopMessage) return ::DefWindowProcA(window, message, wParam, lParam);
        if (auto* owner = net::MessageWindowOwner<StopSignal>(window)) owner->Arrived();
        return 0;
    }
};

StopSignal::StopSignal(std::function<void()> onStop)
    : onStop_(std::move(onStop)), source_(std::make_unique<Source>()) {
    source_->window = net::CreateMessageWindow(kClassName, "", &Source::WindowProc, this);
    if (source_->window == nullptr) return;
    g_window.store(source_->window);
    ::SetConsoleCtrlHandler(&OnControl, TRUE);
}

StopSignal::~StopSignal() {
    if (source_->window == nullptr) return;
    ::SetConsoleCtrlHandler(&OnControl, FALSE);
    g_window.store(nullptr);
    ::DestroyWindow(source_->window);
}

}  // namespace omblor::ctl
