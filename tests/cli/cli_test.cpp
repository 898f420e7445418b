#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "io/file_io.h"
#include "model/books.h"
#include "model/test_support.h"
#include "storage/library_file.h"
#include "storage/page_file.h"
#include "storage/test_support.h"

namespace glyphora {
namespace {

namespace fs = std::filesystem;
using test::put_part;
using test::transparent;

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const fs::path& p) {
    std::string s;
    read_whole_file(p.string(), s);
    return s;
}

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class Cli : public ::testing::Test {
  protected:
    fs::path dir;
    std::string metrics;

    void SetUp() override {
        dir = fs::path(std::getenv("GLYPHORA_HOME")) /
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir);
        fs::create_directories(dir);
        metrics = std::string(GLYPHORA_TEST_DATA) + "/test_metrics.txt";
        // An empty settings file of our own, so the user's settings never leak in.
        write_file_atomically((dir / "empty.ini").string(), "");
    }

    // Runs the tool with `input` on standard input and `env` ("NAME=value ...") set for it.
    CliResult run(const std::vector<std::string>& args, const std::string& input = {},
                  const std::string& env = {}) {
        std::string cmd = env + (env.empty() ? "" : " ") + quote(GLYPHORA_CLI);
        for (const auto& a : args) cmd += " " + quote(a);
        const fs::path in = dir / "stdin", out = dir / "stdout", err = dir / "stderr";
        write_file_atomically(in.string(), input);
        cmd += " >" + quote(out.string()) + " 2>" + quote(err.string()) + " <" + quote(in.string());
        CliResult r;
        const int raw = std::system(cmd.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = slurp(out);
        r.err = slurp(err);
        return r;
    }

    // render with the test widths and no size line unless asked for.
    CliResult render(std::vector<std::string> args) {
        std::vector<std::string> full = {
            "render", "--metrics",      metrics, "--settings", (dir / "empty.ini").string(),
            "--set",  "rendersetsize=0"};
        full.insert(full.end(), args.begin(), args.end());
        return run(full);
    }

    std::string path(const char* name) { return (dir / name).string(); }
};

// A collection with parts on pages 0 and 3.
std::unique_ptr<Documents> sample_docs() {
    auto docs = make_documents();
    transparent(put_part(docs->preview.pages[0], 0, 0, 0, "AB\r\nC", "part"));
    transparent(put_part(docs->preview.pages[3], 0, 16, 0, "A", "cat"));
    return docs;
}

const std::string kFull = "\x81\x40";  // the leading full-width space of every line

TEST_F(Cli, HelpVersionAndUsageErrors) {
    CliResult r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("render"), std::string::npos);
    r = run({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("glyphora-cli ", 0), 0u);
    r = run({"render", "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--metrics"), std::string::npos);

    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"frobnicate"},
             {"render"},
             {"render", "--page", "30", "x.aap"},
             {"render", "--bogus", "x.aap"},
             {"render", "-o"},
             {"convert", "only-one.aap"},
             {"convert", "a.aap", "b.doc"},
             {"info"},
             {"width"},
         }) {
        r = run(args);
        EXPECT_EQ(r.status, 1) << (args.empty() ? "" : args[0]);
        EXPECT_NE(r.err.find("glyphora-cli:"), std::string::npos);
        EXPECT_TRUE(r.out.empty());
    }
}

TEST_F(Cli, UnreadableInputsAndUnwritableOutputs) {
    EXPECT_EQ(render({path("missing.aap")}).status, 2);
    write_file_atomically(path("damaged.aap"), "not a glyphora file");
    CliResult r = render({path("damaged.aap")});
    EXPECT_EQ(r.status, 2);
    EXPECT_FALSE(r.err.empty());
    write_file_atomically(path("notes.txt"), "x");
    EXPECT_EQ(render({path("notes.txt")}).status, 2);
    EXPECT_EQ(run({"render", "--metrics", path("missing-metrics.txt"), path("x.aap")}).status, 2);

    auto docs = sample_docs();
    ASSERT_EQ(write_collection(path("c.aap"), docs->preview), FileStatus::ok);
    r = render({"-o", path("no/such/folder/out.txt"), path("c.aap")});
    EXPECT_EQ(r.status, 3);
    EXPECT_FALSE(r.err.empty());
    EXPECT_EQ(run({"convert", path("c.aap"), path("no/such/folder/c.aat")}).status, 3);
    // A bad setting is a usage error.
    EXPECT_EQ(render({"--set", "renderdotflag=2", path("c.aap")}).status, 1);
    EXPECT_EQ(render({"--set", "nosuchkey=1", path("c.aap")}).status, 1);
}

