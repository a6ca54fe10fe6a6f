// Where the application-file reader tells the operator why a file was refused: one call per
// message box, in order, with the exact text. The update dialog turns each call into a message
// box, the command-line tool prints it, tests collect it. It is not a log: nothing is reported
// for a file that loads.
#pragma once

#include <cstddef>
#include <string_view>

namespace omblor::image {

class MessageSink {
  public:
    virtual ~MessageSink() = default;

    // One message, trailing blanks and newlines included.
    virtual void Show(std::string_view text) = 0;

    // Called once, before the messages about a refused record, with the file offset of the
    // record's 'S'. A message box has nowhere to put it; a command-line tool can name the line.
    virtual void OnRecordAt(std::size_t /*fileOffset*/) {}

    // Called before "Failed to open file" with the name tried and the system's reason.
    virtual void OnOpenFailed(std::string_view /*path*/, std::string_view /*reason*/) {}
};

}  // namespace omblor::image
