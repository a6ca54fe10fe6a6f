// The module's side of one exchange, worked out from the options before any connection: the
// lines in the order they go out, what reply each waits for, and how each is written. The
// session plays it; this class only decides what it holds, so a script can be checked without
// a socket.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "module-sim/SimOptions.h"
#include "module-sim/Step.h"

namespace omblor::modulesim {

// What the tool writes back to a line.
enum class Reply { None, Credentials, Header, Image, Reboot };

struct ScriptLine {
    enum class Kind {
        Line,    // send `bytes`
        Close,   // close the connection here
        Silent,  // send nothing more; wait for the tool to close
    };
    Kind kind = Kind::Line;
    Step step = Step::Platform;
    std::string bytes;  // the whole line, CR LF included
    Reply reply = Reply::None;
    std::size_t split = 0;  // bytes in the first write; 0: one write
    bool coalesce = false;
};

class Script {
  public:
    static Script Build(const SimOptions& options);

    [[nodiscard]] const std::vector<ScriptLine>& Lines() const { return lines_; }
    // The outcome that counts as success for this script.
    [[nodiscard]] Outcome Expected() const { return expected_; }

  private:
    std::vector<ScriptLine> lines_;
    Outcome expected_ = Outcome::Completed;
};

}  // namespace omblor::modulesim
