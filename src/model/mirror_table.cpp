#include "model/mirror_table.h"

#include <fstream>
#include <iterator>

#include "model/sjis.h"

namespace glyphora {

namespace {

struct CodePair {
    int32_t from;
    int32_t to;
};

// The built-in horizontal pairs, in the order they are inserted. Duplicate keys are intended: the later
// pair lands before the earlier one, and the lookup's bisection decides which one a flip uses.
constexpr CodePair kBuiltinPairs[] = {
    {0x28, 0x29},     {0x29, 0x28},      // ( )
    {0x8169, 0x816A}, {0x816A, 0x8169},  // （ ）
    {0x3C, 0x3E},     {0x3E, 0x3C},      // < >
    {0x8183, 0x8184}, {0x8184, 0x8183},  // ＜ ＞
    {0x814C, 0x814D}, {0x814D, 0x814C},  // ´ ｀
    {0x818C, 0x814D},                    // ′ → ｀
    {0x81BC, 0x81BD}, {0x81BD, 0x81BC},  // ⊂ ⊃
    {0x82C2, 0x81BC},                    // つ → ⊂
    {0x815F, 0x815E}, {0x815E, 0x815F},  // ＼ ／
    {0x98A4, 0x2F},   {0x2F, 0x98A4},    // 丶 /
    {0x2F, 0x8152},   {0x8152, 0x2F},    // / ヽ
    {0x8173, 0x8174}, {0x8174, 0x8173},  // 《 》
    {0x81BA, 0x81BB}, {0x81BB, 0x81BA},  // ⊆ ⊇
    {0x81B9, 0x81B8}, {0x81B8, 0x81B9},  // ∋ ∈
    {0x84A1, 0x84A2}, {0x84A2, 0x84A1},  // ┌ ┐
    {0x84A4, 0x84A3}, {0x84A3, 0x84A4},  // └ ┘
    {0x84A5, 0x84A7}, {0x84A7, 0x84A5},  // ├ ┤
    {0x84AD, 0x84AC}, {0x84AC, 0x84AD},  // ┓ ┏
    {0x84AE, 0x84AF}, {0x84AF, 0x84AE},  // ┛ ┗
    {0x84B0, 0x84B2}, {0x84B2, 0x84B0},  // ┣ ┫
    {0x84B5, 0x84B7}, {0x84B7, 0x84B5},  // ┠ ┨
    {0x84BA, 0x84BC}, {0x84BC, 0x84BA},  // ┝ ┥
    {0x8175, 0x8176}, {0x8176, 0x8175},  // 「 」
    {0x816E, 0x816D}, {0x816D, 0x816E},  // ］ ［
    {0x8175, 0x8176}, {0x8176, 0x8175},  // 「 」 (a second time)
    {0x81A8, 0x81A9}, {0x81A9, 0x81A8},  // → ←
    {0x81E1, 0x81E2}, {0x81E2, 0x81E1},  // ≪ ≫
    {0x8186, 0x8185}, {0x8185, 0x8186},  // ≧ ≦
    {0xC9, 0x8152},   {0x8152, 0xC9},    // ﾉ ヽ
};

// A character at pos, or code 0 when there is none or when it is a lead byte cut off from its trail byte
// (such a half character must not become a mapping, or a flip would write a stray lead byte).
int32_t whole_char_at(std::string_view s, std::size_t pos, std::size_t& length) {
    length = 0;
    if (pos >= s.size()) return 0;
    const SjisChar c = char_at(s, pos);
    length = static_cast<std::size_t>(c.length);
    if (c.length == 1 && is_lead_byte(static_cast<unsigned char>(s[pos]))) return 0;
    return c.code;
}

}  // namespace

void clear(MirrorTable& table) {
    table.count = 0;
    for (auto& e : table.entries) e = MirrorEntry{};
}

void insert(MirrorTable& table, int32_t key, int32_t value) {
    if (key == 0 || value == 0) return;
    constexpr int kLast = MirrorTable::kCapacity - 1;
    int i = 0;
    while (i < MirrorTable::kCapacity && table.entries[i].key != 0 && table.entries[i].key < key) ++i;
    if (i == MirrorTable::kCapacity) return;
    if (table.entries[kLast].key != 0) return;
    for (int j = kLast; j > i; --j) table.entries[j] = table.entries[j - 1];
    table.entries[i] = MirrorEntry{key, value};
    int used = 0;
    while (used < MirrorTable::kCapacity && table.entries[used].key != 0) ++used;
    table.count = used;
}

void add_pairs_from_string(MirrorTable& table, std::string_view pairs) {
    std::size_t pos = 0;
    while (pos < pairs.size()) {
        std::size_t len1 = 0, len2 = 0;
        const int32_t first = whole_char_at(pairs, pos, len1);
        const int32_t second = whole_char_at(pairs, pos + len1, len2);
        if (len2 == 0) return;  // the string ends inside the pair
        if (second >= 0x20) insert(table, first, second);
        pos += len1 + len2;
    }
}

void add_builtin_pairs(MirrorTable& table) {
    for (const CodePair& p : kBuiltinPairs) insert(table, p.from, p.to);
}

int32_t lookup(const MirrorTable& table, int32_t code) {
    if (table.count <= 0) return code;
    int lo = 0;
    int hi = (table.count < MirrorTable::kCapacity ? table.count : MirrorTable::kCapacity) - 1;
    int candidate = -1;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (table.entries[mid].key == code) {
            candidate = mid;
            break;
        }
        if (table.entries[mid].key > code) {
            hi = mid;
        } else {
            lo = mid + 1;
        }
    }
    if (candidate < 0) candidate = lo;
    const MirrorEntry& e = table.entries[candidate];
    return e.key == code && e.value != 0 ? e.value : code;
}

void add_pairs_from_file_content(MirrorTable& table, std::string_view content) {
    // Chunks as a 64-byte line buffer yields them: up to and including a LF, at most 63 bytes.
    constexpr std::size_t kChunk = 63;
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t n = 0;
        while (n < kChunk && pos + n < content.size()) {
            if (content[pos + n++] == '\n') break;
        }
        std::string_view line = content.substr(pos, n);
        pos += n;
        // The line ends at its first CR or LF (and at a NUL, which ends the buffer's string).
        const std::size_t end = line.find_first_of(std::string_view("\r\n\0", 3));
        if (end != std::string_view::npos) line = line.substr(0, end);
        std::size_t len1 = 0, len2 = 0;
        const int32_t first = whole_char_at(line, 0, len1);
        const int32_t second = whole_char_at(line, len1, len2);
        if (second < 0x20) continue;
        insert(table, first, second);
    }
}

int load_file(MirrorTable& table, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return kMirrorCannotOpen;
    const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return kMirrorCannotOpen;
    add_pairs_from_file_content(table, content);
    return kMirrorLoadOk;
}

void load_mirror_tables(MirrorTables& tables, const std::string& horizontal_path,
                        const std::string& vertical_path) {
    clear(tables.horizontal);
    clear(tables.vertical);
    add_builtin_pairs(tables.horizontal);
    // A missing or unreadable file leaves the table as it is; start-up shows no message for it.
    if (!horizontal_path.empty() && horizontal_path != "-") load_file(tables.horizontal, horizontal_path);
    if (!vertical_path.empty() && vertical_path != "-") load_file(tables.vertical, vertical_path);
}

}  // namespace glyphora
