#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "model/test_support.h"
#include "posting/post_count.h"

namespace glyphora::posting {
namespace {

const std::string kFull = "\x81\x40";  // full-width space, which starts every rendered line
const std::string kA = "\x82\xA0";     // あ
const std::string kKana = "\xB1";      // half-width ｱ

struct Token {
    std::string text;
    int sjis_bytes;  // as a Shift_JIS board counts it with the usual rules
    int utf8_bytes;
    bool reference;
};

// The pieces of a random page, each with its cost worked out by hand.
const std::vector<Token>& tokens() {
    static const std::vector<Token> t = {
        {"A", 1, 1, false},      {"\"", 6, 6, false},     {"<", 4, 4, false},       {">", 4, 4, false},
        {"& ", 6, 6, false},     {"&#9825;", 7, 7, true}, {"&#x2005;", 8, 8, true}, {"&#12354", 7, 7, true},
        {"&nbsp;", 6, 6, false}, {kA, 2, 3, false},       {kKana, 1, 3, false},     {kFull, 2, 3, false},
        {".", 1, 1, false},
    };
    return t;
}

struct RandomPage {
    std::string text;
    int sjis_bytes = 0, utf8_bytes = 0, lines = 0, references = 0;
};

RandomPage random_page(std::mt19937& rng, int max_lines, int blank_percent = 0) {
    RandomPage page;
    std::uniform_int_distribution<int> line_count(1, max_lines), length(1, 12), pick(0, 99);
    std::uniform_int_distribution<std::size_t> token(0, tokens().size() - 1);
    page.lines = line_count(rng);
    for (int l = 0; l < page.lines; ++l) {
        if (l > 0) {
            page.text += "\r\n";
            page.sjis_bytes += 6;
            page.utf8_bytes += 6;
        }
        if (pick(rng) < blank_percent) {
            page.text += kFull;
            page.sjis_bytes += 2;
            page.utf8_bytes += 3;
            continue;
        }
        for (int n = length(rng); n > 0; --n) {
            const Token& t = tokens()[token(rng)];
            page.text += t.text;
            page.sjis_bytes += t.sjis_bytes;
            page.utf8_bytes += t.utf8_bytes;
            page.references += t.reference ? 1 : 0;
        }
    }
    if (pick(rng) < 50) {  // a rendered page ends with its line break
        page.text += "\r\n";
        page.sjis_bytes += 6;
        page.utf8_bytes += 6;
    }
    return page;
}

TEST(ByteCount, AgreesWithACountByTheRulesOnRandomPages) {
    std::mt19937 rng(26);
    BoardProfile sjis = builtin_profile();
    BoardProfile utf8 = sjis;
    utf8.encoding = BoardProfile::utf8;
    for (int i = 0; i < 500; ++i) {
        const RandomPage page = random_page(rng, 40);
        const PostCount c = count_post(page.text, sjis);
        ASSERT_EQ(c.bytes, page.sjis_bytes) << page.text;
        ASSERT_EQ(c.lines, page.lines) << page.text;
        ASSERT_EQ(c.references, page.references) << page.text;
        ASSERT_EQ(count_post(page.text, utf8).bytes, page.utf8_bytes) << page.text;
    }
}

TEST(ByteCount, FollowsTheProfileRulesAndLimits) {
    BoardProfile p = builtin_profile();
    p.rules = {1, 2, 3, 4, 7};
    p.bytes_per_post = 27;
    p.lines_per_post = 2;
    // break 1, '"' 2, '<' 3, '>' 4, bare '&' 7, "&#9825;" 7, あ 2
    PostCount c = count_post("\"<>& \r\n&#9825;" + kA, p);
    EXPECT_EQ(c.bytes, 2 + 3 + 4 + 7 + 1 + 1 + 7 + 2);
    EXPECT_EQ(c.lines, 2);
    EXPECT_FALSE(c.over());
    c = count_post("\"<>& \r\n&#9825;" + kA + "A", p);
    EXPECT_TRUE(c.over_bytes);
    EXPECT_FALSE(c.over_lines);
    c = count_post("A\r\nB\r\nC\r\n", p);
    EXPECT_TRUE(c.over_lines);
    EXPECT_EQ(format_count(count_post(std::string(1834, 'A'), builtin_profile()), builtin_profile()),
              "1,834 / 4,096 バイト · 1 / 60 行");
}

bool blank(std::string_view line) {
    return line == kFull;
}

TEST(Split, PostsFitJoinToThePageAndBreakAtBlankLines) {
    std::mt19937 rng(7);
    BoardProfile p = builtin_profile();
    p.bytes_per_post = 300;
    p.lines_per_post = 8;
    int broke_at_blank = 0;
    for (int i = 0; i < 400; ++i) {
        const RandomPage page = random_page(rng, 60, 15);
        const std::vector<Post> posts = split_posts(page.text, p);
        ASSERT_FALSE(posts.empty());
        std::string joined;
        for (std::size_t k = 0; k < posts.size(); ++k) {
            const Post& post = posts[k];
            joined += (k ? "\r\n" : "") + std::string(post.text);
            const std::vector<std::string_view> lines = split_lines(post.text);
            EXPECT_EQ(post.count.bytes, count_post(post.text, p).bytes);
            // Over budget only as a single line that alone is too long.
            if (post.count.over()) {
                EXPECT_EQ(lines.size(), 1u) << post.text;
            }
            if (k + 1 == posts.size()) continue;
            bool holds_blank = false;
            for (std::size_t l = 1; l < lines.size(); ++l) holds_blank = holds_blank || blank(lines[l]);
            if (holds_blank) {
                EXPECT_TRUE(blank(lines.back()))
                    << "post " << k << " holds a blank line but breaks elsewhere";
                ++broke_at_blank;
            } else {
                // Without a blank line the post takes every line that fits.
                // The next line, with the page's final line break when it ends the page.
                const std::vector<std::string_view> after = split_lines(posts[k + 1].text);
                const std::string_view next = after.size() == 1 ? posts[k + 1].text : after.front();
                EXPECT_TRUE(count_post(std::string(post.text) + "\r\n" + std::string(next), p).over())
                    << "post " << k << " stops early";
            }
        }
        ASSERT_EQ(joined, page.text);
    }
    EXPECT_GT(broke_at_blank, 50);
}

TEST(Split, ALineOverBudgetIsAPostOfItsOwn) {
    BoardProfile p = builtin_profile();
    p.bytes_per_post = 20;
    const std::string page = "AB\r\n" + std::string(30, 'C') + "\r\nDE\r\nFG\r\n";
    const std::vector<Post> posts = split_posts(page, p);
    ASSERT_EQ(posts.size(), 3u);
    EXPECT_EQ(posts[0].text, "AB");
    EXPECT_TRUE(posts[1].count.over_bytes);
    EXPECT_EQ(posts[1].first_line, 2);
    EXPECT_EQ(posts[2].text, "DE\r\nFG\r\n");
}

TEST(Check, FindsEachProblemAtItsLine) {
    BoardProfile p = builtin_profile();
    p.references_pass = false;
    p.bytes_per_post = 60;
    p.lines_per_post = 6;
    const std::string page = kFull + "A\r\n"                          // 1
                             + " B\r\n"                               // 2 leading space
                             + kFull + "C  D\r\n"                     // 3 two spaces
                             + kFull + "&#9825;\r\n"                  // 4 garbled reference
                             + kFull + "\x85\x40\r\n"                 // 5 no character of code page 932
                             + kFull + std::string(30, 'E') + "\r\n"  // 6 passes 60 bytes
                             + kFull + "F\r\n";                       // 7 passes 6 lines
    std::vector<std::pair<int, FindingKind>> got;
    for (const Finding& f : check_page(page, p)) got.emplace_back(f.line, f.kind);
    const std::vector<std::pair<int, FindingKind>> want = {
        {2, FindingKind::leading_space}, {3, FindingKind::double_space}, {4, FindingKind::garbled_reference},
        {5, FindingKind::unencodable},   {6, FindingKind::over_bytes},   {7, FindingKind::over_lines}};
    EXPECT_EQ(got, want);
    p.references_pass = true;
    for (const Finding& f : check_page(page, p)) EXPECT_NE(f.kind, FindingKind::garbled_reference);
}

TEST(Check, NamesThePartWhoseTextHoldsTheSpaces) {
    auto page = std::make_unique<Page>();
    test::put_part(*page, 0, 0, 0, "AB\r\nCD", "clean");
    test::put_part(*page, 3, 40, 36, "&space= \r\nX\r\n Y\r\nZ  W", "spaced");
    PageSource source;
    source.page = page.get();
    source.line_height = 18;
    std::string text;
    for (int i = 0; i < 6; ++i) text += kFull + "A\r\n";
    std::vector<Finding> found = check_page(text, builtin_profile(), &source);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].kind, FindingKind::leading_space);
    EXPECT_EQ(found[0].line, 4);  // y 36 is line 3; its second line
    EXPECT_EQ(found[0].slot, 3);
    EXPECT_EQ(found[0].part_name, "spaced");
    EXPECT_TRUE(found[0].fixable);
    EXPECT_EQ(found[1].kind, FindingKind::double_space);
    EXPECT_EQ(found[1].line, 5);
    // Without entities or dots there is nothing mechanical to offer.
    source.settings.rendernotsp = true;
    EXPECT_FALSE(check_page(text, builtin_profile(), &source)[0].fixable);
}

TEST(Check, FixesSpacesAsTheRenderFlagsWouldWriteThem) {
    RenderSettings s;
    EXPECT_EQ(fix_part_text(" A\r\nB  C\r\n   D", s), "&nbsp;A\r\nB &nbsp;C\r\n&nbsp; &nbsp;D");
    // The declarations are left alone; a lone space inside a line is fine.
    EXPECT_EQ(fix_part_text("&space= \r\n X", s), "&space= \r\n&nbsp;X");
    EXPECT_EQ(fix_part_text("A B", s), std::nullopt);
    s.rendernotsp = true;
    s.renderdotflag = true;
    EXPECT_EQ(fix_part_text(" A", s), ".A");
    s.renderdotflag = false;
    EXPECT_EQ(fix_part_text(" A", s), std::nullopt);
}

TEST(Clipboard, PostsAreCopiedWithTheirReferences) {
    EXPECT_EQ(post_clipboard_text(kA + "&#9825;\r\n", builtin_profile()), "あ&#9825;\r\n");
    EXPECT_EQ(post_clipboard_text("\x85\x40", builtin_profile()), std::nullopt);
}

}  // namespace
}  // namespace glyphora::posting
