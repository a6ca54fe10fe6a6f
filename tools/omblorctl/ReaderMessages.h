// The application-file reader's messages on stderr, exactly as the window would show them.
#pragma once

#include <string_view>

#include "image/MessageSink.h"

namespace omblor::ctl {

class StderrMessages : public image::MessageSink {
  public:
    // Each message as it stands; one without a final newline gets one, so the next starts on
    // its own line.
    void Show(std::string_view text) override;
};

}  // namespace omblor::ctl
