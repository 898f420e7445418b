#include "collection/search_text.h"

#include <sqlite3.h>
#include <utf8proc.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "model/sjis.h"
#include "render/part_markup.h"
#include "system/encoding.h"

namespace glyphora::collection {

namespace {

void append_utf8(std::string& out, std::uint32_t cp) {
    utf8proc_uint8_t buf[4];
    const utf8proc_ssize_t n = utf8proc_encode_char(static_cast<utf8proc_int32_t>(cp), buf);
    out.append(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(n));
}

bool is_letter_or_digit(utf8proc_int32_t cp) {
    const utf8proc_category_t c = utf8proc_category(cp);
    return (c >= UTF8PROC_CATEGORY_LU && c <= UTF8PROC_CATEGORY_LO) ||
           (c >= UTF8PROC_CATEGORY_ND && c <= UTF8PROC_CATEGORY_NO);
}

bool is_mark(utf8proc_int32_t cp) {
    const utf8proc_category_t c = utf8proc_category(cp);
    return c >= UTF8PROC_CATEGORY_MN && c <= UTF8PROC_CATEGORY_ME;
}

// The Unicode scalar value of every double-byte Shift_JIS code, 0 where there is none; built once, since
// the conversion of one character at a time is far too slow for whole collections.
const std::array<std::uint16_t, 0x10000>& sjis_table() {
    static const auto* table = [] {
        auto* t = new std::array<std::uint16_t, 0x10000>{};
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (!is_lead_byte(static_cast<unsigned char>(lead))) continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                const int code = lead * 256 + trail;
                const int cp = sjis_code_to_unicode(code);
                if (cp > 0 && cp <= 0xFFFF)
                    (*t)[static_cast<std::size_t>(code)] = static_cast<std::uint16_t>(cp);
            }
        }
        return t;
    }();
    return *table;
}

// Kana and kanji that AA draws lines with far more often than it writes words with: never part of a word.
bool is_drawing_code(int code) {
    switch (code) {
        case 0x98A4:  // 丶
        case 0x98A6:  // 丿
        case 0x98A7:  // 乂
        case 0x98B8:  // 从
        case 0x9C63:  // 彡
        case 0x99CA:  // 厂
        case 0x9963:  // 冂
        case 0x98A2:  // 个
        case 0x98B3:  // 亠
        case 0x9981:  // 凵
        case 0x99B7:  // 匚
        case 0x996B:  // 冖
        case 0x836D:  // ノ
        case 0x835C:  // ソ
        case 0xC9:    // ﾉ
        case 0xBF:    // ｿ
        case 0xCD:    // ﾍ
        case 0xA7:    // ｧ
        case 0xA8:    // ｨ
        case 0xA9:    // ｩ
        case 0xAA:    // ｪ
        case 0xAB:    // ｫ
            return true;
        default:
            return false;
    }
}

// Characters of words that AA also draws with: inside a word they count, but alone they make none.
bool is_weak_code(int code) {
    switch (code) {
        case 0x836E:  // ハ
        case 0x8343:  // イ
        case 0x8367:  // ト
        case 0x838A:  // リ
        case 0x837E:  // ミ
        case 0x815B:  // ー
        case 0x8275:  // Ｖ
        case 0x8E4F:  // 三
        case 0x82AD:  // く
        case 0x82B5:  // し
        case 0x82C2:  // つ
        case 0x82D6:  // へ
        case 0xB0:    // ｰ
        case 0xCA:    // ﾊ
        case 0xB2:    // ｲ
        case 0xC4:    // ﾄ
        case 0xD8:    // ﾘ
        case 0xD0:    // ﾐ
        case 0xDA:    // ﾚ
        case 0xD2:    // ﾒ
        case 0xD1:    // ﾑ
        case 0xBC:    // ｼ
        case 0xAF:    // ｯ
        case 0xDE:    // ﾞ
        case 0xDF:    // ﾟ
        case 'l':
        case 'i':
        case 'I':
        case 'v':
        case 'V':
        case 'j':
        case 'r':
            return true;
        default:
            return false;
    }
}

bool is_hiragana_or_kanji(int code) {
    return (code >= 0x829F && code <= 0x82F1) || (code >= 0x889F && code <= 0x9FFC) ||
           (code >= 0xE040 && code <= 0xEAA4) || (code >= 0xED40 && code <= 0xEEFC) ||
           (code >= 0xFA5C && code <= 0xFC4B);
}

