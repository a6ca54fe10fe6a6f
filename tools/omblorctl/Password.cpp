#include "Password.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "FilePrivacy.h"
#include "Terminal.h"
#include "platform/SecureWipe.h"

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
    platform::SecureWipe(buffer);
    return line;
}

std::optional<std::string> FromFile(const std::string& path, std::string& error) {
    // Unbuffered, so the only copy of the text is the buffer that gets wiped.
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
    std::string buffer(kMaxPassword, '\0');
    if (file && std::setvbuf(file.get(), nullptr, _IONBF, 0) == 0) {
        const std::size_t length = std::fread(buffer.data(), 1, buffer.size(), file.get());
        if (std::ferror(file.get()) == 0) return FirstLine(buffer, length);
    }
    error = "cannot read " + path + ": " + std::strerror(errno);
    platform::SecureWipe(buffer);
    return std::nullopt;
}

std::optional<std::string> FromEnvironment() {
    const char* value = std::getenv("OMBLOR_PASSWORD");
    if (value == nullptr) return std::nullopt;
    std::string buffer(value, std::strlen(value));
    buffer.reserve(kMaxPassword);
    const std::size_t length = buffer.size();
    TakeOutOfEnvironment("OMBLOR_PASSWORD");
    return FirstLine(buffer, length);
}

std::optional<std::string> FromTerminal(const std::string& user, std::string& error) {
    std::string buffer(kMaxPassword, '\0');
    std::size_t length = 0;
    switch (ReadHiddenLine("Password for " + user + ": ", buffer, length)) {
        case HiddenLine::Read:
            return FirstLine(buffer, length);
        case HiddenLine::NoTerminal:
            error = "no password: give --password-file or OMBLOR_PASSWORD";
            break;
        case HiddenLine::Interrupted:
            error = "interrupted";
            break;
    }
    platform::SecureWipe(buffer);
    return std::nullopt;
}

}  // namespace

std::optional<update::Credentials> ReadCredentials(const std::string& user,
                                                   const std::string& passwordFile,
                                                   std::string& error) {
    std::optional<std::string> password =
        !passwordFile.empty() ? FromFile(passwordFile, error) : FromEnvironment();
    if (!password && passwordFile.empty()) password = FromTerminal(user, error);
    if (!password) return std::nullopt;
    // As ssh does for a key: the run goes on, but the operator learns the secret is exposed.
    if (!passwordFile.empty() && ReadableByOthers(passwordFile))
        std::fprintf(stderr, "omblorctl: warning: %s can be read by others\n",
                     passwordFile.c_str());
    update::Credentials credentials(user, std::move(*password));
    platform::SecureWipe(*password);
    return credentials;
}

}  // namespace omblor::ctl
