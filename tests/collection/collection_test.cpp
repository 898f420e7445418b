#include <gtest/gtest.h>
#include <sqlite3.h>
#include <zip.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include "collection/aa_analysis.h"
#include "collection/collection_index.h"
#include "collection/search_text.h"
#include "io/file_io.h"
#include "model/part.h"
#include "render/char_width_table.h"
#include "render/measure_part.h"
#include "system/encoding.h"

namespace glyphora::collection {
namespace {

namespace fs = std::filesystem;

std::string sjis(std::string_view utf8) {
    const Conversion c = utf8_to_sjis(utf8);
    EXPECT_TRUE(c.ok) << utf8;
    return c.text;
}

void write(const fs::path& path, std::string_view bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// A ZIP of (name, bytes), names taken as raw bytes.
void write_zip(const fs::path& path, const std::vector<std::pair<std::string, std::string>>& members) {
    fs::remove(path);
    int err = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    ASSERT_NE(z, nullptr);
    for (const auto& [name, bytes] : members) {
        zip_source_t* src = zip_source_buffer(z, bytes.data(), bytes.size(), 0);
        ASSERT_GE(zip_file_add(z, name.c_str(), src, ZIP_FL_ENC_RAW), 0);
    }
    ASSERT_EQ(zip_close(z), 0);
}

std::string mlt(std::initializer_list<std::string_view> aas_utf8) {
    std::string out;
    for (const std::string_view aa : aas_utf8) {
        if (!out.empty()) out += "[SPLIT]\r\n";
        out += sjis(aa);
        out += "\r\n";
    }
    return out;
}

class Collection : public ::testing::Test {
  protected:
    fs::path dir;
    fs::path db;
    std::unique_ptr<MetricsFile> metrics = std::make_unique<MetricsFile>();
    std::unique_ptr<CharWidthTable> widths = std::make_unique<CharWidthTable>();

    void SetUp() override {
        dir = fs::path(std::getenv("GLYPHORA_HOME")) /
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir);
        fs::create_directories(dir / "col");
        db = dir / "cache" / "collection.sqlite";
        ASSERT_TRUE(load_metrics_file(std::string(GLYPHORA_TEST_DATA) + "/test_metrics.txt", *metrics).ok);
        MetricsFileSource source(*metrics);
        widths->build(source);
    }

    std::unique_ptr<CollectionIndex> open(bool* rebuilt = nullptr) {
        std::string error;
        auto index = CollectionIndex::open(db.string(), error, rebuilt);
        EXPECT_TRUE(index) << error;
        if (index) index->set_widths(widths.get());
        return index;
    }

    ScanResult scan(CollectionIndex& index, std::function<void()> listed = {}) {
        ScanProgress progress;
        progress.listed = std::move(listed);
        ScanResult r = index.scan(progress);
        EXPECT_TRUE(r.ok) << r.error;
        return r;
    }

    std::unique_ptr<CollectionIndex> indexed(const fs::path& root) {
        auto index = open();
        std::string error;
        EXPECT_TRUE(index->add_root(root.string(), error)) << error;
        scan(*index);
        return index;
    }

    // "LOCATION:N" of each hit, the location relative to the test folder.
    static std::vector<std::string> places(const std::vector<SearchHit>& hits, const fs::path& base) {
        std::vector<std::string> out;
        for (const SearchHit& h : hits)
            out.push_back(h.location.substr(base.string().size() + 1) + ":" + std::to_string(h.aa.ordinal));
        return out;
    }
};

using Strings = std::vector<std::string>;

// ---- what one file gives ----

TEST(AaAnalysis, HeadingsAreOneBracketedOrMarkedLineAndNameTheAasAfterThem) {
    std::string h;
    EXPECT_TRUE(is_heading(sjis("【やる夫・笑顔】"), h));
    EXPECT_EQ(h, "【やる夫・笑顔】");
    EXPECT_TRUE(is_heading(sjis("\r\n　■驚き顔 \r\n"), h));
    EXPECT_EQ(h, "■驚き顔");
    EXPECT_TRUE(is_heading("[Yaruo]", h));
    EXPECT_FALSE(is_heading(sjis("（　´∀｀）"), h));                // a one-line face is an AA
    EXPECT_FALSE(is_heading(sjis("【やる夫】\r\n（　´∀｀）"), h));  // two lines
    EXPECT_FALSE(is_heading(sjis("【　】"), h));                    // nothing to name it by
    EXPECT_FALSE(is_heading(sjis("【やる夫"), h));                  // not closed

    const std::string bytes = mlt({"【やる夫】", "AA one", "AA two", "", "■やらない夫", "AA three"});
    const AnalysedFile f = analyse_file(bytes, AaFormat::mlt, nullptr);
    ASSERT_TRUE(f.ok);
    ASSERT_EQ(f.headings, (Strings{"【やる夫】", "■やらない夫"}));
    ASSERT_EQ(f.aas.size(), 3u);  // headings and the blank entry are no AAs
    EXPECT_EQ(f.aas[0].ordinal, 2);
    EXPECT_EQ(f.aas[0].heading, 0);
    EXPECT_EQ(f.aas[1].heading, 0);
    EXPECT_EQ(f.aas[2].ordinal, 6);
    EXPECT_EQ(f.aas[2].heading, 1);
}

TEST(AaAnalysis, ByteRangesReadBackEachAaAsTheImportDecodesIt) {
    const std::string utf8_mlt =
        "\xEF\xBB\xBF"
        "ab\r\n[SPLIT]\nやる夫\n\n[SPLIT]\r\n&#9825; \xE2\x99\xA1\r\n";
    const std::string ast = sjis("junk\r\n[AA][一]\r\nテキスト\r\n[AA][二]\r\n\r\nx\r\n");
    const std::string txt = sjis("ひとつ\r\n");
    for (const auto& [bytes, format] :
         {std::pair{utf8_mlt, AaFormat::mlt}, std::pair{ast, AaFormat::ast}, std::pair{txt, AaFormat::txt}}) {
        const AaReadResult read = read_aa_bytes(bytes, format);
        const AnalysedFile f = analyse_file(bytes, format, nullptr);
        ASSERT_TRUE(read.ok && f.ok);
        ASSERT_EQ(f.aas.size(), read.entries.size());
        for (std::size_t i = 0; i < f.aas.size(); ++i) {
            const std::string text = decode_aa_bytes(
                std::string_view(bytes).substr(f.aas[i].offset, f.aas[i].length), format, f.encoding);
            EXPECT_EQ(text, read.entries[i].text) << i;
            EXPECT_EQ(f.aas[i].hash, content_hash(read.entries[i].text));
        }
    }
}

TEST(AaAnalysis, MeasuresAsTheCanvasDoes) {
    auto metrics = std::make_unique<MetricsFile>();
    ASSERT_TRUE(parse_metrics("line_height 18\ndefault 8\n0x20 5\n0x8140 11\n0x41 7\n", *metrics).ok);
    auto widths = std::make_unique<CharWidthTable>();
    MetricsFileSource source(*metrics);
    widths->build(source);
    std::mt19937 rng(7);
    const std::vector<std::string> pieces = {"A",    " ",      sjis("　"), sjis("や"),
                                             "\r\n", "&nbsp;", "&#9825;",  "\r\n\r\n"};
    auto part = std::make_unique<Part>();
    for (int round = 0; round < 300; ++round) {
        std::string text;
        const int n = static_cast<int>(rng() % 30);
        for (int i = 0; i < n; ++i) text += pieces[rng() % (round % 2 ? pieces.size() : 5)];
        set_string(part->text, text);
        const Box box = measure_part(*part, *widths);
        const AaSize size = measure_aa(text, widths.get());
        EXPECT_EQ(size.width_px, box.right - box.left) << text;
        EXPECT_EQ(size.lines, (box.bottom - box.top) / 18) << text;
    }
}

TEST(SearchText, FoldsWidthAndCaseAndKeepsOnlyWords) {
    EXPECT_EQ(fold("ＨｅｌＬｏ ﾔﾙｵ"), "hello ヤルオ");
    EXPECT_EQ(letter_runs(fold("【やる夫・笑顔】 A-1")), (Strings{"やる夫", "笑顔", "a", "1"}));
    std::string doc;
    append_aa_words(doc, sjis("　 ヽ从ﾉ ｿ l ﾘﾘﾘ lv ミ三　（　やる夫は  ＯＫ だお　）"), 1024);
    EXPECT_EQ(doc, "やる夫は ok だお");  // drawing kana and lone letters are no words
    EXPECT_EQ(fts_query("ＡＢ 夫"), "(\"ab\") AND (\"夫\"*)");
    EXPECT_EQ(fts_query(" ・ "), "");
}

// ---- the index ----

TEST_F(Collection, ScanListsFoldersAndReadableFilesAndSaysWhyOthersCannotBeRead) {
    write(dir / "col/やる夫/笑顔.mlt", mlt({"【笑顔】", "(^^)", "(^o^)"}));
    write(dir / "col/t.AST", sjis("[AA][タイトル]\r\nx\r\n"));
    write(dir / "col/picture.png", "png");
    write(dir / "col/wide.txt",
          "\xFF\xFE"
          "a\0"
          "b\0");
    write(dir / "col/empty/none.txt", "");
    auto index = open();
    std::string error;
    ASSERT_TRUE(index->add_root((dir / "col").string(), error)) << error;
    EXPECT_FALSE(index->add_root((dir / "col/やる夫").string(), error));  // inside a root
    EXPECT_FALSE(index->add_root((dir / "col/t.AST").string(), error));   // no folder, no ZIP
    EXPECT_TRUE(index->children("").empty() == false);
    const ScanResult r = scan(*index);
    EXPECT_EQ(r.files_read, 3);
    EXPECT_EQ(r.files_failed, 1);
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_NE(r.failures[0].find("wide.txt: the file is UTF-16"), std::string::npos) << r.failures[0];

    const std::vector<TreeNode> roots = index->children("");
    ASSERT_EQ(roots.size(), 1u);
    EXPECT_EQ(roots[0].aa_count, 3);
    Strings names;
    for (const TreeNode& n : index->children(roots[0].location))
        names.push_back(n.name + "/" + std::to_string(n.aa_count) + "/" + n.error);
    EXPECT_EQ(names, (Strings{"empty/0/", "やる夫/2/", "t.AST/1/",
                              "wide.txt/0/the file is UTF-16; save it as "
                              "Shift_JIS or UTF-8 and import it again"}));
    const std::vector<TreeNode> files = index->children((dir / "col/やる夫").string());
    ASSERT_EQ(files.size(), 1u);
    const std::vector<AaInfo> aas = index->aas_of_file(files[0].file_id);
    ASSERT_EQ(aas.size(), 2u);
    EXPECT_EQ(aas[1].heading, "【笑顔】");
    EXPECT_EQ(aas[1].ordinal, 3);
    EXPECT_EQ(aas[1].width_px, 40);
    std::string text;
    ASSERT_TRUE(index->text_of(aas[1], text, error)) << error;
    EXPECT_EQ(text, "(^o^)");
    EXPECT_EQ(part_name(aas[1], text), sjis("【笑顔】"));
}

TEST_F(Collection, RescanReadsOnlyWhatChangedAndDropsWhatIsGone) {
    write(dir / "col/a.mlt", mlt({"aaa one", "aaa two"}));
    write(dir / "col/b.mlt", mlt({"bbb"}));
    write(dir / "col/c.mlt", mlt({"ccc"}));
    write(dir / "col/d.mlt", mlt({"ddd one"}));
    auto index = indexed(dir / "col");
    const std::int64_t a_first = index->search("aaa", 0).at(0).aa.id;

    ScanResult r = scan(*index);
    EXPECT_EQ(r.files_read, 0);
    EXPECT_EQ(r.files_unchanged, 4);

    write(dir / "col/b.mlt", mlt({"bbb", "bbb changed"}));
    fs::remove(dir / "col/c.mlt");
    // The same size, another time: changed all the same.
    write(dir / "col/d.mlt", mlt({"ddd six"}));
    fs::last_write_time(dir / "col/d.mlt", fs::last_write_time(dir / "col/d.mlt") + std::chrono::seconds(1));
    r = scan(*index);
    EXPECT_EQ(r.files_read, 2);
    EXPECT_EQ(places(index->search("six", 0), dir), (Strings{"col/d.mlt:1"}));
    EXPECT_EQ(r.files_unchanged, 1);
    EXPECT_EQ(r.files_removed, 1);
    EXPECT_EQ(index->search("aaa", 0).at(0).aa.id, a_first);  // untouched
    EXPECT_EQ(places(index->search("changed", 0), dir), (Strings{"col/b.mlt:2"}));
    EXPECT_TRUE(index->search("ccc", 0).empty());

    // Text asked for after its file changed is refused, not read from the wrong place.
    const AaInfo b = index->search("changed", 0).at(0).aa;
    write(dir / "col/b.mlt", mlt({"bbb", "bbb CHANGED AGAIN"}));
    std::string text, error;
    EXPECT_FALSE(index->text_of(b, text, error));
    EXPECT_NE(error.find("has changed since it was indexed"), std::string::npos) << error;
}

TEST_F(Collection, FilesDeletedOrChangedWhileTheScanRunsAreHandled) {
    for (int i = 0; i < 6; ++i)
        write(dir / ("col/f" + std::to_string(i) + ".mlt"), mlt({"word" + std::to_string(i)}));
    auto index = open();
    std::string error;
    ASSERT_TRUE(index->add_root((dir / "col").string(), error));
    const ScanResult r = scan(*index, [&] {
        fs::remove(dir / "col/f1.mlt");
        write(dir / "col/f4.mlt", mlt({"rewritten while listed"}));
    });
    EXPECT_EQ(r.files_read, 5);
    EXPECT_EQ(r.files_removed, 1);
    EXPECT_TRUE(index->search("word1", 0).empty());
    EXPECT_EQ(places(index->search("rewritten", 0), dir), (Strings{"col/f4.mlt:1"}));
    EXPECT_EQ(scan(*index).files_unchanged, 5);  // what was read is what is on disk now
}

TEST_F(Collection, DamagedOrOutdatedDatabaseIsRebuiltOnce) {
    write(dir / "col/a.mlt", mlt({"alpha"}));
    indexed(dir / "col").reset();
    // Another schema: rebuilt, the folders kept.
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &raw), SQLITE_OK);
    sqlite3_exec(raw, "PRAGMA user_version=999", nullptr, nullptr, nullptr);
    sqlite3_close(raw);
    bool rebuilt = false;
    auto index = open(&rebuilt);
    EXPECT_TRUE(rebuilt);
    EXPECT_EQ(index->roots(), (Strings{(dir / "col").string()}));
    scan(*index);
    EXPECT_EQ(index->search("alpha", 0).size(), 1u);
    index.reset();
    open(&rebuilt).reset();
    EXPECT_FALSE(rebuilt);
    // Garbage where the database was.
    fs::remove(db.string() + "-wal");
    fs::remove(db.string() + "-shm");
    write(db, std::string(8192, 'x'));
    index = open(&rebuilt);
    ASSERT_TRUE(index);
    EXPECT_TRUE(rebuilt);
    EXPECT_TRUE(index->roots().empty());
    EXPECT_TRUE(index->search("alpha", 0).empty());
}

