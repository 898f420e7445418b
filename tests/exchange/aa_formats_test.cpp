#include "exchange/aa_formats.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace glyphora {
namespace {

const std::string kA = "\x82\xA0";  // "あ" in Shift_JIS

std::vector<std::string> texts(const std::vector<AaEntry>& entries) {
    std::vector<std::string> out;
    for (const AaEntry& e : entries) out.push_back(e.text);
    return out;
}

TEST(AaFormats, FormatFromTheExtension) {
    EXPECT_EQ(aa_format_of_path("a.MLT"), AaFormat::mlt);
    EXPECT_EQ(aa_format_of_path("dir/b.Ast"), AaFormat::ast);
    EXPECT_EQ(aa_format_of_path("c.txt"), AaFormat::txt);
    EXPECT_EQ(aa_format_of_path("d.aal"), std::nullopt);
    EXPECT_EQ(aa_format_of_path("dir.mlt/file"), std::nullopt);
    EXPECT_EQ(aa_format_of_path("mlt"), std::nullopt);
}

TEST(AaFormats, MltSplitsAtSplitLines) {
    using V = std::vector<std::string>;
    // Blank AAs at the ends go; the final line end of each AA is not part of it; LF works as CR LF.
    AaReadResult r = read_aa_bytes("\r\n[SPLIT]\r\nA\r\nB\r\n[SPLIT]\r\nC\n\n[SPLIT]\n\n", AaFormat::mlt);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(texts(r.entries), (V{"A\r\nB", "C\r\n"}));
    // Between two separators an AA is kept whatever it holds; a line with more than [SPLIT] is text.
    r = read_aa_bytes("A\r\n[SPLIT]\r\n[SPLIT]\r\n [SPLIT]\r\n[SPLIT] \r\n[split]", AaFormat::mlt);
    EXPECT_EQ(texts(r.entries), (V{"A", "", " [SPLIT]\r\n[SPLIT] \r\n[split]"}));
    EXPECT_EQ(texts(read_aa_bytes("[SPLIT]", AaFormat::mlt).entries), V{});
    EXPECT_EQ(texts(read_aa_bytes("only", AaFormat::mlt).entries), V{"only"});
    r = read_aa_bytes("a\r[SPLIT]\r\n\r\n\xE2\x82\xAC\n[SPLIT]\n\xE2\x82\xAC", AaFormat::mlt);
    EXPECT_EQ(texts(r.entries), (V{"a", "\r\n&#8364;", "&#8364;"}));
    ASSERT_EQ(r.report.unconvertible.size(), 2u);
    EXPECT_EQ(r.report.unconvertible[0].line, 4);
    EXPECT_EQ(r.report.unconvertible[1].line, 6);
}

TEST(AaFormats, AstSplitsAtHeaders) {
    AaReadResult r = read_aa_bytes("notes\r\n[AA][one]\r\nX\r\n\r\n[AA][]\r\n[AA][a]b]\nY\n", AaFormat::ast);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.entries, (std::vector<AaEntry>{{"one", "X\r\n"}, {"", ""}, {"a]b", "Y"}}));
    r = read_aa_bytes("[AA][no bracket", AaFormat::ast);
    EXPECT_EQ(r.entries, (std::vector<AaEntry>{{"no bracket", ""}}));
    // "ゾ" is 0x83 0x5D: its second byte is no closing bracket.
    r = read_aa_bytes("[AA][\x83\x5D\r\n[AA][\x83\x5D]", AaFormat::ast);
    EXPECT_EQ(r.entries, (std::vector<AaEntry>{{"\x83\x5D", ""}, {"\x83\x5D", ""}}));
    // Titles are decoded too; reports count lines of the whole file.
    r = read_aa_bytes("x\n[AA][&#12354;]\nA\n[AA][b]\n\n&#128512;", AaFormat::ast);
    EXPECT_EQ(r.entries[0].title, kA);
    ASSERT_EQ(r.report.unconvertible.size(), 1u);
    EXPECT_EQ(r.report.unconvertible[0].line, 6);
    // Text without any header is no AST file: an error, not an empty import.
    r = read_aa_bytes("just text\r\n", AaFormat::ast);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.entries.empty());
    EXPECT_TRUE(read_aa_bytes("\r\n", AaFormat::ast).ok);
}

