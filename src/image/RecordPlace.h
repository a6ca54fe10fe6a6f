// Where a refused record stands in its file, for the people who must find it: line and column
// (both from 1; a line ends at LF, CR LF or a lone CR) and the record's own text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace omblor::image {

struct RecordPlace {
    std::size_t line = 1;
    std::size_t column = 1;
    std::string text;  // the record up to its line end, at most kMaxRecordText characters
};

inline constexpr std::size_t kMaxRecordText = 80;

// The record whose 'S' is at `offset` of the file the reader opened for `path`; line and column
// of the end of the file when it is shorter.
RecordPlace LocateRecord(std::string_view path, std::size_t offset);

}  // namespace omblor::image
