// The application-file reader's messages on stderr, exactly as the window would show them, each
// refused record named by its line and column first.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "image/MessageSink.h"

namespace omblor::ctl {

class StderrMessages final : public image::MessageSink {
  public:
    explicit StderrMessages(std::string path) : path_(std::move(path)) {}

    // Messages as they stand, one after the other; a message without a final newline gets one
    // so the next starts on its own line.
    void Show(std::string_view text) override;
    void OnRecordAt(std::size_t fileOffset) override;
    // "PATH: reason" before "Failed to open file", which alone would not say what went wrong.
    void OnOpenFailed(std::string_view path, std::string_view reason) override;

    // The file could not be read at all, as opposed to read and refused: a usage or file error
    // rather than a failure.
    [[nodiscard]] bool OpenFailed() const { return openFailed_; }

  private:
    std::string path_;
    bool openFailed_ = false;
};

}  // namespace omblor::ctl