TEST(AaFormats, TxtIsOneAa) {
    const AaReadResult r = read_aa_bytes("\xE3\x81\x82\n[SPLIT]\n[AA][x]\n", AaFormat::txt);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.report.encoding, TextEncoding::utf8);
    EXPECT_EQ(texts(r.entries), std::vector<std::string>{kA + "\r\n[SPLIT]\r\n[AA][x]"});
    EXPECT_TRUE(read_aa_bytes("\r\n\r\n", AaFormat::txt).entries.empty());
}

TEST(AaFormats, WriteThenReadGivesTheSameEntries) {
    const std::vector<AaEntry> entries = {
        {"first ]", kA + " (" + kA + ")\r\n  line two"},
        {"", "ends in a line end\r\n"},
        {kA, "&nbsp;&ensp;\r\n\r\n[SPLIT]x\r\n [AA][y"},
    };
    for (const AaFormat format : {AaFormat::mlt, AaFormat::ast}) {
        for (const OutputEncoding encoding : {OutputEncoding::sjis, OutputEncoding::utf8}) {
            const AaWriteResult w = write_aa_bytes(entries, format, encoding);
            ASSERT_TRUE(w.ok) << w.error;
            const AaReadResult r = read_aa_bytes(w.bytes, format);
            ASSERT_TRUE(r.ok) << r.error;
            EXPECT_EQ(r.report.encoding,
                      encoding == OutputEncoding::utf8 ? TextEncoding::utf8 : TextEncoding::sjis);
            ASSERT_EQ(r.entries.size(), entries.size());
            for (std::size_t i = 0; i < entries.size(); ++i) {
                EXPECT_EQ(r.entries[i].text, entries[i].text);
                EXPECT_EQ(r.entries[i].title, format == AaFormat::ast ? entries[i].title : "");
            }
        }
    }
    const AaWriteResult w = write_aa_bytes(entries, AaFormat::mlt);
    EXPECT_TRUE(w.bytes.ends_with("\r\n [AA][y\r\n"));
    EXPECT_NE(w.bytes.find("line two\r\n[SPLIT]\r\nends"), std::string::npos);
    const AaWriteResult txt = write_aa_bytes(std::span(entries).first(1), AaFormat::txt);
    EXPECT_EQ(read_aa_bytes(txt.bytes, AaFormat::txt).entries[0].text, entries[0].text);
}

TEST(AaFormats, WritersRefuseWhatWouldNotReadBack) {
    // A text line that a reader would take for a separator.
    std::vector<AaEntry> entries = {{"a", "fine"}, {"b", "x\r\n[SPLIT]\r\ny"}, {"c", "[AA][z"}};
    AaWriteResult w = write_aa_bytes(entries, AaFormat::mlt);
    EXPECT_FALSE(w.ok);
    EXPECT_TRUE(w.bytes.empty());
    EXPECT_NE(w.error.find("AA 2: its line 2 is [SPLIT]"), std::string::npos) << w.error;
    w = write_aa_bytes(entries, AaFormat::ast);
    EXPECT_FALSE(w.ok);
    EXPECT_NE(w.error.find("AA 3: its line 1 begins with [AA]["), std::string::npos) << w.error;
    EXPECT_EQ(w.error.find("AA 2"), std::string::npos) << w.error;
    EXPECT_FALSE(write_aa_bytes(std::vector<AaEntry>{{"two\nlines", "x"}}, AaFormat::ast).ok);
    EXPECT_FALSE(write_aa_bytes(std::vector<AaEntry>{{"half \x83", "x"}}, AaFormat::ast).ok);
    EXPECT_TRUE(write_aa_bytes(std::vector<AaEntry>{{"whole \x83\x5D", "x"}}, AaFormat::ast).ok);
    EXPECT_FALSE(write_aa_bytes(entries, AaFormat::txt).ok);

    // Bytes with no character: kept in Shift_JIS output, refused in UTF-8 output.
    entries = {{"", "ok"}, {"", "line\r\n\x85\x40"}};
    EXPECT_TRUE(write_aa_bytes(entries, AaFormat::mlt, OutputEncoding::sjis).ok);
    w = write_aa_bytes(entries, AaFormat::mlt, OutputEncoding::utf8);
    EXPECT_FALSE(w.ok);
    EXPECT_NE(w.error.find("AA 2: byte 0x85 on line 2"), std::string::npos) << w.error;
}

