#include <unistd.h>

#include <cerrno>

#include "framework/console/ConsoleInput.h"
#include "platform/SecureWipe.h"

namespace omblor::framework {

struct ConsoleInput::Reader {
    int fd = -1;
    Sink sink;
    net::ScopedWatch watch;

    void OnReadable() {
        char buffer[4096];
        const auto n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
        if (n <= 0) {
            watch.Reset();
            sink({});
            return;
        }
        sink(std::span<const char>(buffer, static_cast<std::size_t>(n)));
        platform::SecureWipe(std::as_writable_bytes(std::span(buffer)));
    }
};

ConsoleInput::ConsoleInput(net::EventLoop& loop, int fd, Sink sink)
    : reader_(std::make_unique<Reader>()) {
    reader_->fd = fd;
    reader_->sink = std::move(sink);
    Reader* reader = reader_.get();
    reader_->watch =
        net::ScopedWatch(loop, fd, net::kFdRead, [reader](int, unsigned) { reader->OnReadable(); });
}

ConsoleInput::~ConsoleInput() = default;

}  // namespace omblor::framework
