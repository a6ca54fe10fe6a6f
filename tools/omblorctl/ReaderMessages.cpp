#include "ReaderMessages.h"

#include <cstdio>

namespace omblor::ctl {

void StderrMessages::Show(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
}

}  // namespace omblor::ctl