// Whether a Shift_JIS code is a character of words: kana, kanji, Latin letters and digits in either width,
// the long vowel mark and the iteration marks. Greek and Cyrillic letters are left out: AA uses them for
// faces (ω, Д).
bool is_word_code(int code) {
    if (code < 0x80)
        return (code >= '0' && code <= '9') || (code >= 'A' && code <= 'Z') || (code >= 'a' && code <= 'z');
    if (code < 0x100) return code >= 0xA6 && code <= 0xDF && !is_drawing_code(code);
    if (is_drawing_code(code)) return false;
    return (code >= 0x824F && code <= 0x8258) || (code >= 0x8260 && code <= 0x8279) ||
           (code >= 0x8281 && code <= 0x829A) || (code >= 0x829F && code <= 0x82F1) ||
           (code >= 0x8340 && code <= 0x8396) || code == 0x8158 || code == 0x8159 || code == 0x815B ||
           (code >= 0x889F && code <= 0x9FFC) || (code >= 0xE040 && code <= 0xEAA4) ||
           (code >= 0xED40 && code <= 0xEEFC) || (code >= 0xFA5C && code <= 0xFC4B);
}

std::uint32_t code_to_unicode(int code) {
    if (code < 0x80) return static_cast<std::uint32_t>(code);
    if (code >= 0xA1 && code <= 0xDF) return 0xFF61u + static_cast<std::uint32_t>(code - 0xA1);
    if (code < 0x100) return 0;
    return sjis_table()[static_cast<std::size_t>(code)];
}

// The byte offsets of the characters of a UTF-8 run (which is well-formed: we made it), and its end.
std::vector<int> char_starts(const char* text, int n) {
    std::vector<int> starts;
    for (int i = 0; i < n; ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
    starts.push_back(n);
    return starts;
}

// The tokenizer: runs separated by spaces. In a document each run gives its two-character pieces and then
// its last character alone (so that a one-character query, a prefix query, finds every character, and so
// that pieces of two runs are never next to each other); in a query a run gives its pieces, or its one
// character.
struct Tokenizer {};

int tokenizer_create(void*, const char**, int, Fts5Tokenizer** out) {
    *out = reinterpret_cast<Fts5Tokenizer*>(new Tokenizer);
    return SQLITE_OK;
}

void tokenizer_delete(Fts5Tokenizer* t) {
    delete reinterpret_cast<Tokenizer*>(t);
}

int tokenize(Fts5Tokenizer*, void* ctx, int flags, const char* text, int n,
             int (*token)(void*, int, const char*, int, int, int)) {
    const bool query = (flags & FTS5_TOKENIZE_QUERY) != 0;
    int pos = 0;
    while (pos < n) {
        while (pos < n && static_cast<unsigned char>(text[pos]) <= ' ') ++pos;
        int end = pos;
        while (end<n&& static_cast<unsigned char>(text[end])> ' ') ++end;
        if (end == pos) break;
        const std::vector<int> starts = char_starts(text + pos, end - pos);
        const std::size_t chars = starts.size() - 1;
        for (std::size_t i = 0; i + 1 < chars; ++i) {
            const int a = pos + starts[i], b = pos + starts[i + 2];
            if (const int rc = token(ctx, 0, text + a, b - a, a, b); rc != SQLITE_OK) return rc;
        }
        if (!query || chars == 1) {
            const int a = pos + starts[chars - 1];
            if (const int rc = token(ctx, 0, text + a, end - a, a, end); rc != SQLITE_OK) return rc;
        }
        pos = end;
    }
    return SQLITE_OK;
}

fts5_api* fts5_api_of(sqlite3* db) {
    fts5_api* api = nullptr;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &stmt, nullptr) == SQLITE_OK) {
        sqlite3_bind_pointer(stmt, 1, &api, "fts5_api_ptr", nullptr);
        sqlite3_step(stmt);
    }
    sqlite3_finalize(stmt);
    return api;
}

std::string phrase_of_run(const std::string& run) {
    // A run holds letters, digits and marks only, never a double quote.
    const bool one_char = char_starts(run.data(), static_cast<int>(run.size())).size() == 2;
    return "\"" + run + "\"" + (one_char ? "*" : "");
}

std::vector<std::string> words_of(std::string_view words) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < words.size()) {
        while (pos < words.size() &&
               (words[pos] == ' ' || words[pos] == '\t' || words[pos] == '\n' || words[pos] == '\r'))
            ++pos;
        std::size_t end = pos;
        while (end < words.size() && words[end] != ' ' && words[end] != '\t' && words[end] != '\n' &&
               words[end] != '\r')
            ++end;
        if (end > pos) out.emplace_back(words.substr(pos, end - pos));
        pos = end;
    }
    return out;
}

}  // namespace

std::string fold(std::string_view utf8) {
    // Only well-formed characters go in: utf8proc refuses the whole text otherwise.
    std::string clean;
    clean.reserve(utf8.size());
    const auto* p = reinterpret_cast<const utf8proc_uint8_t*>(utf8.data());
    utf8proc_ssize_t left = static_cast<utf8proc_ssize_t>(utf8.size());
    while (left > 0) {
        utf8proc_int32_t cp = 0;
        const utf8proc_ssize_t n = utf8proc_iterate(p, left, &cp);
        if (n <= 0) {
            ++p;
            --left;
            continue;
        }
        if (cp != 0) clean.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(n));
        p += n;
        left -= n;
    }
    utf8proc_uint8_t* mapped = nullptr;
    const utf8proc_ssize_t n =
        utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(clean.data()),
                     static_cast<utf8proc_ssize_t>(clean.size()), &mapped,
                     static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPAT | UTF8PROC_COMPOSE |
                                                    UTF8PROC_CASEFOLD));
    if (n < 0) return clean;
    std::string out(reinterpret_cast<const char*>(mapped), static_cast<std::size_t>(n));
    std::free(mapped);
    return out;
}

