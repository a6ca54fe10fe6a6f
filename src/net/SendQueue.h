// The bytes a stream socket has accepted from its caller but the connection could not take yet,
// in order. Each byte is copied once, when it is queued, and dropped as soon as it is written;
// it is not a general buffer and does no writing itself.
#pragma once

#include <cstddef>
#include <deque>
#include <span>
#include <vector>

namespace omblor::net {

class SendQueue {
  public:
    void Append(std::span<const std::byte> bytes);
    // Queues the bytes by reference: the caller keeps them alive and unchanged until they are
    // written or the queue is cleared. For one large buffer that outlives the socket.
    void AppendBorrowed(std::span<const std::byte> bytes);
    // The oldest unwritten bytes, as one contiguous piece (empty when nothing is queued).
    [[nodiscard]] std::span<const std::byte> Front() const;
    void Consume(std::size_t count);
    void Clear();

    [[nodiscard]] bool Empty() const { return size_ == 0; }
    [[nodiscard]] std::size_t Size() const { return size_; }

  private:
    // One chunk per Send that did not go out whole, so appending never moves what is queued.
    // `bytes` views either the chunk's own copy or the caller's borrowed memory.
    struct Chunk {
        std::vector<std::byte> copy;
        std::span<const std::byte> bytes;
    };
    std::deque<Chunk> chunks_;
    std::size_t offset_ = 0;  // bytes of the front chunk already written
    std::size_t size_ = 0;
};

}  // namespace omblor::net