TEST(AaFormats, MltLeavesOutBlankEntriesAndNormalisesLineEnds) {
    const std::vector<AaEntry> entries = {{"", "\r\n"}, {"", "a\nb\rc"}, {"", ""}};
    const AaWriteResult w = write_aa_bytes(entries, AaFormat::mlt);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.bytes, "a\r\nb\r\nc\r\n");
    EXPECT_EQ(w.skipped_blank, (std::vector<std::size_t>{0, 2}));
}

TEST(AaFormats, FilesOnDisk) {
    const std::filesystem::path dir = std::filesystem::path(std::getenv("GLYPHORA_HOME")) / "aa_formats";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "out.ast").string();
    const std::vector<AaEntry> entries = {{"t", kA}};
    ASSERT_TRUE(write_aa_file(path, entries, AaFormat::ast, OutputEncoding::utf8).ok);
    const AaReadResult r = read_aa_file(path, AaFormat::ast);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.entries, entries);
    EXPECT_FALSE(read_aa_file((dir / "missing.mlt").string(), AaFormat::mlt).ok);
    EXPECT_FALSE(write_aa_file((dir / "no/such/dir.mlt").string(), entries, AaFormat::mlt).ok);
}

TEST(AaFormats, FilesOverTheLimitAreRefusedUnread) {
    const std::filesystem::path dir = std::filesystem::path(std::getenv("GLYPHORA_HOME")) / "aa_limit";
    std::filesystem::create_directories(dir);
    // A sparse file: its size says enough, it is never read.
    const std::string big = (dir / "big.mlt").string();
    std::ofstream(big, std::ios::binary | std::ios::trunc).close();
    std::filesystem::resize_file(std::filesystem::path(big), std::uintmax_t{300} << 20);
    AaFileBytes file = read_aa_file_bytes(big);
    EXPECT_FALSE(file.ok);
    EXPECT_TRUE(file.too_large);
    EXPECT_EQ(file.size, std::uint64_t{300} << 20);  // its size, not where reading stopped
    EXPECT_EQ(file.error, "the file has 300 MB; an AA file may have at most 256 MB");
    EXPECT_TRUE(file.bytes.empty());
    EXPECT_EQ(read_aa_file(big, AaFormat::mlt).error, file.error);
    std::filesystem::resize_file(std::filesystem::path(big), kMaxAaFileBytes + 1);
    EXPECT_EQ(read_aa_file_bytes(big).error, "the file has 257 MB; an AA file may have at most 256 MB");
    std::filesystem::remove(big);

    // Up to the limit a file is read; a stream without a size is read no further than the limit.
    const std::string small = (dir / "small.mlt").string();
    ASSERT_TRUE(write_aa_file(small, std::vector<AaEntry>{{"", "0123456"}}, AaFormat::mlt).ok);  // 9 bytes
    file = read_aa_file_bytes(small, 9);
    EXPECT_TRUE(file.ok);
    EXPECT_EQ(file.bytes, "0123456\r\n");
    EXPECT_TRUE(read_aa_file_bytes(small, 8).too_large);
    file = read_aa_file_bytes("/dev/zero", 100'000);
    EXPECT_TRUE(file.too_large);
    EXPECT_EQ(file.error, "the file has 100001 bytes; an AA file may have at most 100000 bytes");
    EXPECT_FALSE(read_aa_file_bytes(dir.string()).ok);
}

TEST(AaFormats, SkippingCountsTheAasWithoutDecodingThem) {
    const std::string mlt =
        "\r\n[SPLIT]\r\nA&#128512;\r\n[SPLIT]\r\n[SPLIT]\r\nB&#128512;\r\n[SPLIT]\r\n\r\n";
    AaSplitter splitter(mlt, AaFormat::mlt);
    ASSERT_TRUE(splitter.ok());
    AaEntry entry;
    DecodeReport report;
    ASSERT_TRUE(splitter.next(entry, report));
    EXPECT_EQ(entry.text, "A&#128512;");
    EXPECT_EQ(splitter.position(), 32u);  // up to the separator after it
    EXPECT_TRUE(splitter.skip());         // the empty AA between two separators
    EXPECT_TRUE(splitter.skip());
    EXPECT_FALSE(splitter.skip());  // the blank end is no AA
    EXPECT_EQ(splitter.position(), mlt.size());
    EXPECT_EQ(report.unconvertible_count, 1u);
    EXPECT_EQ(read_aa_bytes(mlt, AaFormat::mlt).entries.size(), 3u);
}

}  // namespace
}  // namespace glyphora
