#include "image/RecordPlace.h"

#include <fstream>

#include "image/AppImageReader.h"

namespace omblor::image {

RecordPlace LocateRecord(std::string_view path, std::size_t offset) {
    std::string name(path);
    ConvertSlashPath(name);  // the name the reader opened
    std::ifstream in(name, std::ios::binary);
    RecordPlace place;
    char previous = 0;
    char c = 0;
    for (std::size_t i = 0; i < offset && in.get(c); ++i) {
        if (c == '\n' && previous == '\r') {
            // The LF of a CR LF: the CR already started the line.
        } else if (c == '\n' || c == '\r') {
            ++place.line;
            place.column = 1;
        } else {
            ++place.column;
        }
        previous = c;
    }
    while (place.text.size() < kMaxRecordText && in.get(c) && c != '\r' && c != '\n') {
        place.text += c;
    }
    return place;
}

}  // namespace omblor::image
