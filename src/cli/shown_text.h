#pragma once
// Shift_JIS texts for a terminal with each numeric reference ("&#x2005;", "&#9825;") as the character it
// stands for. A reference to a control character stays as written: its bytes would drive the terminal.

#include <string>
#include <string_view>

#include "system/encoding.h"

namespace glyphora::cli {

// As sjis_to_utf8: fails at the first byte that is no Shift_JIS character, error_offset naming it.
Conversion sjis_to_utf8_showing_references(std::string_view sjis);

// As sjis_to_utf8_lenient with the bytes that are no character in "\xNN" form.
std::string sjis_to_utf8_lenient_showing_references(std::string_view sjis);

}  // namespace glyphora::cli
