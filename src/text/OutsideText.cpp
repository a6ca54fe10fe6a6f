#include "text/OutsideText.h"

#include <cstdio>

namespace omblor::text {

namespace {

enum class Breaks { Escape, Keep };

std::string Escape(std::string_view text, Breaks breaks) {
    std::string out;
    out.reserve(text.size());
    bool lineStart = true;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n' && breaks == Breaks::Keep) {
            out += '\n';
            lineStart = true;
            continue;
        }
        if (c == '[' && lineStart && breaks == Breaks::Keep) {
            out += "\\[";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c == '"' && breaks == Breaks::Escape) {
            out += "\\\"";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte > 0x7E) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        } else {
            out += c;
        }
        lineStart = false;
    }
    return out;
}

}  // namespace

std::string EscapeOutsideText(std::string_view text) {
    return Escape(text, Breaks::Escape);
}

std::string EscapeMessageBody(std::string_view text) {
    return Escape(text, Breaks::Keep);
}

}  // namespace omblor::text
