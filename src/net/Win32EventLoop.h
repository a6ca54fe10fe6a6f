// The event loop on Windows: one message-only window, "Socket Notification Sink", receives the
// sockets' WSAAsyncSelect notifications, the SetTimer ticks and the posted calls, so every
// message loop of the thread delivers them: RunUntil's own, the dialog manager's, a message
// box's or the file chooser's. A message-only window also works without a display.
//
// Watches are for sockets only. Winsock reports readiness once per condition and re-enables the
// report when the socket is read or written; a watch that asks again for a kind of readiness
// re-registers, which makes Winsock report whatever holds at that moment, so a socket that
// stays readable is reported again each time its owner asks.
#pragma once

#include <sys/socket.h>

#include <windows.h>

#include <chrono>
#include <deque>
#include <map>

#include "net/EventLoop.h"

namespace omblor::net {

class Win32EventLoop final : public EventLoop {
  public:
    Win32EventLoop();
    ~Win32EventLoop() override;

    // False when the sink window could not be made; the loop then delivers nothing.
    [[nodiscard]] bool Usable() const { return window_ != nullptr; }
    [[nodiscard]] HWND SinkWindow() const { return window_; }

    WatchId WatchFd(int fd, unsigned events, FdCallback callback) override;
    void SetWatchEvents(WatchId id, unsigned events) override;
    void UnwatchFd(WatchId id) override;
    TimerId StartTimer(std::chrono::milliseconds interval, Repeat repeat,
                       Callback callback) override;
    void StopTimer(TimerId id) override;
    void Post(Callback callback) override;
    void RunUntil(const std::function<bool()>& done) override;

  private:
    struct Watch {
        int fd = -1;
        unsigned events = 0;
        FdCallback callback;
    };
    struct Timer {
        Repeat repeat = Repeat::No;
        Callback callback;
    };

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Select(const Watch& watch) const;
    void OnSocket(int fd, long event, int error);
    void OnTimer(UINT_PTR id);
    void RunOnePosted();

    HWND window_ = nullptr;
    std::map<WatchId, Watch> watches_;
    std::map<int, WatchId> watchOfFd_;
    std::map<TimerId, Timer> timers_;
    std::deque<Callback> posted_;
    // 32 bits: a timer's id is its SetTimer identifier.
    std::uint32_t next_id_ = 1;
};

}  // namespace omblor::net
