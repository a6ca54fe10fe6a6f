#include "update/LineFramer.h"

namespace omblor::update {

LineFramer::Result LineFramer::Push(char byte) {
    if (discarding_) {
        // The rest of an over-long line goes, up to and including its CR LF.
        if (lastWasCr_ && byte == '\n') discarding_ = false;
        lastWasCr_ = byte == '\r';
        return Result::NeedMore;
    }
    buffer_[fill_++] = byte;
    if (fill_ >= 2 && buffer_[fill_ - 2] == '\r' && buffer_[fill_ - 1] == '\n') {
        buffer_[fill_ - 2] = '\0';
        return Result::Line;
    }
    if (fill_ == kBufferSize) {
        // 256 bytes and no line end: the text cannot fit with its CR LF.
        lastWasCr_ = buffer_[fill_ - 1] == '\r';
        fill_ = 0;
        discarding_ = true;
        return Result::TooLong;
    }
    return Result::NeedMore;
}

}  // namespace omblor::update
