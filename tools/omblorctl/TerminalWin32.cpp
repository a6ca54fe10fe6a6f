#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "Terminal.h"
#include "platform/SecureWipe.h"
#include "platform/Win32Handle.h"

namespace omblor::ctl {

namespace {

std::atomic<bool> g_interrupted{false};

BOOL WINAPI OnControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    g_interrupted = true;
    return TRUE;
}

}  // namespace

bool StderrIsTerminal() {
    HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (::GetConsoleMode(error, &mode) == FALSE) return false;
    // Consoles before Windows 10 show the sequences as text: those get the plain lines.
    return ::SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != FALSE;
}

std::size_t StderrRows() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info) == FALSE) return 24;
    const int rows = info.srWindow.Bottom - info.srWindow.Top + 1;
    return rows > 0 ? static_cast<std::size_t>(rows) : 24;
}

HiddenLine ReadHiddenLine(const std::string& prompt, std::span<char> buffer, std::size_t& length) {
    length = 0;
    HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD saved = 0;
    if (::GetConsoleMode(input, &saved) == FALSE) return HiddenLine::NoTerminal;
    // The prompt goes to the console even when stdout and stderr are redirected.
    const platform::UniqueHandle output = platform::AdoptHandle(
        ::CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr));
    auto show = [&](const char* text, std::size_t size) {
        DWORD written = 0;
        if (output) ::WriteFile(output.get(), text, static_cast<DWORD>(size), &written, nullptr);
    };
    g_interrupted = false;
    ::SetConsoleCtrlHandler(&OnControl, TRUE);
    show(prompt.data(), prompt.size());
    ::SetConsoleMode(input,
                     (saved | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) & ~ENABLE_ECHO_INPUT);

    bool lineEnded = false;
    while (length < buffer.size() && !g_interrupted) {
        DWORD got = 0;
        if (::ReadConsoleA(input, buffer.data() + length,
                           static_cast<DWORD>(buffer.size() - length), &got, nullptr) == FALSE ||
            got == 0) {
            break;  // Ctrl-C ends the read with nothing
        }
        length += got;
        if (buffer[length - 1] == '\n') {
            lineEnded = true;
            break;
        }
    }
    ::SetConsoleMode(input, saved);
    ::SetConsoleCtrlHandler(&OnControl, FALSE);
    show("\r\n", 2);
    return g_interrupted || (!lineEnded && length == 0) ? HiddenLine::Interrupted
                                                        : HiddenLine::Read;
}

// The runtime's copy is wiped; Windows' own block of the process drops the variable.
void TakeOutOfEnvironment(const char* name) {
    if (char* value = std::getenv(name)) {
        platform::SecureWipe(std::as_writable_bytes(std::span(value, std::strlen(value))));
    }
    ::_putenv_s(name, "");
    ::SetEnvironmentVariableA(name, nullptr);
}

}  // namespace omblor::ctl
