// How text that comes from outside (modules, files, typing) is printed for scripts to read line
// by line, by the console host and by omblorctl: no outside text can end a line early or make a
// line that reads as one of the printer's own tagged lines. The output is plain ASCII; `\\`,
// `\"`, `\n`, `\r`, `\t` and `\xNN` stand for the bytes they name.
#pragma once

#include <string>
#include <string_view>

namespace omblor::text {

// One field of one line, such as a quoted control text: every byte that is not printable ASCII,
// and the backslash and the double quote, is escaped.
std::string EscapeOutsideText(std::string_view text);

// A message box's body: its line breaks stay (so the program's own messages print as they
// read), but any other control byte, any byte above 0x7E and the backslash are escaped, and a
// line that would start with `[` starts with `\[` instead.
std::string EscapeMessageBody(std::string_view text);

}  // namespace omblor::text
