#include "StderrMessages.h"

#include <cstdio>

#include "image/RecordPlace.h"

namespace omblor::ctl {

void StderrMessages::Show(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
}

void StderrMessages::OnRecordAt(std::size_t fileOffset) {
    const auto place = image::LocateRecord(path_, fileOffset);
    std::fprintf(stderr, "%s:%zu:%zu: record at byte offset %zu\n", path_.c_str(), place.line,
                 place.column, fileOffset);
}

void StderrMessages::OnOpenFailed(std::string_view path, std::string_view reason) {
    openFailed_ = true;
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(path.size()), path.data(),
                 static_cast<int>(reason.size()), reason.data());
}

}  // namespace omblor::ctl