std::vector<std::string> letter_runs(std::string_view folded) {
    std::vector<std::string> runs;
    std::string run;
    const auto* p = reinterpret_cast<const utf8proc_uint8_t*>(folded.data());
    utf8proc_ssize_t left = static_cast<utf8proc_ssize_t>(folded.size());
    while (left > 0) {
        utf8proc_int32_t cp = 0;
        utf8proc_ssize_t n = utf8proc_iterate(p, left, &cp);
        if (n <= 0) {
            n = 1;
            cp = -1;
        }
        if (cp >= 0 && (is_letter_or_digit(cp) || (!run.empty() && is_mark(cp)))) {
            run.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(n));
        } else if (!run.empty()) {
            runs.push_back(std::move(run));
            run.clear();
        }
        p += n;
        left -= n;
    }
    if (!run.empty()) runs.push_back(std::move(run));
    return runs;
}

void append_runs(std::string& doc, std::string_view utf8) {
    for (const std::string& run : letter_runs(fold(utf8))) {
        if (!doc.empty()) doc += ' ';
        doc += run;
    }
}

void append_aa_words(std::string& doc, std::string_view sjis, std::size_t max_bytes) {
    std::string raw;  // UTF-8 runs, separated by spaces
    std::string run;
    int run_chars = 0, strong = 0;
    bool anchored = false;  // holds a hiragana or kanji that is no drawing
    auto end_run = [&] {
        if (run_chars >= 2 && (anchored || strong >= 2)) {
            if (!raw.empty()) raw += ' ';
            raw += run;
        }
        run.clear();
        run_chars = strong = 0;
        anchored = false;
    };
    std::size_t pos = 0;
    while (pos < sjis.size() && raw.size() < max_bytes) {
        std::uint32_t cp = 0;
        int code = -1;
        if (sjis[pos] == '&') {
            const CharReference ref = match_reference(sjis, pos);
            if (ref.length > 0) {
                pos += static_cast<std::size_t>(ref.length);
                cp = ref.code_point;
                if (!(cp > 0x7F && is_letter_or_digit(static_cast<utf8proc_int32_t>(cp)))) cp = 0;
            } else {
                ++pos;
            }
        } else {
            const SjisChar c = char_at(sjis, pos);
            pos += static_cast<std::size_t>(c.length);
            // The voiced sound marks belong to the kana before them, never start a word.
            const bool continuation = c.code == 0xDE || c.code == 0xDF;
            if (is_word_code(c.code) && (!continuation || run_chars > 0)) {
                code = c.code;
                cp = code_to_unicode(c.code);
            }
        }
        if (cp == 0) {
            end_run();
            continue;
        }
        append_utf8(run, cp);
        ++run_chars;
        // A reference stands for a character beyond Shift_JIS: counted as a word character of its own.
        const bool weak = code >= 0 && is_weak_code(code);
        if (!weak) ++strong;
        if (!weak && (code < 0 || is_hiragana_or_kanji(code))) anchored = true;
    }
    end_run();
    if (raw.empty()) return;
    std::string runs;
    append_runs(runs, raw);
    if (runs.empty()) return;
    if (runs.size() > max_bytes) {
        // Cut at a run boundary.
        const std::size_t space = runs.rfind(' ', max_bytes);
        runs.resize(space == std::string::npos ? 0 : space);
    }
    if (runs.empty()) return;
    if (!doc.empty()) doc += ' ';
    doc += runs;
}

std::vector<std::string> fts_word_queries(std::string_view words) {
    std::vector<std::string> queries;
    for (const std::string& word : words_of(words)) {
        std::string q;
        for (const std::string& run : letter_runs(fold(word))) {
            if (!q.empty()) q += " AND ";
            q += phrase_of_run(run);
        }
        if (!q.empty()) queries.push_back(std::move(q));
    }
    return queries;
}

std::string fts_query(std::string_view words) {
    std::string q;
    for (const std::string& word : fts_word_queries(words)) {
        if (!q.empty()) q += " AND ";
        q += "(" + word + ")";
    }
    return q;
}

bool register_tokenizer(sqlite3* db) {
    fts5_api* api = fts5_api_of(db);
    if (api == nullptr) return false;
    static fts5_tokenizer tokenizer = {tokenizer_create, tokenizer_delete, tokenize};
    return api->xCreateTokenizer(api, "glyphora_runs", nullptr, &tokenizer, nullptr) == SQLITE_OK;
}

}  // namespace glyphora::collection