TEST_F(Collection, ZipFilesAreReadInPlaceAndOnlyChangedMembersAgain) {
    const std::string sjis_name = sjis("やる夫/笑顔.mlt");  // no UTF-8 flag, as Japanese tools write it
    write_zip(dir / "col/set.zip", {{"top.mlt", mlt({"zip top"})},
                                    {sjis_name, mlt({"【笑顔】", "zip smile"})},
                                    {"sub/readme.png", "png"},
                                    {"sub/t.ast", sjis("[AA][題]\r\nzip title\r\n")}});
    auto index = indexed(dir / "col");
    const std::string zip = (dir / "col/set.zip").string();
    Strings names;
    for (const TreeNode& n : index->children(zip)) names.push_back(n.name);
    EXPECT_EQ(names, (Strings{"sub", "やる夫", "top.mlt"}));
    const std::vector<SearchHit> hits = index->search("smile 笑顔", 0);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].location, zip + "!やる夫/笑顔.mlt");
    const auto found = index->find(hits[0].location + ":2");
    ASSERT_TRUE(found);
    std::string text, error;
    ASSERT_TRUE(index->text_of(*found, text, error)) << error;
    EXPECT_EQ(text, "zip smile");

    write_zip(dir / "col/set.zip", {{"top.mlt", mlt({"zip top changed"})},
                                    {sjis_name, mlt({"【笑顔】", "zip smile"})},
                                    {"sub/t.ast", sjis("[AA][題]\r\nzip title\r\n")}});
    const ScanResult r = scan(*index);
    EXPECT_EQ(r.files_read, 1);
    EXPECT_EQ(r.files_unchanged, 2);
    ASSERT_TRUE(index->text_of(*index->find(hits[0].location + ":2"), text, error)) << error;
    EXPECT_EQ(places(index->search("changed", 0), dir), (Strings{"col/set.zip!top.mlt:1"}));
}

