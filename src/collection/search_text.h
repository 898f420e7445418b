#pragma once
// What the collection search compares: text folded so that Latin letters match regardless of case and full-
// and half-width forms match each other (NFKC, then case folding), cut into runs of letters and digits. The
// index keeps those runs; an FTS5 tokenizer of our own turns each run into its two-character pieces, so that
// a word of any length from one character up is found anywhere inside a run.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace glyphora::collection {

// NFKC and case folding of UTF-8 text; bytes that are no UTF-8 are left out.
std::string fold(std::string_view utf8);

// The runs of letters, digits (and the marks that follow them) of folded UTF-8 text, in order.
std::vector<std::string> letter_runs(std::string_view folded);

// Appends the runs of some UTF-8 text (folded here) to a search document, separated by spaces.
void append_runs(std::string& doc, std::string_view utf8);

// The words inside an AA's Shift_JIS text, folded, separated by spaces, at most max_bytes bytes of them:
// runs of kana, kanji, Latin letters and digits (character references of letters count) of at least two
// characters that hold a hiragana or kanji, or two characters AA seldom draws with. Symbols and the few kana
// and kanji that are mostly drawn with (ノ ソ 从 彡 ...) are no word characters at all; those drawn with as
// often as written (ハ イ ト リ ミ 三 l i ...) count inside a word but make none alone, so that "ﾘﾘﾘ" or
// "lv" in the line art do not fill the index.
void append_aa_words(std::string& doc, std::string_view sjis, std::size_t max_bytes);

// The FTS5 query for the search words (split on white space): every word must match, and a word matches
// where all its runs do. Empty when no word has a letter or digit.
std::string fts_query(std::string_view words);
// The same, one query per word, for searching where different words may match in different places.
std::vector<std::string> fts_word_queries(std::string_view words);

// Registers the tokenizer "glyphora_runs" with a connection; false when FTS5 is missing.
bool register_tokenizer(sqlite3* db);

}  // namespace glyphora::collection
