#include "Password.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "net/SecureWipe.h"
#include "net/UniqueFd.h"

namespace omblor::ctl {

namespace {

constexpr std::size_t kMaxPassword = 4096;

// The text up to the first line end; the buffer is wiped either way.
std::string FirstLine(std::string& buffer, std::size_t length) {
    std::string line;
    line.reserve(kMaxPassword);  // no reallocation leaves a copy behind
    std::size_t end = 0;
    while (end < length && buffer[end] != '\n' && buffer[end] != '\r') ++end;
    line.append(buffer.data(), end);
    net::SecureWipe(buffer);
    return line;
}

std::optional<std::string> FromFile(const std::string& path, std::string& error) {
    const net::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::string buffer(kMaxPassword, '\0');
    std::size_t length = 0;
    while (length < buffer.size()) {
        const ssize_t n = ::read(fd.Get(), buffer.data() + length, buffer.size() - length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        length += static_cast<std::size_t>(n);
    }
    return FirstLine(buffer, length);
}

std::optional<std::string> FromEnvironment() {
    char* value = std::getenv("OMBLOR_PASSWORD");
    if (value == nullptr) return std::nullopt;
    std::string buffer(value, std::strlen(value));
    buffer.reserve(kMaxPassword);
    const std::size_t length = buffer.size();
    // Nothing started from here inherits it, and the process's copy goes.
    ::explicit_bzero(value, length);
    ::unsetenv("OMBLOR_PASSWORD");
    return FirstLine(buffer, length);
}

volatile std::sig_atomic_t g_interrupted = 0;
void OnInterrupt(int /*signal*/) {
    g_interrupted = 1;
}

// One line from the terminal with echo off. Ctrl-C ends the prompt (echo comes back on) instead
// of the process.
std::optional<std::string> FromTerminal(const std::string& user, std::string& error) {
    const net::UniqueFd tty(
        ::isatty(STDIN_FILENO) != 0 ? ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY) : -1);
    termios saved{};
    if (!tty.Valid() || ::tcgetattr(tty.Get(), &saved) != 0) {
        error = "no password: give --password-file or OMBLOR_PASSWORD";
        return std::nullopt;
    }
    struct sigaction interrupt {};
    interrupt.sa_handler = OnInterrupt;  // no SA_RESTART: the read returns at Ctrl-C
    struct sigaction previous {};
    ::sigaction(SIGINT, &interrupt, &previous);
    const std::string prompt = "Password for " + user + ": ";
    [[maybe_unused]] auto written = ::write(tty.Get(), prompt.data(), prompt.size());
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(tty.Get(), TCSAFLUSH, &quiet);

    std::string buffer(kMaxPassword, '\0');
    std::size_t length = 0;
    while (length < buffer.size() && g_interrupted == 0) {
        const ssize_t n = ::read(tty.Get(), buffer.data() + length, buffer.size() - length);
        if (n <= 0) break;
        length += static_cast<std::size_t>(n);
        if (buffer[length - 1] == '\n') break;
    }
    ::tcsetattr(tty.Get(), TCSAFLUSH, &saved);
    ::sigaction(SIGINT, &previous, nullptr);
    written = ::write(tty.Get(), "\n", 1);
    if (g_interrupted != 0) {
        net::SecureWipe(buffer);
        error = "interrupted";
        return std::nullopt;
    }
    return FirstLine(buffer, length);
}

}  // namespace

std::optional<update::Credentials> ReadCredentials(const std::string& user,
                                                   const std::string& passwordFile,
                                                   std::string& error) {
    std::optional<std::string> password =
        !passwordFile.empty() ? FromFile(passwordFile, error) : FromEnvironment();
    if (!password && passwordFile.empty()) password = FromTerminal(user, error);
    if (!password) return std::nullopt;
    update::Credentials credentials(user, std::move(*password));
    net::SecureWipe(*password);
    return credentials;
}

}  // namespace omblor::ctl
