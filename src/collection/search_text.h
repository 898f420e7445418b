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

// The words inside an AA's Shift_JIS text: runs of at least two kana, kanji, Latin letters or digits (the
// symbols and the few kana and kanji that are mostly drawn with are no word characters), folded, separated by
// spaces, at most max_bytes bytes of them. Character references of such characters count.
void append_aa_words(std::string& doc, std::string_view sjis, std::size_t max_bytes);

// The FTS5 query for the search words (split on white space): every word must match, and a word matches
// where all its runs do. Empty when no word has a letter or digit.
std::string fts_query(std::string_view words);
// The same, one query per word, for searching where different words may match in different places.
std::vector<std::string> fts_word_queries(std::string_view words);

// Registers the tokenizer "glyphora_runs" with a connection; false when FTS5 is missing.
bool register_tokenizer(sqlite3* db);

}  // namespace glyphora::collection
