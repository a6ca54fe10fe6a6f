#include <windows.h>

#include <io.h>

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "framework/console/ConsoleInput.h"
#include "net/Win32MessageWindow.h"
#include "platform/SecureWipe.h"

namespace omblor::framework {

namespace {

constexpr UINT kInputMessage = WM_APP + 10;
constexpr char kClassName[] = "OmblorConsoleInput";

// What the reader thread and the loop's thread share. The thread may stay blocked in ReadFile
// after the input object has gone (a console or a pipe nobody writes to), so it keeps its own
// reference; everything it touches then is this, never the object.
struct Shared {
    HANDLE input = nullptr;
    std::mutex mutex;
    std::deque<std::string> chunks;  // an empty chunk marks the end of the input
    HWND window = nullptr;           // null once the input object has gone
};

DWORD WINAPI ReadInput(LPVOID parameter) {
    std::unique_ptr<std::shared_ptr<Shared>> holder(
        static_cast<std::shared_ptr<Shared>*>(parameter));
    const std::shared_ptr<Shared> shared = *holder;
    char buffer[4096];
    for (;;) {
        DWORD got = 0;
        const BOOL ok = ::ReadFile(shared->input, buffer, sizeof buffer, &got, nullptr);
        const bool ended = ok == FALSE || got == 0;
        {
            const std::lock_guard lock(shared->mutex);
            if (shared->window == nullptr) break;
            shared->chunks.emplace_back(ended ? std::string() : std::string(buffer, got));
            // A message only wakes the loop; the chunks stay here until the loop takes them.
            ::PostMessageA(shared->window, kInputMessage, 0, 0);
        }
        platform::SecureWipe(std::as_writable_bytes(std::span(buffer)));
        if (ended) break;
    }
    platform::SecureWipe(std::as_writable_bytes(std::span(buffer)));
    return 0;
}

}  // namespace

struct ConsoleInput::Reader {
    std::shared_ptr<Shared> shared = std::make_shared<Shared>();
    Sink sink;
    bool ended = false;

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message != kInputMessage) return ::DefWindowProcA(window, message, wParam, lParam);
        if (auto* self = net::MessageWindowOwner<Reader>(window)) {
            self->Deliver();
        }
        return 0;
    }

    // One chunk per message, so a handler that opens a modal window leaves the rest to it.
    void Deliver() {
        std::string chunk;
        {
            const std::lock_guard lock(shared->mutex);
            if (shared->chunks.empty() || ended) return;
            chunk = std::move(shared->chunks.front());
            shared->chunks.pop_front();
        }
        ended = chunk.empty();
        sink(std::span<const char>(chunk.data(), chunk.size()));
        platform::SecureWipe(chunk);
    }
};

ConsoleInput::ConsoleInput(net::EventLoop& /*loop*/, int fd, Sink sink)
    : reader_(std::make_unique<Reader>()) {
    reader_->sink = std::move(sink);
    HWND window = net::CreateMessageWindow(kClassName, "", &Reader::WindowProc, reader_.get());
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    if (window == nullptr || handle == INVALID_HANDLE_VALUE || handle == nullptr) {
        // No input to be had: the operator has left.
        if (window != nullptr) ::DestroyWindow(window);
        reader_->sink({});
        return;
    }
    reader_->shared->window = window;
    reader_->shared->input = handle;
    auto* parameter = new std::shared_ptr<Shared>(reader_->shared);
    HANDLE thread = ::CreateThread(nullptr, 0, &ReadInput, parameter, 0, nullptr);
    if (thread == nullptr) {
        delete parameter;
        reader_->sink({});
        return;
    }
    ::CloseHandle(thread);
}

ConsoleInput::~ConsoleInput() {
    HWND window = nullptr;
    {
        const std::lock_guard lock(reader_->shared->mutex);
        window = std::exchange(reader_->shared->window, nullptr);
        for (std::string& chunk : reader_->shared->chunks) platform::SecureWipe(chunk);
        reader_->shared->chunks.clear();
    }
    if (window != nullptr) ::DestroyWindow(window);
}

}  // namespace omblor::framework
