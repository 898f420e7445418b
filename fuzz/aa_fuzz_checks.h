#pragma once
// What every AA file reader's fuzz target checks of the texts it reads.
#include <cstddef>
#include <string_view>

namespace glyphora::fuzz {

inline void check(bool ok) {
    if (!ok) __builtin_trap();
}

// CR LF line ends only, and no NUL (a part's text would end there).
inline bool clean_text(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\0') return false;
        if (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')) return false;
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
    }
    return true;
}

}  // namespace glyphora::fuzz
