#include "ModuleSession.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <algorithm>
#include <fstream>
#include <utility>

namespace omblor::sim {

namespace {
std::string Hex32(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", v);
    return text;
}
}  // namespace

ModuleSession::ModuleSession(net::UniqueFd connection, const SimOptions& options,
                             std::FILE* transcript, Done done)
    : fd_(std::move(connection)), options_(options), transcript_(transcript), done_(std::move(done)) {
    watch_ = net::ScopedWatch(fd_.Get(), net::kFdRead, [this](int, unsigned ready) {
        if ((ready & net::kFdWrite) != 0) WriteOut();
        if ((ready & net::kFdRead) != 0) OnReadable();
    });
    if (options_.longLine > 0) Line(std::string(static_cast<std::size_t>(options_.longLine), 'x'));
    Begin(Step::Platform);
}

void ModuleSession::Expect(Want want, std::size_t count) {
    Flush();
    want_ = want;
    need_ = count;
    line_.clear();
    bytes_.clear();
    if (want == Want::Bytes) bytes_.reserve(count);
}

void ModuleSession::Begin(Step step) {
    step_ = step;
    if (options_.closeAt == step) {
        Flush();
        Finish(true, "closed-by=sim");
        return;
    }
    if (options_.silentAt == step) {
        Expect(Want::Nothing);
        endOnClose_ = true;
        return;
    }
    if (options_.failAt == step) {
        Line(options_.failLine);
        Expect(Want::Nothing);
        endOnClose_ = true;
        return;
    }
    switch (step) {
        case Step::Platform:
            if (options_.platformLine) {
                Line(*options_.platformLine);
            } else if (options_.platform) {
                Line("100 Platform:" + *options_.platform + ":1.0");
            }
            if (!options_.together) Flush();
            Begin(Step::Credentials);
            return;
        case Step::Credentials:
            if (!options_.user) {
                Begin(Step::Header);
                return;
            }
            Line("101 Credentials needed");
            Expect(Want::Line);
            return;
        case Step::Header:
            Line("102 Send header");
            Expect(Want::Bytes, 8);
            return;
        case Step::Image:
            Line("103 Send image");
            Expect(Want::Bytes, length_);
            if (length_ == 0) Got();
            return;
        case Step::Progress:
            if (!options_.progressCodes.empty()) {
                for (const int code : options_.progressCodes) Line(std::to_string(code) + " Programming");
            } else {
                for (int k = 1; k <= options_.progressLines; ++k) {
                    Line(std::to_string(300 + 100 * k / options_.progressLines) + " Programming");
                }
            }
            Begin(Step::Reboot);
            return;
        case Step::Reboot:
            Line("105 Reboot?");
            Expect(Want::Bytes, 1);
            return;
        case Step::Complete:
            Line(std::to_string(options_.completeCode) + " Complete");
            Expect(Want::Nothing);
            endOnClose_ = true;
            return;
        case Step::Count:
            return;
    }
}

void ModuleSession::Line(std::string text) {
    batch_ += text + "\r\n";
    if (!options_.together || step_ != Step::Platform) Flush();
}

// Lines go out in order; split lines and delayed lines are paced by a timer.
void ModuleSession::Flush() {
    if (batch_.empty()) return;
    if (!options_.splitLines && options_.lineDelayMs == 0) {
        outbox_ += std::exchange(batch_, {});
        WriteOut();
        return;
    }
    if (options_.splitLines) {
        // Each line in two writes: everything up to its CR, then its LF.
        std::size_t start = 0;
        for (std::size_t crlf; (crlf = batch_.find("\r\n", start)) != std::string::npos;
             start = crlf + 2) {
            queued_.push_back(batch_.substr(start, crlf + 1 - start));
            queued_.push_back("\n");
        }
    } else {
        queued_.push_back(batch_);
    }
    batch_.clear();
    if (delay_.Active()) return;
    const auto pause = std::chrono::milliseconds(options_.lineDelayMs > 0 ? options_.lineDelayMs : 30);
    delay_ = net::ScopedTimer(pause, net::Repeat::Yes, [this] {
        if (queued_.empty()) {
            delay_.Stop();
            return;
        }
        outbox_ += queued_.front();
        queued_.erase(queued_.begin());
        WriteOut();
    });
}

void ModuleSession::WriteOut() {
    while (!outbox_.empty()) {
        const auto n = ::send(fd_.Get(), outbox_.data(), outbox_.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (n <= 0) {
            outbox_.clear();
            break;
        }
        outbox_.erase(0, static_cast<std::size_t>(n));
    }
    watch_.SetEvents(net::kFdRead | (outbox_.empty() ? 0U : net::kFdWrite));
}

void ModuleSession::OnReadable() {
    static std::vector<char> chunk(1 << 20);
    for (;;) {
        const auto n = ::recv(fd_.Get(), chunk.data(), chunk.size(), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        if (n <= 0) {
            Finish(endOnClose_, "closed-by=tool");
            return;
        }
        if (transcript_ != nullptr) std::fwrite(chunk.data(), 1, static_cast<std::size_t>(n), transcript_);
        received_ += static_cast<std::uint64_t>(n);
        Feed(std::string_view(chunk.data(), static_cast<std::size_t>(n)));
        if (finished_) return;
    }
}

void ModuleSession::Feed(std::string_view bytes) {
    while (!bytes.empty() && !finished_) {
        switch (want_) {
            case Want::Nothing:
                unexpected_ += bytes.size();
                return;
            case Want::Line: {
                line_.push_back(bytes.front());
                bytes.remove_prefix(1);
                if (line_.size() >= 2 && line_.compare(line_.size() - 2, 2, "\r\n") == 0) Got();
                break;
            }
            case Want::Bytes: {
                const auto take = std::min(bytes.size(), need_ - bytes_.size());
                bytes_.insert(bytes_.end(), bytes.begin(), bytes.begin() + static_cast<long>(take));
                bytes.remove_prefix(take);
                if (bytes_.size() == need_) Got();
                break;
            }
        }
    }
}

void ModuleSession::Got() {
    want_ = Want::Nothing;
    switch (step_) {
        case Step::Credentials: {
            const std::string expected = *options_.user + std::string(1, '\0') + options_.password + "\r\n";
            credentials_ = line_ == expected ? "ok" : "wrong";
            if (line_ != expected) {
                Line("251 Bad credentials");
                Expect(Want::Nothing);
                endOnClose_ = false;
                return;
            }
            Begin(Step::Header);
            return;
        }
        case Step::Header: {
            base_ = static_cast<std::uint32_t>(bytes_[0]) << 24 | static_cast<std::uint32_t>(bytes_[1]) << 16 |
                    static_cast<std::uint32_t>(bytes_[2]) << 8 | bytes_[3];
            length_ = static_cast<std::uint32_t>(bytes_[4]) << 24 | static_cast<std::uint32_t>(bytes_[5]) << 16 |
                      static_cast<std::uint32_t>(bytes_[6]) << 8 | bytes_[7];
            if (base_ == 0 && length_ == 0) {
                header_ = "refused";
                Line("252 Platform refused");
                Expect(Want::Nothing);
                return;
            }
            header_ = "accepted";
            if (options_.expectLength && *options_.expectLength != length_) {
                Line("253 Wrong image length");
                Expect(Want::Nothing);
                return;
            }
            Begin(Step::Image);
            return;
        }
        case Step::Image:
            if (!options_.saveImage.empty()) {
                std::ofstream out(options_.saveImage, std::ios::binary | std::ios::trunc);
                out.write(reinterpret_cast<const char*>(bytes_.data()),
                          static_cast<std::streamsize>(bytes_.size()));
            }
            bytes_.clear();
            bytes_.shrink_to_fit();
            Begin(Step::Progress);
            return;
        case Step::Reboot:
            reboot_ = static_cast<char>(bytes_[0]);
            Begin(Step::Complete);
            return;
        default:
            return;
    }
}

void ModuleSession::Finish(bool scriptedEnd, std::string_view how) {
    if (finished_) return;
    finished_ = true;
    watch_.Reset();
    delay_.Stop();
    SessionResult result;
    result.scriptedEnd = scriptedEnd && unexpected_ == 0;
    result.summary = "header=" + header_ + " base=" + Hex32(base_) + " length=" +
                     std::to_string(length_) + " received=" + std::to_string(received_) +
                     " credentials=" + credentials_ + " reboot=" + std::string(1, reboot_) +
                     " unexpected=" + std::to_string(unexpected_) + " " + std::string(how);
    fd_.Reset();
    done_(result);
}

}  // namespace omblor::sim
