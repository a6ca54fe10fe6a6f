// The terminal omblorctl may be talking to: whether stderr is one (and can take the cursor
// movements of the live progress view), its height, and a line typed without echo.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

namespace omblor::ctl {

// True when stderr is a terminal that understands the ANSI cursor and erase sequences.
bool StderrIsTerminal();
// Rows of that terminal; 24 when it does not say.
std::size_t StderrRows();

enum class HiddenLine { Read, NoTerminal, Interrupted };
// Shows `prompt` on the terminal the operator types at (only when stdin is that terminal), then
// reads up to a line end into `buffer` with echo off; `length` is what was typed. Ctrl-C ends
// the prompt, not the process, and echo always comes back on.
HiddenLine ReadHiddenLine(const std::string& prompt, std::span<char> buffer, std::size_t& length);

// Takes a variable out of the environment, wiping the process's copy of its value first, so
// nothing started later inherits it.
void TakeOutOfEnvironment(const char* name);

}  // namespace omblor::ctl
