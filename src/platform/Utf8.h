#pragma once
// UTF-8 encoding of single code points, shared by the readers that meet
// UTF-16 text (registry files, ODBC's wide calls).

#include <string>

namespace platform {

// What stands for a code unit or sequence that is not valid text.
inline constexpr char32_t replacementCharacter = 0xFFFD;

// Appends the UTF-8 form of code point c (at most U+10FFFF) to out.
inline void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace platform
