// Text from outside (a module, a file, typing) printed by the console host stays on one line:
// CR, LF and every other control character show as \r, \n and \xNN, a backslash as \\, so no
// such text can start a line of its own or end one early.
#pragma once

#include <string>
#include <string_view>

namespace omblor::framework {

std::string EscapeOutsideText(std::string_view text);

}  // namespace omblor::framework
