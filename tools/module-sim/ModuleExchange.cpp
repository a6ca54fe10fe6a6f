#include "module-sim/ModuleExchange.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/WriteAll.h"

namespace omblor::modulesim {

namespace {

constexpr std::size_t kScratchSize = std::size_t{64} << 10;
// Large enough that one read moves a good share of the socket buffer, small enough that the
// loop gets a turn between reads of a large image.
constexpr std::size_t kImageReadSize = std::size_t{16} << 20;
// Where an image nobody keeps is read to, shared by every session (one thread).
constexpr std::size_t kDiscardSize = std::size_t{1} << 20;
// How often reading looks again when --rate has held it back.
constexpr std::chrono::milliseconds kRateRecheck{10};
constexpr int kReadsPerWakeup = 256;
// A credentials reply is two short strings; anything this long without CR LF is not one.
constexpr std::size_t kMaxCredentialsReply = 1024;
// A header announcing more is not taken on.
constexpr std::size_t kMaxImage = std::size_t{256} << 20;
constexpr std::chrono::milliseconds kSplitDelay{50};
// The module's own answers to replies it cannot go on with.
constexpr std::string_view kRefuseLine = "251 Platform not supported";
constexpr std::string_view kDenyLine = "252 Login failed";
constexpr std::string_view kWrongHeaderLine = "253 Wrong image length";

std::uint32_t BigEndian32(std::string_view bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<std::uint8_t>(bytes[i]);
    return value;
}

}  // namespace

ModuleExchange::ModuleExchange(int number, platform::UniqueFd connection, const SimOptions& options,
                               const Script& script, int transcriptFd, FinishedCallback on_finished,
                               std::function<void()> on_reboot)
    : number_(number),
      fd_(std::move(connection)),
      options_(options),
      script_(script),
      transcriptFd_(transcriptFd),
      on_finished_(std::move(on_finished)),
      on_reboot_(std::move(on_reboot)),
      scratch_(kScratchSize) {
    report_.number = number_;
    report_.module = options_.address;
    report_.expected = script_.Expected();
    // Each write should leave as its own segment, so split and joined lines reach the tool
    // the way the script shapes them.
    const int one = 1;
    ::setsockopt(fd_.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void ModuleExchange::Start() {
    watch_ =
        net::ScopedWatch(fd_.Get(), net::kFdRead, [this](int, unsigned ready) { OnReady(ready); });
    SendNext();
}

void ModuleExchange::Stop(Outcome outcome) {
    if (finished_) return;
    Finish(ended_ && endOutcome_ ? *endOutcome_ : outcome);
}

void ModuleExchange::SendNext() {
    const auto& lines = script_.Lines();
    while (!finished_ && !ended_ && !silent_ && !splitPending_ && awaiting_.empty() &&
           next_ < lines.size()) {
        const ScriptLine& line = lines[next_];
        report_.at = line.step;
        if (line.kind == ScriptLine::Kind::Close) {
            ++next_;
            Finish(Outcome::Dropped);
            return;
        }
        if (line.kind == ScriptLine::Kind::Silent) {
            ++next_;
            silent_ = true;
            return;
        }
        if (options_.lineDelay.count() > 0 && delayedLine_ != next_) {
            if (!delayTimer_.Active()) {
                delayTimer_ = net::ScopedTimer(options_.lineDelay, net::Repeat::No, [this] {
                    delayTimer_ = net::ScopedTimer();
                    delayedLine_ = next_;
                    SendNext();
                });
            }
            return;
        }
        SendGroup();
    }
    CheckEnd();
}

void ModuleExchange::SendGroup() {
    const auto& lines = script_.Lines();
    groupFirst_ = next_;
    std::string group = lines[next_++].bytes;
    while (next_ < lines.size() && lines[next_].kind == ScriptLine::Kind::Line &&
           lines[next_].coalesce) {
        report_.at = lines[next_].step;
        group += lines[next_++].bytes;
    }
    for (std::size_t i = groupFirst_; i < next_; ++i) {
        if (lines[i].reply != Reply::None) awaiting_.push_back(i);
    }
    // A dripping module writes every byte on its own.
    const std::size_t split = options_.drip.count() > 0 ? 1 : lines[groupFirst_].split;
    if (split > 0 && split < group.size()) {
        Write(std::string_view(group).substr(0, split));
        splitPending_ = true;
        splitRest_ = group.substr(split);
        WriteRestLater();
        return;
    }
    Write(group);
    AfterGroupWritten();
}

void ModuleExchange::WriteRestLater() {
    const bool drip = options_.drip.count() > 0;
    splitTimer_ =
        net::ScopedTimer(drip ? options_.drip : kSplitDelay, net::Repeat::No, [this, drip] {
            const std::size_t n = drip ? 1 : splitRest_.size();
            Write(std::string_view(splitRest_).substr(0, n));
            splitRest_.erase(0, n);
            if (finished_) return;
            if (!splitRest_.empty()) {
                WriteRestLater();
                return;
            }
            splitPending_ = false;
            AfterGroupWritten();
            SendNext();
        });
}

void ModuleExchange::AfterGroupWritten() {
    if (finished_) return;
    const auto& lines = script_.Lines();
    for (std::size_t i = groupFirst_; i < next_; ++i) {
        if (lines[i].reply == Reply::Image) imageStart_ = Clock::now();
    }
    PopSatisfied();
}

void ModuleExchange::CheckEnd() {
    if (finished_ || ended_ || silent_ || splitPending_ || !out_.empty()) return;
    if (!endOutcome_) {
        if (next_ < script_.Lines().size() || !awaiting_.empty()) return;
        endOutcome_ = options_.failAt ? Outcome::Failed : Outcome::Completed;
    }
    ended_ = true;
    // The tool keeps the connection until its operator has seen the outcome; don't wait forever.
    endTimer_ =
        net::ScopedTimer(options_.endWait, net::Repeat::No, [this] { Finish(*endOutcome_); });
}

void ModuleExchange::Abandon(Outcome outcome, std::string_view text) {
    // A line cut in two must still go out whole before the abandoning line.
    if (splitPending_) {
        splitTimer_.Stop();
        splitPending_ = false;
        Write(std::exchange(splitRest_, {}));
    }
    next_ = script_.Lines().size();
    awaiting_.clear();
    reply_.clear();
    endOutcome_ = outcome;
    Write(std::string(text) + "\r\n");
    CheckEnd();
}

void ModuleExchange::Write(std::string_view bytes) {
    if (finished_) return;
    out_.append(bytes);
    Flush();
}

void ModuleExchange::Flush() {
    while (!out_.empty()) {
        const ssize_t n = ::send(fd_.Get(), out_.data(), out_.size(), MSG_NOSIGNAL);
        if (n > 0) {
            out_.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        PeerGone();
        return;
    }
    watch_.SetEvents((readPaused_ ? 0U : unsigned{net::kFdRead}) |
                     (out_.empty() ? 0U : unsigned{net::kFdWrite}));
}

void ModuleExchange::PauseReading() {
    readPaused_ = true;
    watch_.SetEvents(out_.empty() ? 0U : unsigned{net::kFdWrite});
    rateTimer_ = net::ScopedTimer(kRateRecheck, net::Repeat::No, [this] {
        readPaused_ = false;
        Flush();
        Read();
    });
}

std::size_t ModuleExchange::ImageAllowance() const {
    if (options_.rate == 0) return SIZE_MAX;
    const std::chrono::duration<double> since = Clock::now() - imageStart_;
    const double allowed = since.count() * static_cast<double>(options_.rate);
    return allowed > static_cast<double>(imageGot_) ? static_cast<std::size_t>(allowed) - imageGot_
                                                    : 0;
}

void ModuleExchange::OnReady(unsigned ready) {
    if ((ready & net::kFdWrite) != 0) {
        Flush();
        if (out_.empty()) CheckEnd();
    }
    if (!finished_ && (ready & net::kFdRead) != 0) Read();
}

bool ModuleExchange::AwaitingImage() const {
    return !awaiting_.empty() && script_.Lines()[awaiting_.front()].reply == Reply::Image &&
           headerKnown_ && imageGot_ < ImageEnd();
}

std::size_t ModuleExchange::ImageEnd() const {
    if (!options_.closeInImage) return imageLength_;
    return static_cast<std::size_t>(std::min<std::uint64_t>(*options_.closeInImage, imageLength_));
}

void ModuleExchange::Read() {
    static std::vector<std::uint8_t> discard(kDiscardSize);
    for (int turn = 0; turn < kReadsPerWakeup && !finished_ && !readPaused_; ++turn) {
        // Image bytes go straight to their place (or are let go); everything else is parsed
        // from scratch.
        const bool direct = AwaitingImage();
        std::span<std::uint8_t> into(scratch_);
        if (direct) {
            const std::size_t allowance = ImageAllowance();
            if (allowance == 0) {
                PauseReading();
                return;
            }
            const std::size_t want = std::min({ImageEnd() - imageGot_, kImageReadSize, allowance});
            into = image_.empty() ? std::span(discard).first(std::min(want, kDiscardSize))
                                  : std::span(image_).subspan(imageGot_, want);
        }
        const ssize_t n = ::recv(fd_.Get(), into.data(), into.size(), 0);
        if (n > 0) {
            const auto got = into.first(static_cast<std::size_t>(n));
            Record(got);
            if (direct) {
                imageGot_ += got.size();
                report_.imageReceived = imageGot_;
                if (imageGot_ == ImageEnd()) OnImageComplete();
            } else {
                Consume(got);
            }
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        PeerGone();  // orderly close, reset, or another failure: the tool is gone either way
        return;
    }
}

void ModuleExchange::Consume(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty() && !finished_) {
        if (awaiting_.empty()) {
            (endOutcome_ ? late_ : unexpected_) += bytes.size();
            return;
        }
        switch (script_.Lines()[awaiting_.front()].reply) {
            case Reply::Credentials: {
                std::size_t take = 0;
                bool done = false;
                while (take < bytes.size() && !done) {
                    reply_ += static_cast<char>(bytes[take++]);
                    done = reply_.ends_with("\r\n") || reply_.size() > kMaxCredentialsReply;
                }
                bytes = bytes.subspan(take);
                if (done) OnCredentials();
                break;
            }
            case Reply::Header: {
                const std::size_t take = std::min(8 - reply_.size(), bytes.size());
                reply_.append(reinterpret_cast<const char*>(bytes.data()), take);
                bytes = bytes.subspan(take);
                if (reply_.size() == 8) OnHeader();
                break;
            }
            case Reply::Image: {
                const std::size_t take = std::min(ImageEnd() - imageGot_, bytes.size());
                if (!image_.empty()) std::memcpy(image_.data() + imageGot_, bytes.data(), take);
                imageGot_ += take;
                report_.imageReceived = imageGot_;
                bytes = bytes.subspan(take);
                if (imageGot_ == ImageEnd()) OnImageComplete();
                break;
            }
            case Reply::Reboot:
                OnReboot(bytes.front());
                bytes = bytes.subspan(1);
                break;
            case Reply::None:  // never awaited
                awaiting_.pop_front();
                break;
        }
    }
}

void ModuleExchange::ReplyDone() {
    reply_.clear();
    awaiting_.pop_front();
    PopSatisfied();
    SendNext();
}

void ModuleExchange::PopSatisfied() {
    // An empty image is complete as soon as its line is out.
    while (!awaiting_.empty() && script_.Lines()[awaiting_.front()].reply == Reply::Image &&
           headerKnown_ && imageGot_ == ImageEnd()) {
        if (options_.closeInImage) {
            Finish(Outcome::Dropped);
            return;
        }
        report_.imageMilliseconds =
            std::chrono::duration<double, std::milli>(Clock::now() - imageStart_).count();
        awaiting_.pop_front();
    }
}

void ModuleExchange::OnCredentials() {
    if (!reply_.ends_with("\r\n")) {
        report_.credentials = "malformed";
        Mismatch("credentials reply longer than " + std::to_string(kMaxCredentialsReply) +
                 " bytes without CR LF");
        Abandon(Outcome::Denied, kDenyLine);
        return;
    }
    const std::string_view body = std::string_view(reply_).substr(0, reply_.size() - 2);
    const auto zero = body.find('\0');
    if (zero == std::string_view::npos) {
        report_.credentials = "malformed";
        Mismatch("credentials reply has no zero byte between user and password");
        Abandon(Outcome::Denied, kDenyLine);
        return;
    }
    if (body.substr(0, zero) == options_.user.value_or("") &&
        body.substr(zero + 1) == options_.password) {
        report_.credentials = "ok";
        ReplyDone();
        return;
    }
    report_.credentials = "wrong";
    Abandon(Outcome::Denied, kDenyLine);
}

void ModuleExchange::OnHeader() {
    if (std::all_of(reply_.begin(), reply_.end(), [](char c) { return c == 0; })) {
        report_.header = "refused";
        Abandon(Outcome::Refused, kRefuseLine);
        return;
    }
    const std::uint32_t base = BigEndian32(std::string_view(reply_).substr(0, 4));
    const std::uint32_t length = BigEndian32(std::string_view(reply_).substr(4, 4));
    report_.header = "ok";
    report_.base = base;
    report_.length = length;
    // A module checks the header against what it can take and says so in a line of its own.
    if (options_.expectLength && *options_.expectLength != length) {
        Mismatch("header length " + std::to_string(length) + ", expected " +
                 std::to_string(*options_.expectLength));
        Abandon(Outcome::Aborted, kWrongHeaderLine);
        return;
    }
    if (length > kMaxImage) {
        Mismatch("header announces " + std::to_string(length) + " bytes, more than " +
                 std::to_string(kMaxImage));
        Finish(Outcome::Aborted);
        return;
    }
    // Zero-filled now, before the 103 line, so the transfer itself touches no fresh pages. An
    // image nobody saves is only counted: a thousand modules need not hold a thousand images.
    if (!options_.saveImage.empty()) image_.assign(length, 0);
    imageLength_ = length;
    imageGot_ = 0;
    headerKnown_ = true;
    ReplyDone();
}

void ModuleExchange::OnImageComplete() {
    // Cut off mid-image, as a module that resets while it is being written.
    if (options_.closeInImage) {
        Finish(Outcome::Dropped);
        return;
    }
    report_.imageMilliseconds =
        std::chrono::duration<double, std::milli>(Clock::now() - imageStart_).count();
    ReplyDone();
}

void ModuleExchange::OnReboot(std::uint8_t byte) {
    if (byte == 'R' || byte == 'D') {
        report_.reboot = std::string(1, static_cast<char>(byte));
    } else {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", byte);
        report_.reboot = hex;
        Mismatch("reboot reply " + report_.reboot + " is neither R nor D");
    }
    if (options_.expectReboot && byte != static_cast<std::uint8_t>(*options_.expectReboot)) {
        Mismatch("reboot reply " + report_.reboot + ", expected " +
                 std::string(1, *options_.expectReboot));
    }
    if (byte == 'R' && on_reboot_) on_reboot_();
    ReplyDone();
}

void ModuleExchange::PeerGone() {
    Finish(endOutcome_.value_or(Outcome::Closed));
}

void ModuleExchange::Mismatch(std::string text) {
    report_.mismatches.push_back(std::move(text));
}

void ModuleExchange::Record(std::span<const std::uint8_t> bytes) {
    report_.received += bytes.size();
    if (transcriptFd_ >= 0 && !transcriptFailed_ &&
        !platform::WriteAll(transcriptFd_, std::as_bytes(bytes))) {
        transcriptFailed_ = true;
    }
}

void ModuleExchange::SaveImage() {
    if (options_.saveImage.empty() || !headerKnown_) return;
    const platform::UniqueFd file(
        ::open(options_.saveImage.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!file.Valid() ||
        !platform::WriteAll(file.Get(), std::as_bytes(std::span(image_).first(imageGot_)))) {
        Mismatch("could not write the image to " + options_.saveImage + ": " +
                 std::strerror(errno));
    }
}

void ModuleExchange::Finish(Outcome outcome) {
    if (finished_) return;
    finished_ = true;
    watch_.Reset();
    splitTimer_.Stop();
    endTimer_.Stop();
    delayTimer_.Stop();
    rateTimer_.Stop();
    fd_.Reset();
    if (unexpected_ > 0) {
        Mismatch(std::to_string(unexpected_) + " bytes came while no reply was due");
    }
    if (late_ > 0) Mismatch(std::to_string(late_) + " bytes came after the end of the exchange");
    if (transcriptFailed_) Mismatch("could not write the transcript");
    SaveImage();
    report_.outcome = outcome;
    on_finished_(report_);
}

}  // namespace omblor::modulesim
