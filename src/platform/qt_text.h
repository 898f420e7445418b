#pragma once
// Shift_JIS text in Qt widgets. Showing is lossless for every character code page 932 has; a byte sequence
// it has no character for is shown as U+FFFD so that the rest of the text still shows (sjis_to_utf8_lenient).

#include <QString>

#include <string>
#include <string_view>

namespace glyphora {

QString sjis_to_qstring(std::string_view sjis);

// The Shift_JIS form of a widget's text; false (with a message for the user in error) when a character
// cannot be held by code page 932.
bool qstring_to_sjis(const QString& text, std::string& out, std::string& error);
// The same for the text of a part, which comes from outside (typed, pasted, copied from a web page): the
// web's spaces (no-break, en and thin space), which code page 932 lacks, become the part markup "&nbsp;",
// "&ensp;" and "&thinsp;" of the same widths, other characters it lacks numeric references; only what no
// part can hold fails with a message (utf8_to_part_text).
bool qstring_to_part_text(const QString& text, std::string& out, std::string& error);

}  // namespace glyphora
