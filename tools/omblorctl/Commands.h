// omblorctl's commands. Each takes its own arguments (argv[0] is the command's name) and
// returns the process's exit code: 0 success, 1 failure, 2 usage or file error.
#pragma once

namespace omblor::ctl {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

int RunFind(int argc, char** argv);
int RunUpdate(int argc, char** argv);

}  // namespace omblor::ctl
