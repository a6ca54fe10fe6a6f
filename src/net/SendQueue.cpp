#include "net/SendQueue.h"

#include <algorithm>

#include "platform/SecureWipe.h"

namespace omblor::net {

void SendQueue::Append(std::span<const std::byte> bytes) {
    if (bytes.empty()) return;
    Chunk& chunk = chunks_.emplace_back();
    chunk.copy.assign(bytes.begin(), bytes.end());
    chunk.bytes = chunk.copy;
    size_ += bytes.size();
}

void SendQueue::AppendBorrowed(std::span<const std::byte> bytes) {
    if (bytes.empty()) return;
    chunks_.emplace_back().bytes = bytes;
    size_ += bytes.size();
}

std::span<const std::byte> SendQueue::Front() const {
    if (chunks_.empty()) return {};
    return chunks_.front().bytes.subspan(offset_);
}

void SendQueue::Consume(std::size_t count) {
    while (count > 0 && !chunks_.empty()) {
        const std::size_t left = chunks_.front().bytes.size() - offset_;
        const std::size_t taken = std::min(count, left);
        offset_ += taken;
        size_ -= taken;
        count -= taken;
        if (offset_ == chunks_.front().bytes.size()) {
            // What was copied may be a secret (the credentials reply): gone means wiped.
            platform::SecureWipe(chunks_.front().copy);
            chunks_.pop_front();
            offset_ = 0;
        }
    }
}

void SendQueue::Clear() {
    for (Chunk& chunk : chunks_) platform::SecureWipe(chunk.copy);
    chunks_.clear();
    offset_ = 0;
    size_ = 0;
}

}  // namespace omblor::net
