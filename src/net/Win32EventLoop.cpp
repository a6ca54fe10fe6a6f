#include "net/Win32EventLoop.h"

#include <algorithm>
#include <utility>

#include "net/SocketTypes.h"
#include "net/Win32MessageWindow.h"

namespace omblor::net {

namespace {

constexpr UINT kSocketMessage = WM_APP + 1;
constexpr UINT kPostedMessage = WM_APP + 2;
constexpr char kClassName[] = "OmblorSocketSink";
constexpr char kWindowName[] = "Socket Notification Sink";

// What Winsock should report for a watch's interest.
long SelectMask(unsigned events) {
    long mask = 0;
    if ((events & kFdRead) != 0) mask |= FD_READ | FD_ACCEPT | FD_CLOSE | FD_OOB;
    if ((events & kFdWrite) != 0) mask |= FD_WRITE | FD_CONNECT;
    return mask;
}

}  // namespace

Win32EventLoop::Win32EventLoop()
    : window_(CreateMessageWindow(kClassName, kWindowName, &WindowProc, this)) {}

Win32EventLoop::~Win32EventLoop() {
    Retire();
    if (window_ == nullptr) return;
    for (const auto& [id, watch] : watches_) {
        ::WSAAsyncSelect(static_cast<::SOCKET>(watch.fd), window_, 0, 0);
    }
    for (const auto& [id, timer] : timers_) ::KillTimer(window_, id);
    ::SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
    // Messages still queued for the window go with it.
    ::DestroyWindow(window_);
}

LRESULT CALLBACK Win32EventLoop::WindowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    auto* self = MessageWindowOwner<Win32EventLoop>(window);
    if (self == nullptr) return ::DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
        case kSocketMessage:
            self->OnSocket(static_cast<int>(wParam), WSAGETSELECTEVENT(lParam),
                           WSAGETSELECTERROR(lParam));
            return 0;
        case kPostedMessage:
            self->RunOnePosted();
            return 0;
        case WM_TIMER:
            self->OnTimer(wParam);
            return 0;
        default:
            return ::DefWindowProcA(window, message, wParam, lParam);
    }
}

void Win32EventLoop::Select(const Watch& watch) const {
    const long mask = SelectMask(watch.events);
    // A zero mask stops the reports; any other one also reports what already holds.
    ::WSAAsyncSelect(static_cast<::SOCKET>(watch.fd), window_, mask == 0 ? 0 : kSocketMessage,
                     mask);
}

WatchId Win32EventLoop::WatchFd(int fd, unsigned events, FdCallback callback) {
    const WatchId id = next_id_++;
    Watch& watch = watches_[id] = Watch{fd, events, std::move(callback)};
    watchOfFd_[fd] = id;
    if (window_ != nullptr) Select(watch);
    return id;
}

void Win32EventLoop::SetWatchEvents(WatchId id, unsigned events) {
    auto it = watches_.find(id);
    if (it == watches_.end()) return;
    it->second.events = events;
    if (window_ != nullptr) Select(it->second);
}

void Win32EventLoop::UnwatchFd(WatchId id) {
    auto it = watches_.find(id);
    if (it == watches_.end()) return;
    if (window_ != nullptr) ::WSAAsyncSelect(static_cast<::SOCKET>(it->second.fd), window_, 0, 0);
    if (auto fd = watchOfFd_.find(it->second.fd); fd != watchOfFd_.end() && fd->second == id) {
        watchOfFd_.erase(fd);
    }
    watches_.erase(it);
}

void Win32EventLoop::OnSocket(int fd, long event, int error) {
    // A report may still be queued from before its watch changed or went: only what the watch
    // asks for now passes, and the owner checks the socket itself before acting on it.
    const auto byFd = watchOfFd_.find(fd);
    if (byFd == watchOfFd_.end()) return;
    const auto it = watches_.find(byFd->second);
    if (it == watches_.end()) return;
    unsigned ready = 0;
    if ((event & (FD_READ | FD_ACCEPT | FD_CLOSE | FD_OOB)) != 0) ready |= kFdRead;
    if ((event & (FD_WRITE | FD_CONNECT)) != 0) ready |= kFdWrite;
    // A failure is news to either side, as a hang-up is to poll(2).
    if (error != 0) ready |= kFdRead | kFdWrite;
    ready &= it->second.events;
    if (ready == 0) return;
    FdCallback callback = it->second.callback;
    callback(fd, ready);
}

TimerId Win32EventLoop::StartTimer(std::chrono::milliseconds interval, Repeat repeat,
                                   Callback callback) {
    if (next_id_ == 0) next_id_ = 1;
    const TimerId id = next_id_++;
    timers_[id] = Timer{repeat, std::move(callback)};
    // SetTimer raises anything shorter to its minimum, so a zero interval never spins.
    const auto ms = static_cast<UINT>(std::clamp<long long>(interval.count(), 0, 0x7FFFFFFF));
    if (window_ == nullptr || ::SetTimer(window_, static_cast<UINT_PTR>(id), ms, nullptr) == 0) {
        timers_.erase(id);
        return id;  // never fires; stopping it is harmless
    }
    return id;
}

void Win32EventLoop::StopTimer(TimerId id) {
    if (timers_.erase(id) > 0 && window_ != nullptr)
        ::KillTimer(window_, static_cast<UINT_PTR>(id));
}

void Win32EventLoop::OnTimer(UINT_PTR id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) {
        ::KillTimer(window_, id);  // a tick that was queued before its timer stopped
        return;
    }
    Callback callback = it->second.callback;
    if (it->second.repeat == Repeat::No) StopTimer(id);
    callback();
}

void Win32EventLoop::Post(Callback callback) {
    posted_.push_back(std::move(callback));
    // One message per call keeps the order of posted calls among the thread's other messages,
    // whichever message loop runs them.
    if (window_ != nullptr) ::PostMessageA(window_, kPostedMessage, 0, 0);
}

void Win32EventLoop::RunOnePosted() {
    if (posted_.empty()) return;
    Callback callback = std::move(posted_.front());
    posted_.pop_front();
    callback();
}

void Win32EventLoop::RunUntil(const std::function<bool()>& done) {
    while (!done()) {
        MSG message{};
        const BOOL got = ::GetMessageA(&message, nullptr, 0, 0);
        if (got == 0) {
            // Someone asked the thread to quit: leave, and let the loops outside see it too.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (got < 0) return;
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

}  // namespace omblor::net
