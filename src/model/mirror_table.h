#pragma once
// Mirror tables: sorted pairs of Shift_JIS character codes giving each character's mirror image, used by
// the renderer when a part is flipped. The horizontal table starts with built-in pairs and is extended
// from hanten.txt; the vertical one comes from hanten2.txt alone. Both are filled once at start-up.

#include <cstdint>
#include <string>
#include <string_view>

namespace glyphora {

struct MirrorEntry {
    int32_t key = 0;    // the character to mirror; 0 marks a free entry
    int32_t value = 0;  // its mirror image
};

struct MirrorTable {
    static constexpr int kCapacity = 400;
    int32_t count = 0;  // used entries, at the front, sorted by key (equal keys newest first)
    MirrorEntry entries[kCapacity] = {};
};

// load_file results (the file status codes of the page files).
constexpr int kMirrorLoadOk = 0;
constexpr int kMirrorCannotOpen = 2;

void clear(MirrorTable& table);

// Adds (key, value) before any pair with the same key. Ignored when either code is 0 or the table is
// full.
void insert(MirrorTable& table, int32_t key, int32_t value);

// Inserts the string's characters two at a time, skipping pairs whose second code is below 0x20.
void add_pairs_from_string(MirrorTable& table, std::string_view pairs);

// The built-in pairs of the horizontal table, in their order.
void add_builtin_pairs(MirrorTable& table);

// The mirror image of code, or code itself when the table has none. The bisection is the one the program
// has always used, so with duplicate keys it returns whichever entry it meets first.
int32_t lookup(const MirrorTable& table, int32_t code);

// Inserts the pairs of a mirror table file's contents: one pair per line, read in chunks of at most 63
// bytes, each chunk giving its own first two characters.
void add_pairs_from_file_content(MirrorTable& table, std::string_view content);

// Reads a mirror table file. Returns kMirrorCannotOpen when it cannot be read; the table then keeps what
// it had.
int load_file(MirrorTable& table, const std::string& path);

struct MirrorTables {
    MirrorTable horizontal;
    MirrorTable vertical;
};

// What start-up does: clears both, adds the built-in pairs to the horizontal table, then loads the two
// files. A name of "-" or "" names no file; a file that cannot be read is skipped without a message.
void load_mirror_tables(MirrorTables& tables, const std::string& horizontal_path,
                        const std::string& vertical_path);

}  // namespace glyphora
