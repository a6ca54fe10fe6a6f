#include "ReaderMessages.h"

#include <cstdio>
#include <fstream>
#include <utility>

#include "image/AppImageReader.h"

namespace omblor::ctl {

namespace {

// Line and column (both from 1) of a file offset; line ends are LF, CR LF or a lone CR.
std::pair<std::size_t, std::size_t> LineOf(std::string path, std::size_t offset) {
    // The name the reader opened.
    omblor::image::ConvertSlashPath(path);
    std::ifstream in(path, std::ios::binary);
    std::size_t line = 1;
    std::size_t column = 1;
    char previous = 0;
    for (std::size_t i = 0; i < offset; ++i) {
        char c = 0;
        if (!in.get(c)) break;
        if (c == '\n' && previous == '\r') {
            // The LF of a CR LF: the CR already started the line.
        } else if (c == '\n' || c == '\r') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
        previous = c;
    }
    return {line, column};
}

}  // namespace

void StderrMessages::Show(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
}

void StderrMessages::OnRecordAt(std::size_t fileOffset) {
    const auto [line, column] = LineOf(path_, fileOffset);
    std::fprintf(stderr, "%s:%zu:%zu: record at byte offset %zu\n", path_.c_str(), line, column,
                 fileOffset);
}

}  // namespace omblor::ctl
