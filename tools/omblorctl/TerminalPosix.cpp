#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include "Terminal.h"
#include "platform/SecureWipe.h"
#include "platform/UniqueFd.h"
#include "platform/WriteAll.h"

namespace omblor::ctl {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;
void OnInterrupt(int /*signal*/) {
    g_interrupted = 1;
}

}  // namespace

bool StderrIsTerminal() {
    return ::isatty(STDERR_FILENO) != 0;
}

std::size_t StderrRows() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0) return 24;
    return size.ws_row;
}

HiddenLine ReadHiddenLine(const std::string& prompt, std::span<char> buffer, std::size_t& length) {
    length = 0;
    const platform::UniqueFd tty(
        ::isatty(STDIN_FILENO) != 0 ? ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY) : -1);
    termios saved{};
    if (!tty.Valid() || ::tcgetattr(tty.Get(), &saved) != 0) return HiddenLine::NoTerminal;
    g_interrupted = 0;
    struct sigaction interrupt {};
    interrupt.sa_handler = OnInterrupt;  // no SA_RESTART: the read returns at Ctrl-C
    struct sigaction previous {};
    ::sigaction(SIGINT, &interrupt, &previous);
    platform::WriteAll(tty.Get(), prompt);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(tty.Get(), TCSAFLUSH, &quiet);

    while (length < buffer.size() && g_interrupted == 0) {
        const ssize_t n = ::read(tty.Get(), buffer.data() + length, buffer.size() - length);
        if (n <= 0) break;
        length += static_cast<std::size_t>(n);
        if (buffer[length - 1] == '\n') break;
    }
    ::tcsetattr(tty.Get(), TCSAFLUSH, &saved);
    ::sigaction(SIGINT, &previous, nullptr);
    platform::WriteAll(tty.Get(), "\n");
    return g_interrupted != 0 ? HiddenLine::Interrupted : HiddenLine::Read;
}

void TakeOutOfEnvironment(const char* name) {
    if (char* value = std::getenv(name)) {
        platform::SecureWipe(std::as_writable_bytes(std::span(value, std::strlen(value))));
    }
    ::unsetenv(name);
}

}  // namespace omblor::ctl