TEST_F(Collection, SearchMatchesEveryWordAnywhereFoldedAndFoldsCopies) {
    write(dir / "col/やる夫/笑顔.mlt", mlt({"【ニコニコ】", "（　Ｈｅｌｌｏ　お腹すいた　）", "ﾉ ｿ"}));
    write(dir / "col/other.mlt", mlt({"（　Ｈｅｌｌｏ　お腹すいた　）", "hello world"}));
    write(dir / "col/titles.ast", sjis("[AA][ﾀｲﾄﾙ]\r\nx\r\n"));
    auto index = indexed(dir / "col");

    // A copy in another file folds into the first hit.
    std::vector<SearchHit> hits = index->search("お腹", 0);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(places(hits, dir), (Strings{"col/other.mlt:1"}));
    EXPECT_EQ(hits[0].also_in, (Strings{(dir / "col/やる夫/笑顔.mlt").string() + ":2"}));

    EXPECT_EQ(places(index->search("HELLO", 0), dir), (Strings{"col/other.mlt:1", "col/other.mlt:2"}));
    EXPECT_EQ(places(index->search("hello world", 0), dir), (Strings{"col/other.mlt:2"}));
    // Words of the folder name, the heading and the text, together.
    EXPECT_EQ(places(index->search("やる夫 ﾆｺﾆｺ hello", 0), dir), (Strings{"col/やる夫/笑顔.mlt:2"}));
    EXPECT_EQ(places(index->search("夫 ﾆｺ", 0), dir),
              (Strings{"col/やる夫/笑顔.mlt:2", "col/やる夫/笑顔.mlt:3"}));
    EXPECT_EQ(places(index->search("タイトル", 0), dir), (Strings{"col/titles.ast:1"}));
    EXPECT_TRUE(index->search("hello nothing", 0).empty());
    EXPECT_TRUE(index->search("ﾉｿ", 0).empty());  // drawing, not words
    EXPECT_EQ(index->search("hello", 1).size(), 1u);
}