TEST_F(Cli, RendersAllPagesAndOnePageAsTheCommandsDo) {
    auto docs = sample_docs();
    ASSERT_EQ(write_collection(path("c.aap"), docs->preview), FileStatus::ok);
    CliResult r = render({path("c.aap")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string page0 = kFull + "AB\r\n" + kFull + "C\r\n";
    const std::string page3 = kFull + kFull + " A\r\n";
    EXPECT_EQ(r.out, "1/2\n" + page0 + std::string(1, '\0') + "2/2\n" + page3 + std::string(1, '\0'));

    r = render({"--page", "3", path("c.aap")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, page3 + std::string(1, '\0'));
    r = render({"--page", "5", path("c.aap")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");  // an empty page gives an empty file

    // With the size line, as the default settings have it.
    r = run({"render", "--metrics", metrics, "--settings", path("empty.ini"), "--page", "3", path("c.aap")});
    ASSERT_EQ(r.status, 0);
    // "　サイズ目安＝8": the eight bytes of the line before it
    EXPECT_EQ(r.out, page3 +
                         "\x81\x40\x83\x54\x83\x43\x83\x59\x96\xDA\x88\xC0\x81\x81"
                         "8\r\n" +
                         std::string(1, '\0'));
}

TEST_F(Cli, HtmlOutputByExtensionWithTheCollectionNameAndFace) {
    auto docs = sample_docs();
    transparent(put_part(docs->preview.pages[0], 1, 0, 18, ">>5 <b>", "part"));
    ASSERT_EQ(write_collection(path("c.aap"), docs->preview), FileStatus::ok);
    CliResult r = render({"--set", "fontface=Monapo", "-o", path("out.HTML"), path("c.aap")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string html = slurp(dir / "out.HTML");
    EXPECT_EQ(html.rfind("<!doctype html public", 0), 0u);
    EXPECT_NE(html.find("<title>" + path("c.aap") + " \x81\x7C Glyphora ver v1.4a</title>\n"),
              std::string::npos);
    EXPECT_NE(html.find("<font face=\"Monapo\" style=\"font-size:16;\">\n<hr>\n1/2<br>\n"),
              std::string::npos);
    EXPECT_NE(html.find("<a href=\"#top\">&gt;&gt;5</a> &lt;b&gt;<br>"), std::string::npos);
    EXPECT_EQ(html.substr(html.size() - 24), "</font>\n</body>\n</html>\n");

    r = render({"--html", "--page", "5", path("c.aap")});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("<hr>"), std::string::npos);
    EXPECT_NE(r.out.find("style=\"font-size:16;\">\n</font>\n"), std::string::npos);  // head and foot only
}

TEST_F(Cli, ReportAndUtf8) {
    auto docs = make_documents();
    // "A" at x 3: a 3-pixel run that cannot be written exactly.
    transparent(put_part(docs->preview.pages[0], 0, 3, 36, "A", "part"));
    ASSERT_EQ(write_collection(path("c.aap"), docs->preview), FileStatus::ok);
    CliResult r = render({"--report", path("c.aap")});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "3行目：パーツの合成中に小さすぎる空白があり、背景がずれたところがあります\n");
    r = render({"--report", "--set", "renderdotflag=1", "--utf8", path("c.aap")});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "レンダリングは無事終了しました\n");
    EXPECT_EQ(r.out, std::string("1/1\n　\r\n　\r\n　.A\r\n") + '\0');
}

TEST_F(Cli, ExactFillFromTheSettingsFileOrSet) {
    auto docs = make_documents();
    transparent(put_part(docs->preview.pages[0], 0, 0, 0, "AA", "part"));
    transparent(put_part(docs->preview.pages[0], 1, 26, 0, "B", "part"));  // a 10-pixel run
    ASSERT_EQ(write_collection(path("c.aap"), docs->preview), FileStatus::ok);
    const std::string classic = kFull + "AA&ensp;&thinsp;B\r\n" + '\0';
    const std::string exact = kFull + "AA &nbsp;B\r\n" + '\0';
    EXPECT_EQ(render({"--page", "0", path("c.aap")}).out, classic);
    EXPECT_EQ(render({"--page", "0", "--set", "renderexactfill=1", path("c.aap")}).out, exact);
    ASSERT_TRUE(write_file_atomically(path("exact.ini"), "[option]\r\nrenderexactfill=1\r\n").ok);
    CliResult r = run({"render", "--metrics", metrics, "--settings", path("exact.ini"), "--set",
                       "rendersetsize=0", "--page", "0", path("c.aap")});
    EXPECT_EQ(r.out, exact);
    EXPECT_EQ(render({"--set", "renderexactfill=2", path("c.aap")}).status, 1);
}

TEST_F(Cli, UnicodeFillFromTheSettingsFileOrSetWorksWithTheExactFill) {
    auto docs = make_documents();
    transparent(put_part(docs->preview.pages[0], 0, 0, 0, "AA", "part"));
    transparent(put_part(docs->preview.pages[0], 1, 17, 0, "B", "part"));  // a 1-pixel run
    ASSERT_EQ(write_collection(path("c.aap"), docs->preview), FileStatus::ok);
    ASSERT_TRUE(
        write_file_atomically(path("m.txt"), "line_height 18\ndefault 8\n0x20 5\n0x8140 11\nU+200A 1\n").ok);
    const auto with = [&](std::vector<std::string> args) {
        std::vector<std::string> full = {"render", "--metrics", path("m.txt"), "--set", "rendersetsize=0"};
        full.insert(full.end(), args.begin(), args.end());
        full.push_back("--page");
        full.push_back("0");
        full.push_back(path("c.aap"));
        return run(full);
    };
    const std::string unicode = kFull + "AA&#8202;B\r\n" + '\0';
    const std::string exact = with({"--settings", path("empty.ini"), "--set", "renderexactfill=1"}).out;
    EXPECT_NE(exact, unicode);
    EXPECT_EQ(
        with({"--settings", path("empty.ini"), "--set", "renderexactfill=1", "--set", "renderunicodefill=1"})
            .out,
        unicode);
    // Without the exact fill the flag changes nothing.
    EXPECT_EQ(with({"--settings", path("empty.ini"), "--set", "renderunicodefill=1"}).out,
              with({"--settings", path("empty.ini")}).out);
    ASSERT_TRUE(
        write_file_atomically(path("u.ini"), "[option]\r\nrenderexactfill=1\r\nrenderunicodefill=1\r\n").ok);
    EXPECT_EQ(with({"--settings", path("u.ini")}).out, unicode);
    EXPECT_EQ(with({"--settings", path("u.ini"), "--set", "renderunicodefill=0"}).out, exact);
    const CliResult bad = with({"--settings", path("u.ini"), "--set", "renderunicodefill=yes"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("renderunicodefill"), std::string::npos);
}

TEST_F(Cli, SinglePageAndLibraryInputs) {
    auto docs = sample_docs();
    ASSERT_EQ(write_single_page(path("p.aat"), docs->preview.pages[3]), FileStatus::ok);
    CliResult r = render({path("p.aat")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1/1\n" + kFull + kFull + " A\r\n" + std::string(1, '\0'));

    transparent(put_part(docs->library.pages[2], 0, 0, 0, "Z", "part"));
    set_string(docs->library.page_names[2], "faces");
    ASSERT_EQ(write_library(path("l.aal"), docs->library), FileStatus::ok);
    r = render({"--page", "2", path("l.aal")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kFull + "Z\r\n" + std::string(1, '\0'));
    // The HTML title names only a collection.
    r = render({"--html", path("l.aal")});
    EXPECT_NE(r.out.find("<title> \x81\x7C Glyphora"), std::string::npos);
}

// A version 1 collection written by hand: no border values, no settings section.
std::string version1_collection() {
    std::string b = std::string("Glyphora-DatL V001") + '\0';
    for (int i = 0; i < 30 * 50; ++i) {
        if (i == 0) {
            b += '\x01';                              // in use, not opaque
            b += '\0';                                // not a label
            b += std::string("\x08\x00\x00\x00", 4);  // x 8
            b += std::string("\x12\x00\x00\x00", 4);  // y 18
            b += std::string("old") + '\0' + "memo" + '\0' + "first" + '\0';
        } else {
            b += '\x04';
        }
    }
    return b + "Glyphora-Endmark" + '\0';
}

TEST_F(Cli, ConvertWritesVersion3) {
    ASSERT_TRUE(write_file_atomically(path("old.aap"), version1_collection()).ok);
    ASSERT_EQ(run({"convert", path("old.aap"), path("new.aap")}).status, 0);
    const std::string v3 = slurp(dir / "new.aap");
    EXPECT_EQ(v3.rfind(std::string("Glyphora-DatL V003") + '\0', 0), 0u);
    auto docs = make_documents();
    ASSERT_EQ(read_collection(path("new.aap"), docs->preview, default_global_render_settings()),
              FileStatus::ok);
    EXPECT_EQ(get_string(docs->preview.pages[0].slots[0].text), "old");
    EXPECT_EQ(docs->preview.pages[0].slots[0].y, 18);
    // Version 1 pages take the program's default global settings.
    EXPECT_TRUE(docs->preview.page_settings[7].rendersetsize);

    ASSERT_EQ(run({"convert", "--page", "0", path("old.aap"), path("one.aat")}).status, 0);
    EXPECT_EQ(slurp(dir / "one.aat"), serialize_single_page(docs->preview.pages[0]));

    // A library keeps its page names when it stays a library, and becomes pages 0-19 of a collection.
    auto lib = sample_docs();
    transparent(put_part(lib->library.pages[1], 0, 0, 0, "Z", "part"));
    set_string(lib->library.page_names[1], "eyes");
    ASSERT_EQ(write_library(path("l.aal"), lib->library), FileStatus::ok);
    ASSERT_EQ(run({"convert", path("l.aal"), path("copy.aal")}).status, 0);
    EXPECT_EQ(slurp(dir / "copy.aal"), slurp(dir / "l.aal"));
    ASSERT_EQ(run({"convert", path("l.aal"), path("fromlib.aap")}).status, 0);
    EXPECT_EQ(slurp(dir / "fromlib.aap"),
              serialize_collection_from_library(lib->library, default_global_render_settings()));
    ASSERT_EQ(run({"convert", path("old.aap"), path("tolib.aal")}).status, 0);
    EXPECT_EQ(slurp(dir / "tolib.aal"), serialize_library_from_preview(docs->preview));
}

TEST_F(Cli, InfoListsPagesAndRows) {
    ASSERT_TRUE(write_file_atomically(path("old.aap"), version1_collection()).ok);
    CliResult r = run({"info", path("old.aap")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "file: " + path("old.aap") +
                         "\nkind: page collection (.aap), version 1\npage 0\n   0   (  8, 18)first[memo]\n");
    auto docs = sample_docs();
    transparent(put_part(docs->library.pages[4], 7, 0, 0, "Z", "\x82\xA0"));  // "あ"
    set_string(docs->library.page_names[4], "\x8A\xE7");                      // "顔"
    ASSERT_EQ(write_library(path("l.aal"), docs->library), FileStatus::ok);
    r = run({"info", path("l.aal")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("kind: library (.aal), version 3\npage 4 [顔]\n   7   (  0,  0)あ\n"),
              std::string::npos)
        << r.out;
}

TEST_F(Cli, EveryKindAndVersionRendersAlike) {
    auto docs = sample_docs();
    docs->preview.pages[3].slots[0].border_left = 5;  // not stored before version 3; has no effect here
    copy_page(docs->library.pages[3], docs->preview.pages[3]);
    const std::string page3 = kFull + kFull + " A\r\n" + std::string(1, '\0');
    for (int version = 1; version <= 3; ++version) {
        const std::string v = std::to_string(version);
        ASSERT_TRUE(write_file_atomically(path(("c" + v + ".aap").c_str()),
                                          test::collection_bytes(docs->preview, version))
                        .ok);
        ASSERT_TRUE(write_file_atomically(path(("p" + v + ".aat").c_str()),
                                          test::single_page_bytes(docs->preview.pages[3], version))
                        .ok);
        ASSERT_TRUE(write_file_atomically(path(("l" + v + ".aal").c_str()),
                                          test::library_bytes(docs->library, version))
                        .ok);
        EXPECT_EQ(render({"--page", "3", path(("c" + v + ".aap").c_str())}).out, page3) << version;
        EXPECT_EQ(render({"--page", "0", path(("p" + v + ".aat").c_str())}).out, page3) << version;
        EXPECT_EQ(render({"--page", "3", path(("l" + v + ".aal").c_str())}).out, page3) << version;
        for (const char* kind : {"c", "p", "l"}) {
            const std::string file = std::string(kind) + v +
                                     (kind[0] == 'c'   ? ".aap"
                                      : kind[0] == 'p' ? ".aat"
                                                       : ".aal");
            const CliResult r = run({"info", path(file.c_str())});
            EXPECT_EQ(r.status, 0) << file;
            EXPECT_NE(r.out.find("version " + v + "\n"), std::string::npos) << r.out;
        }
    }
}

TEST_F(Cli, WidthOfTexts) {
    CliResult r = run({"width", "--metrics", metrics, "AB\u3000", " ."});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "line_height: 18\n27\t8 8 11\n8\t5 3\n");
    r = run({"width", "--metrics", metrics, "a€"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("U+20AC"), std::string::npos);
    // Several texts, and standard input line by line.
    r = run({"width", "--metrics", metrics, "A", "-", "B"}, "AA\r\n\n\u3000\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "line_height: 18\n8\t8\n16\t8 8\n0\t\n11\t11\n8\t8\n");
    // With the font: the classic widths.
    r = run({"width", "--settings", path("empty.ini"), " \u3000."});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "line_height: 18\n19\t5 11 3\n");
}

TEST_F(Cli, WidthOfReferences) {
    ASSERT_TRUE(
        write_file_atomically(path("m.txt"), "line_height 18\ndefault 8\n0x20 5\nU+2005 4\nU+2006 2.667\n")
            .ok);
    // One character each, with or without ";"; a fraction of a pixel shown after the rounded width.
    CliResult r =
        run({"width", "--metrics", path("m.txt"), "A&#x2005;B", "&#8197&#X2006;&#9825;", "&amp;&#;"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "line_height: 18\n20\t8 4 8\n15\t4 3(2.672) 8\n64\t8 8 8 8 8 8 8 8\n");
    // A character Shift_JIS lacks is refused, naming the reference that measures it.
    r = run({"width", "--metrics", path("m.txt"), "a\u2661"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(
        r.err.find(
            "U+2661) at character 2 cannot be written in Shift_JIS; measure it as the reference &#9825;"),
        std::string::npos)
        << r.err;
    // With the font, as Chromium shows Monapo at 16 px.
    r = run({"width", "--settings", path("empty.ini"), "&#x2005;", "&#x200A;&#x2006;"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "line_height: 18\n4\t4\n4\t1 3(2.672)\n");
}

TEST_F(Cli, Utf8ShowsReferencesAsTheirCharacters) {
    auto docs = make_documents();
    transparent(
        put_part(docs->preview.pages[0], 0, 0, 0, "A&#x2005;B&#9825\r\n&nbsp;&#27;[2J&#150;&#x1F600;", "p"));
    ASSERT_EQ(write_collection(path("c.aap"), docs->preview), FileStatus::ok);
    CliResult r = render({"--page", "0", "--utf8", path("c.aap")});
    ASSERT_EQ(r.status, 0) << r.err;
    // The characters themselves; a control's reference stays as written.
    EXPECT_NE(r.out.find("A\u2005B\u2661\r\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("&#27;[2J\u2013\U0001F600"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("&#x2005;"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x1B'), std::string::npos);
    // Without --utf8 the bytes stay as they were written.
    r = render({"--page", "0", path("c.aap")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("A&#x2005;B&#9825"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("&#27;[2J&#150;&#x1F600;"), std::string::npos) << r.out;

    // info: names, comments and page names with their references as written, or as characters.
    set_string(transparent(put_part(docs->library.pages[2], 5, 0, 0, "Z", "&#9825;cat&#27;&nbsp;")).comment,
               "&#x2005;x");
    set_string(docs->library.page_names[2], "&#x2661;s");
    ASSERT_EQ(write_library(path("l.aal"), docs->library), FileStatus::ok);
    r = run({"info", "--settings", path("empty.ini"), path("l.aal")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("page 2 [&#x2661;s]\n   5   (  0,  0)&#9825;cat&#27;&nbsp;[&#x2005;x]\n"),
              std::string::npos)
        << r.out;
    r = run({"info", "--utf8", "--settings", path("empty.ini"), path("l.aal")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("page 2 [\u2661s]\n   5   (  0,  0)\u2661cat&#27;&nbsp;[\u2005x]\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(run({"info", "--help"}).out.find("--utf8"), std::string::npos);
}

// What a script relies on: options that cannot both hold are refused (exit 1) instead of one silently
// winning, a page the input does not hold is refused instead of rendering empty, --utf8 applies to -o too,
// convert and info read the user's global flags, and reading settings creates no folder.
TEST_F(Cli, ConflictsAreRefusedAndEveryCommandTakesTheSettings) {
    auto docs = sample_docs();
    ASSERT_EQ(write_collection(path("c.aap"), docs->preview), FileStatus::ok);
    ASSERT_EQ(write_single_page(path("p.aat"), docs->preview.pages[0]), FileStatus::ok);
    ASSERT_EQ(write_library(path("l.aal"), docs->library), FileStatus::ok);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--page", "1", path("p.aat")},
             {"--page", "20", path("l.aal")},
             {"-o", path("out.txt"), "--html", path("c.aap")},
             {"--utf8", "-o", path("out.html"), path("c.aap")},
         }) {
        const CliResult r = render(args);
        EXPECT_EQ(r.status, 1) << args[0] << " " << args[1];
        EXPECT_NE(r.err.find("glyphora-cli:"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(dir / "out.txt"));
    EXPECT_EQ(run({"convert", "--page", "1", path("p.aat"), path("x.aat")}).status, 1);
    EXPECT_EQ(run({"convert", "--page", "3", path("c.aap"), path("x.aap")}).status, 1);
    EXPECT_EQ(run({"convert", "--metrics", metrics, path("c.aap"), path("x.aap")}).status, 1);
    EXPECT_EQ(run({"info", "--bogus", path("c.aap")}).status, 1);
    EXPECT_FALSE(fs::exists(dir / "x.aat"));
    EXPECT_FALSE(fs::exists(dir / "x.aap"));

    ASSERT_EQ(render({"-o", path("out.html"), "--html", path("c.aap")}).status, 0);
    EXPECT_NE(slurp(dir / "out.html").find("<HTML"), std::string::npos);
    ASSERT_EQ(render({"--utf8", "-o", path("out.txt"), path("c.aap")}).status, 0);
    EXPECT_EQ(slurp(dir / "out.txt"), render({"--utf8", path("c.aap")}).out);
    EXPECT_NE(slurp(dir / "out.txt").find("\u3000"), std::string::npos);

    // A version 1 collection takes its pages' settings from the global flags given.
    ASSERT_TRUE(write_file_atomically(path("old.aap"), version1_collection()).ok);
    ASSERT_TRUE(write_file_atomically(path("dots.ini"), "[option]\nrenderdotflag=1\nrendersetsize=0\n").ok);
    ASSERT_EQ(run({"convert", "--settings", path("dots.ini"), path("old.aap"), path("new.aap")}).status, 0);
    auto read = make_documents();
    ASSERT_EQ(read_collection(path("new.aap"), read->preview, default_global_render_settings()),
              FileStatus::ok);
    EXPECT_TRUE(read->preview.page_settings[0].renderdotflag);
    EXPECT_FALSE(read->preview.page_settings[0].rendersetsize);
    ASSERT_EQ(run({"convert", "--set", "renderdotflag=1", path("old.aap"), path("set.aap")}).status, 0);
    EXPECT_EQ(slurp(dir / "set.aap").size(), slurp(dir / "new.aap").size());
    EXPECT_EQ(run({"info", "--settings", path("dots.ini"), path("old.aap")}).status, 0);
    EXPECT_EQ(run({"info", "--settings", path("missing.ini"), path("old.aap")}).status, 2);

    // The user's own settings are read from a home that does not exist yet, and it is not created.
    const fs::path home = dir / "no-home-yet";
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"render", "--metrics", metrics, path("c.aap")},
             {"convert", path("c.aap"), path("y.aap")},
             {"info", path("c.aap")},
             {"width", "--metrics", metrics, "A"},
         })
        EXPECT_EQ(run(args, {}, "GLYPHORA_HOME=" + quote(home.string())).status, 0) << args[0];
    EXPECT_FALSE(fs::exists(home));
}

// Import and export: AA collection files into a library and back, all or nothing, with the exit codes a
// script relies on.
TEST_F(Cli, ImportAndExportAaFiles) {
    ASSERT_TRUE(write_file_atomically(path("a.mlt"), "AB\r\nC\r\n[SPLIT]\r\n\x82\xA0&#12354;\r\n").ok);
    ASSERT_TRUE(write_file_atomically(path("b.ast"),
                                      "[AA][eyes]\n\xC2\xA0"
                                      "A\n[AA][]\nB\n")
                    .ok);
    CliResult r = run({"import", path("a.mlt"), path("b.ast"), "-o", path("lib.aal"), "--metrics", metrics});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("page 0 [a 1]: " + path("a.mlt") + " AAs 1-2, " + path("b.ast") + " AAs 1-2\n"),
              std::string::npos)
        << r.out;
    auto docs = make_documents();
    ASSERT_EQ(read_library(path("lib.aal"), docs->library), FileStatus::ok);
    const Page& page = docs->library.pages[0];
    EXPECT_EQ(get_string(page.slots[0].text), "AB\r\nC");
    EXPECT_EQ(get_string(page.slots[1].text), "\x82\xA0\x82\xA0");
    EXPECT_EQ(get_string(page.slots[2].text), "&nbsp;A");
    EXPECT_EQ(get_string(page.slots[2].name), "eyes");
    EXPECT_EQ(get_string(page.slots[3].text), "B");
    EXPECT_FALSE(page.slots[4].in_use);

    // Adding to it never touches a page in use; --replace does, from --page on.
    ASSERT_EQ(run({"import", path("a.mlt"), "-o", path("lib.aal"), "--metrics", metrics}).status, 0);
    ASSERT_EQ(read_library(path("lib.aal"), docs->library), FileStatus::ok);
    EXPECT_TRUE(docs->library.pages[0].slots[3].in_use);
    EXPECT_EQ(get_string(docs->library.pages[1].slots[1].text), "\x82\xA0\x82\xA0");
    r = run(
        {"import", path("b.ast"), "-o", path("lib.aal"), "--metrics", metrics, "--page", "1", "--replace"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("(replaced)"), std::string::npos);
    ASSERT_EQ(read_library(path("lib.aal"), docs->library), FileStatus::ok);
    EXPECT_EQ(get_string(docs->library.pages[1].slots[0].name), "eyes");
    EXPECT_FALSE(docs->library.pages[1].slots[2].in_use);

    // The library's parts round-trip through both formats and both encodings.
    for (const char* out : {"parts.mlt", "parts.ast"}) {
        for (bool utf8 : {false, true}) {
            std::vector<std::string> args = {"export", path("lib.aal"), "-o", path(out)};
            if (utf8) args.push_back("--utf8");
            ASSERT_EQ(run(args).status, 0) << out;
            ASSERT_EQ(
                run({"import", path(out), "-o", path("again.aal"), "--metrics", metrics, "--replace"}).status,
                0);
            auto again = make_documents();
            ASSERT_EQ(read_library(path("again.aal"), again->library), FileStatus::ok);
            int slot = 0;
            for (const Page& p : docs->library.pages)
                for (const Part& part : p.slots)
                    if (part.in_use) {
                        const Part& back = again->library.pages[slot / 50].slots[slot % 50];
                        EXPECT_EQ(get_string(back.text), get_string(part.text)) << out << " " << slot;
                        ++slot;
                    }
            EXPECT_GT(slot, 4);
        }
    }

    // A collection exports its rendered pages, as render renders them.
    auto pages = sample_docs();
    ASSERT_EQ(write_collection(path("c.aap"), pages->preview), FileStatus::ok);
    ASSERT_EQ(run({"export", path("c.aap"), "-o", path("pages.ast"), "--metrics", metrics, "--settings",
                   path("empty.ini"), "--set", "rendersetsize=0"})
                  .status,
              0);
    std::string rendered = render({"--page", "3", path("c.aap")}).out;
    rendered.resize(rendered.size() - 3);  // its final line end and NUL
    EXPECT_NE(slurp(dir / "pages.ast").find("[AA][page 4]\r\n" + rendered + "\r\n"), std::string::npos)
        << slurp(dir / "pages.ast");

    // Refusals and failures leave everything as it was.
    const std::string before = slurp(dir / "lib.aal");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"import", path("a.mlt")},
             {"import", path("a.mlt"), "-o", path("lib.aap")},
             {"import", path("a.doc"), "-o", path("lib.aal")},
             {"import", path("a.mlt"), "-o", path("lib.aal"), "--page", "20"},
             {"export", path("lib.aal"), "-o", path("x.txt")},
             {"export", path("lib.aal")},
         })
        EXPECT_EQ(run(args).status, 1) << args[1];
    EXPECT_EQ(run({"import", path("a.mlt"), path("missing.mlt"), "-o", path("lib.aal")}).status, 2);
    ASSERT_TRUE(write_file_atomically(path("utf16.txt"), std::string("\xFF\xFE"
                                                                     "A\0",
                                                                     4))
                    .ok);
    EXPECT_EQ(run({"import", path("utf16.txt"), "-o", path("lib.aal"), "--metrics", metrics}).status, 2);
    ASSERT_TRUE(write_file_atomically(path("damaged.aal"), "not a library").ok);
    EXPECT_EQ(run({"import", path("a.mlt"), "-o", path("damaged.aal"), "--metrics", metrics}).status, 2);
    EXPECT_EQ(slurp(dir / "damaged.aal"), "not a library");
    EXPECT_EQ(run({"import", path("a.mlt"), "-o", path("no/such/lib.aal"), "--metrics", metrics}).status, 3);
    EXPECT_EQ(run({"export", path("damaged.aal"), "-o", path("x.mlt")}).status, 2);
    EXPECT_EQ(run({"export", path("lib.aal"), "-o", path("no/such/x.mlt")}).status, 3);
    EXPECT_EQ(slurp(dir / "lib.aal"), before);
    EXPECT_FALSE(fs::exists(dir / "x.mlt"));
}

// The limits of an import: a file too large to read, a library that runs full, memory that runs out; and an
// export that had to leave a blank run out says so.
TEST_F(Cli, ImportLimitsAndLossyExport) {
    std::ofstream(path("big.mlt")).close();
    fs::resize_file(dir / "big.mlt", std::uintmax_t{300} << 20);  // sparse: never read
    CliResult r = run({"import", path("big.mlt"), "-o", path("lib.aal"), "--metrics", metrics});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "glyphora-cli: " + path("big.mlt") +
                         ": the file has 300 MB; an AA file may have at most 256 MB\n");
    EXPECT_FALSE(fs::exists(dir / "lib.aal"));

    // Pages 0-18 in use: page 19 takes 50 AAs, the other 10 and the whole second file are named.
    auto docs = make_documents();
    for (int page = 0; page < 19; ++page) put_part(docs->library.pages[page], 0, 0, 0, "used");
    ASSERT_EQ(write_library(path("lib.aal"), docs->library), FileStatus::ok);
    std::string mlt;
    for (int i = 0; i < 60; ++i) mlt += "A\r\n[SPLIT]\r\n";
    ASSERT_TRUE(write_file_atomically(path("a.mlt"), mlt).ok);
    ASSERT_TRUE(write_file_atomically(path("b.txt"), "B").ok);
    r = run({"import", path("a.mlt"), path("b.txt"), "-o", path("lib.aal"), "--metrics", metrics});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("50 AAs imported"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "glyphora-cli: " + path("a.mlt") +
                         " AAs 51-60 (10) did not fit into the library's free pages\n" + "glyphora-cli: " +
                         path("b.txt") + " AA 1 (1) did not fit into the library's free pages\n");
    ASSERT_EQ(read_library(path("lib.aal"), docs->library), FileStatus::ok);
    EXPECT_TRUE(docs->library.pages[19].slots[49].in_use);

#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer needs more address space than the memory test leaves";
#endif
    // Out of memory while reading: a clear error, the library untouched.
    const std::string library_before = slurp(dir / "lib.aal");
    fs::resize_file(dir / "big.mlt", std::uintmax_t{250} << 20);
    r = run({"import", path("big.mlt"), "-o", path("lib.aal"), "--metrics", metrics}, {},
            "ulimit -v 200000;");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err,
              "glyphora-cli: not enough memory to import the files; " + path("lib.aal") + " is unchanged\n");
    EXPECT_EQ(slurp(dir / "lib.aal"), library_before);
    fs::remove(dir / "big.mlt");
}

TEST_F(Cli, ExportNamesPagesThatLostABlankRun) {
    auto docs = make_documents();
    transparent(put_part(docs->preview.pages[0], 0, 0, 0, "A"));
    transparent(put_part(docs->preview.pages[3], 0, 0, 0, "A"));
    transparent(put_part(docs->preview.pages[3], 1, 10'000, 0, "B"));  // far more than 300 spaces away
    ASSERT_EQ(write_collection(path("c.aap"), docs->preview), FileStatus::ok);
    const CliResult r = run({"export", path("c.aap"), "-o", path("pages.mlt"), "--metrics", metrics,
                             "--settings", path("empty.ini"), "--set", "rendersetsize=0"});
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(r.err,
              "glyphora-cli: page 3 (the AA \"page 4\"): a blank run needed more than 300 space characters "
              "and is missing\n");
    EXPECT_EQ(slurp(dir / "pages.mlt"),
              kFull + "A\r\n[SPLIT]\r\n" + kFull + "AB\r\n");  // written all the same
    EXPECT_NE(run({"export", "--help"}).out.find("exit status is 4"), std::string::npos);
}

// Page 0: five lines with a blank one in the middle, 44 bytes as a board counts them (each line 3 bytes, the
// blank 2, five line breaks 6 each); page 1: a part whose text starts with a half-width space.
std::unique_ptr<Documents> posting_docs() {
    auto docs = make_documents();
    transparent(put_part(docs->preview.pages[0], 0, 0, 0, "A\r\nB\r\n\r\nC\r\nD", "five"));
    put_part(docs->preview.pages[1], 0, 0, 0, " X", "spaced");
    return docs;
}

TEST_F(Cli, CheckCountsEachPageForTheBoard) {
    ASSERT_EQ(write_collection(path("c.aap"), posting_docs()->preview), FileStatus::ok);
    write_file_atomically(path("SETTING.TXT"),
                          "BBS_TITLE=small\r\nBBS_MESSAGE_COUNT=25\r\nBBS_LINE_NUMBER=5\r\n");
    const std::vector<std::string> base = {"check",           "--metrics", metrics,          "--settings",
                                           path("empty.ini"), "--set",     "rendersetsize=0"};
    const auto check = [&](std::vector<std::string> args, const std::string& env = {}) {
        std::vector<std::string> full = base;
        full.insert(full.end(), args.begin(), args.end());
        return run(full, {}, env);
    };
    // The built-in board takes everything; the part's leading space is only a warning.
    CliResult r = check({path("c.aap")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), "page 0 post 1: 44/4096 bytes, 5/60 lines\n");
    EXPECT_NE(r.out.find("page 1 line 1: warning: part 1 (spaced)"), std::string::npos) << r.out;

    // Over a small board's budget: one post over its limits, found at the line that passes it.
    r = check({"--setting-txt", path("SETTING.TXT"), "--page", "0", path("c.aap")});
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(
        r.out,
        "page 0 post 1: 44/25 bytes, 5/10 lines\npage 0 line 4: error: the post passes its budget of 25 "
        "bytes here\n");
    // Split at the blank line, every post fits.
    r = check({"--setting-txt", path("SETTING.TXT"), "--page", "0", "--posts", path("c.aap")});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "page 0 post 1: 20/25 bytes, 3/10 lines\npage 0 post 2: 18/25 bytes, 2/10 lines\n");

    // A profile of the settings folder, by name or as the current one.
    const std::string home = "GLYPHORA_HOME=" + quote(dir.string());
    write_file_atomically(path("boards.txt"), "[small]\nbytes=25\nlines=10\n");
    EXPECT_EQ(check({"--board", "small", "--page", "0", path("c.aap")}, home).status, 4);
    EXPECT_EQ(check({"--board", "nosuch", path("c.aap")}, home).status, 1);
    write_file_atomically(path("current.ini"), "[option]\nboardprofile=small\n");
    r = run({"check", "--metrics", metrics, "--settings", path("current.ini"), "--set", "rendersetsize=0",
             "--page", "0", path("c.aap")},
            {}, home);
    EXPECT_EQ(r.status, 4) << r.out;

    // What cannot be read is an input error; conflicting options a usage error.
    write_file_atomically(path("junk.txt"), std::string("\x89PNG\r\n\x1a\n\0\0", 10));
    r = check({"--setting-txt", path("junk.txt"), path("c.aap")});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("junk.txt"), std::string::npos);
    EXPECT_EQ(check({"--setting-txt", path("SETTING.TXT"), "--board", "small", path("c.aap")}).status, 1);
    EXPECT_EQ(check({"--page", "3", path("missing.aat")}).status, 1);
}

TEST_F(Cli, RenderWritesPostsAndAPicture) {
    ASSERT_EQ(write_collection(path("c.aap"), posting_docs()->preview), FileStatus::ok);
    write_file_atomically(path("SETTING.TXT"), "BBS_MESSAGE_COUNT=25\r\nBBS_LINE_NUMBER=5\r\n");
    CliResult r = render({"--posts", "--setting-txt", path("SETTING.TXT"), "--page", "0", path("c.aap")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              kFull + "A\r\n" + kFull + "B\r\n" + kFull + "\r\n----\r\n" + kFull + "C\r\n" + kFull + "D\r\n");
    fs::create_directories(dir / "posts");
    r = render({"--posts", "--setting-txt", path("SETTING.TXT"), "-o", path("posts/"), path("c.aap")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(dir / "posts" / "page-0-post-1.txt"), kFull + "A\r\n" + kFull + "B\r\n" + kFull + "\r\n");
    EXPECT_EQ(slurp(dir / "posts" / "page-0-post-2.txt"), kFull + "C\r\n" + kFull + "D\r\n");
    EXPECT_TRUE(fs::exists(dir / "posts" / "page-1-post-1.txt"));

    // The picture: 8 px margins around five lines 18 px apart, twice as large at 2x.
    const auto png_size = [](const std::string& png) {
        const auto be32 = [&](std::size_t at) {
            uint32_t v = 0;
            for (std::size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(png[at + i]);
            return v;
        };
        return png.size() < 24 ? std::make_pair(0u, 0u) : std::make_pair(be32(16), be32(20));
    };
    ASSERT_EQ(render({"--png", path("p1.png"), "--page", "0", path("c.aap")}).status, 0);
    ASSERT_EQ(render({"--png", path("p2.png"), "--scale", "2", "--page", "0", path("c.aap")}).status, 0);
    const auto one = png_size(slurp(dir / "p1.png")), two = png_size(slurp(dir / "p2.png"));
    EXPECT_EQ(one.second, 8u + 5 * 18 + 8);
    EXPECT_GT(one.first, 16u);
    EXPECT_EQ(two.first, 2 * one.first);
    EXPECT_EQ(two.second, 2 * one.second);

    EXPECT_EQ(render({"--png", path("p.png"), path("c.aap")}).status, 1);  // two pages: which one?
    EXPECT_EQ(render({"--png", path("p.png"), "--scale", "3", "--page", "0", path("c.aap")}).status, 1);
    EXPECT_EQ(render({"--posts", "--png", path("p.png"), path("c.aap")}).status, 1);
    EXPECT_EQ(render({"--posts", "--html", path("c.aap")}).status, 1);
    EXPECT_EQ(render({"--board", "x", path("c.aap")}).status, 1);
    EXPECT_EQ(render({"--posts", "-o", path("not-a-folder.txt"), path("c.aap")}).status, 1);
}

TEST_F(Cli, CollectionIndexSearchAndShow) {
    const std::string db = path("cache/index.sqlite");
    fs::create_directories(dir / "col/sub");
    // "【笑顔】", then an AA with "お腹" in Shift_JIS; a UTF-8 file; a ZIP with one member.
    ASSERT_TRUE(write_file_atomically(path("col/sub/a.mlt"),
                                      "\x81\x79\x8F\xCE\x8A\xE7\x81\x7A\r\n[SPLIT]\r\n(\x82\xA8\x95\xA0)\r\n")
                    .ok);
    ASSERT_TRUE(write_file_atomically(path("col/b.txt"), "hello \xE2\x99\xA1\n").ok);
    const std::string zip = path("col/z.zip");
    ASSERT_EQ(
        std::system(
            ("python3 -c 'import zipfile,sys; zipfile.ZipFile(sys.argv[1], \"w\").writestr(\"in/c.mlt\", "
             "\"zipped hello\")' " +
             quote(zip))
                .c_str()),
        0);
    CliResult r = run({"collection", "index", "--database", db, "--metrics", metrics, path("col")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "3 files read, 0 unchanged, 0 removed, 0 cannot be read\n");
    r = run({"collection", "index", "--database", db, "--metrics", metrics, path("col")});
    EXPECT_EQ(r.out, "0 files read, 3 unchanged, 0 removed, 0 cannot be read\n");

    r = run({"collection", "search", "--database", db, "\xEF\xBD\x88\xEF\xBD\x85LLO"});  // full-width "he"
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, path("col/b.txt") + ":1\t\n" + zip + "!in/c.mlt:1\t\n");
    r = run({"collection", "search", "--database", db, "--limit", "1", "\xE3\x81\x8A\xE8\x85\xB9"});  // お腹
    EXPECT_EQ(r.out, path("col/sub/a.mlt") + ":2\t\xE3\x80\x90\xE7\xAC\x91\xE9\xA1\x94\xE3\x80\x91\n");
    EXPECT_EQ(run({"collection", "search", "--database", db, "nothing"}).out, "");

    // show takes what search prints, a ZIP member included.
    r = run({"collection", "show", "--database", db, path("col/sub/a.mlt") + ":2"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "(\x82\xA8\x95\xA0)\r\n");
    r = run({"collection", "show", "--database", db, "--utf8", path("col/b.txt") + ":1"});
    EXPECT_EQ(r.out, "hello \xE2\x99\xA1\r\n");
    EXPECT_EQ(run({"collection", "show", "--database", db, zip + "!in/c.mlt:1"}).out, "zipped hello\r\n");

    // Exit statuses: not found, not readable, usage, an index that cannot be written.
    r = run({"collection", "show", "--database", db, path("col/b.txt") + ":2"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "glyphora-cli: " + path("col/b.txt") + ":2: no such AA in the collection index\n");
    ASSERT_TRUE(write_file_atomically(path("col/b.txt"), "changed").ok);
    EXPECT_EQ(run({"collection", "show", "--database", db, path("col/b.txt") + ":1"}).status, 2);
    r = run({"collection", "index", "--database", db, "--metrics", metrics, path("missing")});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "glyphora-cli: " + path("missing") + ": No such file or directory\n");
    EXPECT_EQ(run({"collection", "search", "--database", db}).status, 1);
    EXPECT_EQ(run({"collection", "search", "--database", db, "--limit", "x", "a"}).status, 1);
    EXPECT_EQ(run({"collection", "show", "--database", db, "--limit", "1", "a:1"}).status, 1);
    EXPECT_EQ(run({"collection", "list"}).status, 1);
    r = run({"collection", "search", "--database", path("col/b.txt") + "/index.sqlite", "a"});
    EXPECT_EQ(r.status, 3);
}

}  // namespace
}  // namespace glyphora
