// Mirror tables: insertion order, the bisection with duplicate keys, and the table files.
#include "model/mirror_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace glyphora {
namespace {

std::string temp_file(const std::string& name, const std::string& content) {
    const char* home = std::getenv("GLYPHORA_HOME");
    const std::filesystem::path dir = home ? home : std::filesystem::temp_directory_path();
    const std::filesystem::path path = dir / name;
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
}

MirrorTable builtin() {
    MirrorTable t;
    add_builtin_pairs(t);
    return t;
}

TEST(MirrorTable, BuiltinPairs) {
    const MirrorTable t = builtin();
    EXPECT_EQ(t.count, 56);
    for (int i = 1; i < t.count; ++i) ASSERT_LE(t.entries[i - 1].key, t.entries[i].key);
    EXPECT_EQ(lookup(t, 0x28), 0x29);      // ( → )
    EXPECT_EQ(lookup(t, 0xC9), 0x8152);    // ﾉ → ヽ
    EXPECT_EQ(lookup(t, 0x8175), 0x8176);  // 「 → 」
    EXPECT_EQ(lookup(t, 0x2F), 0x98A4);    // / → 丶, though "/ → ヽ" came later
    EXPECT_EQ(lookup(t, 0x8152), 0x2F);    // ヽ → /, though "ヽ → ﾉ" came later
    EXPECT_EQ(lookup(t, 0x98A4), 0x2F);    // the largest key: 丶 → /
    EXPECT_EQ(lookup(t, 'A'), 'A');
    EXPECT_EQ(lookup(t, 0), 0);
    EXPECT_EQ(lookup(t, 0xFFFF), 0xFFFF);
}

TEST(MirrorTable, InsertRules) {
    MirrorTable t;
    EXPECT_EQ(lookup(t, 'a'), 'a');
    insert(t, 'a', 'b');
    EXPECT_EQ(t.count, 1);
    EXPECT_EQ(lookup(t, 'a'), 'b');
    EXPECT_EQ(lookup(t, 'b'), 'b');
    EXPECT_EQ(lookup(t, 0x8140), 0x8140);
    insert(t, 0, 'x');
    insert(t, 'x', 0);
    EXPECT_EQ(t.count, 1);
    // A duplicate key goes before the existing pair.
    insert(t, 'a', 'c');
    EXPECT_EQ(t.entries[0].value, 'c');
    EXPECT_EQ(t.entries[1].value, 'b');

    clear(t);
    EXPECT_EQ(t.count, 0);
    for (int i = 0; i < MirrorTable::kCapacity; ++i) insert(t, 0x8140 + i * 3, i + 1);
    EXPECT_EQ(t.count, 400);
    for (int i = 0; i < MirrorTable::kCapacity; ++i) ASSERT_EQ(lookup(t, 0x8140 + i * 3), i + 1) << i;
    insert(t, 0x20, 0x21);  // the 401st pair is dropped
    EXPECT_EQ(t.count, 400);
    EXPECT_EQ(lookup(t, 0x20), 0x20);
    EXPECT_EQ(t.entries[0].key, 0x8140);
}

TEST(MirrorTable, PairsFromAString) {
    MirrorTable t;
    // "（）" and "A" + tab (below 0x20: skipped) and a dangling last character.
    add_pairs_from_string(t,
                          "\x81\x69\x81\x6A"
                          "A\tBC"
                          "D");
    EXPECT_EQ(t.count, 2);
    EXPECT_EQ(lookup(t, 0x8169), 0x816A);
    EXPECT_EQ(lookup(t, 'B'), 'C');
    EXPECT_EQ(lookup(t, 'A'), 'A');
}

TEST(MirrorTableFile, LinesChunksAndDuplicates) {
    MirrorTable t = builtin();
    std::string content;
    content += "\x81\x69\x81\x6A\r\n";  // "（）" a second time, before the built-in one
    content += "x\r\n";                 // one character: nothing
    content += "\r\n";                  // empty: nothing
    content += "pq and the rest\n";     // anything after the second character is ignored
    content += "r\x81";                 // a lead byte without its trail byte: nothing
    content += "\n";
    content += "mn" + std::string(61, 'k') + "wz\r\n";  // a 63-byte chunk, then "wz" as a line of its own
    const std::string path = temp_file("mirror_lines.txt", content);
    ASSERT_EQ(load_file(t, path), kMirrorLoadOk);
    EXPECT_EQ(t.count, 56 + 4);
    int parens = 0;
    for (int i = 0; i < t.count; ++i) parens += t.entries[i].key == 0x8169 ? 1 : 0;
    EXPECT_EQ(parens, 2);
    EXPECT_EQ(lookup(t, 0x8169), 0x816A);
    EXPECT_EQ(lookup(t, 'x'), 'x');
    EXPECT_EQ(lookup(t, 'p'), 'q');
    EXPECT_EQ(lookup(t, 'r'), 'r');
    EXPECT_EQ(lookup(t, 'm'), 'n');
    EXPECT_EQ(lookup(t, 'k'), 'k');
    EXPECT_EQ(lookup(t, 'w'), 'z');
}

TEST(MirrorTableFile, MissingFilesLeaveTheTables) {
    MirrorTable t = builtin();
    EXPECT_EQ(load_file(t, "/nonexistent/hanten.txt"), kMirrorCannotOpen);
    EXPECT_EQ(t.count, 56);

    auto tables = std::make_unique<MirrorTables>();
    insert(tables->vertical, 'q', 'p');  // start-up clears both first
    load_mirror_tables(*tables, "-", "/nonexistent/hanten2.txt");
    EXPECT_EQ(tables->horizontal.count, 56);
    EXPECT_EQ(tables->vertical.count, 0);

    const std::string h = temp_file("hanten.txt", "ab\r\n");
    const std::string v = temp_file("hanten2.txt", "\x81\x5E\x81\x5F\r\n");  // "／＼"
    load_mirror_tables(*tables, h, v);
    EXPECT_EQ(tables->horizontal.count, 57);
    EXPECT_EQ(lookup(tables->horizontal, 'a'), 'b');
    EXPECT_EQ(lookup(tables->vertical, 0x815E), 0x815F);
    EXPECT_EQ(lookup(tables->vertical, 'a'), 'a');
}

}  // namespace
}  // namespace glyphora