TEST_F(Collection, TwoConnectionsShareTheIndexWhileAScanRunsAndACancelledScanResumes) {
    for (int i = 0; i < 40; ++i)
        write(dir / ("col/f" + std::to_string(i) + ".mlt"), mlt({"shared word" + std::to_string(i)}));
    auto window = open();
    auto command_line = open();
    std::string error;
    ASSERT_TRUE(window->add_root((dir / "col").string(), error));
    // The other connection reads while this one writes, then asks to stop.
    ScanProgress progress;
    std::size_t seen_during = 0;
    progress.listed = [&] {
        seen_during = command_line->children("").size();
        progress.cancel = true;
    };
    const ScanResult cancelled = window->scan(progress);
    EXPECT_TRUE(cancelled.ok && cancelled.cancelled);
    EXPECT_EQ(seen_during, 1u);
    EXPECT_LT(cancelled.files_read, 40);
    const ScanResult rest = scan(*command_line);
    EXPECT_EQ(rest.files_read + rest.files_unchanged, 40);
    EXPECT_EQ(window->search("shared", 0).size(), 40u);
    EXPECT_TRUE(command_line->last_error().empty());
}

TEST_F(Collection, RemovedFoldersLeaveAndOtherWidthsMeasureAgain) {
    write(dir / "col/a.mlt", mlt({"AAAA"}));
    write(dir / "more/b.mlt", mlt({"BB"}));
    auto index = indexed(dir / "col");
    std::string error;
    ASSERT_TRUE(index->add_root((dir / "more").string(), error));
    scan(*index);
    EXPECT_EQ(index->search("aaaa", 0).at(0).aa.width_px, 32);
    ASSERT_TRUE(index->remove_root((dir / "col").string(), error)) << error;
    EXPECT_TRUE(index->search("aaaa", 0).empty());
    EXPECT_EQ(index->roots(), (Strings{(dir / "more").string()}));
    ASSERT_EQ(index->children("").size(), 1u);

    // Other widths: every file is read again and measured with them.
    auto metrics16 = std::make_unique<MetricsFile>();
    ASSERT_TRUE(parse_metrics("line_height 18\ndefault 16\n", *metrics16).ok);
    auto wider = std::make_unique<CharWidthTable>();
    MetricsFileSource source(*metrics16);
    wider->build(source);
    index->set_widths(wider.get());
    EXPECT_EQ(scan(*index).files_read, 1);
    EXPECT_EQ(index->search("bb", 0).at(0).aa.width_px, 32);
    EXPECT_EQ(scan(*index).files_unchanged, 1);
}

TEST_F(Collection, KeysFindAnAaAgainAfterItsFileMoved) {
    write(dir / "col/a.mlt", mlt({"one", "two"}));
    auto index = indexed(dir / "col");
    const AaKey key = index->key_of(index->search("two", 0).at(0).aa);
    EXPECT_EQ(key.location, (dir / "col/a.mlt").string());
    EXPECT_EQ(key.ordinal, 2);
    fs::rename(dir / "col/a.mlt", dir / "col/b.mlt");
    scan(*index);
    const auto moved = index->find(key);
    ASSERT_TRUE(moved);
    EXPECT_EQ(index->location_of_file(moved->file_id), (dir / "col/b.mlt").string());
    EXPECT_EQ(FileLocation::parse("/x/a.ZIP!b/c.mlt").member, "b/c.mlt");
    EXPECT_EQ(FileLocation::parse("/x/a!b.mlt").path, "/x/a!b.mlt");
}

TEST_F(Collection, MarksKeepFavouritesAndTheLastHundredUsed) {
    const std::string path = (dir / "marks.txt").string();
    UserMarks marks(path);
    std::string error;
    EXPECT_TRUE(marks.load(error));  // none yet
    for (int i = 1; i <= 105; ++i) marks.used({"/c/a.mlt", i, static_cast<std::uint64_t>(i)});
    marks.used({"/c/a.mlt", 50, 50});
    EXPECT_EQ(marks.recent().size(), 100u);
    marks.set_favourite({"/c/z.zip!x y.mlt", 3, 0xFFFFFFFFFFFFFFFFull}, true);
    ASSERT_TRUE(marks.save(error)) << error;

    UserMarks again(path);
    ASSERT_TRUE(again.load(error)) << error;
    ASSERT_EQ(again.recent().size(), 100u);
    EXPECT_EQ(again.recent()[0].ordinal, 50);
    EXPECT_EQ(again.recent()[1].ordinal, 105);
    EXPECT_TRUE(again.is_favourite({"/c/z.zip!x y.mlt", 3, 0xFFFFFFFFFFFFFFFFull}));
    again.set_favourite({"/c/z.zip!x y.mlt", 3, 0xFFFFFFFFFFFFFFFFull}, false);
    EXPECT_TRUE(again.favourites().empty());

    std::string content;
    read_whole_file(path, content);
    write(path, "bad line\n" + content);
    UserMarks damaged(path);
    EXPECT_FALSE(damaged.load(error));
    EXPECT_NE(error.find("line(s) 1 cannot be read"), std::string::npos) << error;
    EXPECT_EQ(damaged.recent().size(), 100u);
}

}  // namespace
}  // namespace glyphora::collection
