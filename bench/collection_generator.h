#pragma once
// A synthetic AA collection shaped like the one AA artists share: folders per character, MLT files per
// mood, headings every ten AAs or so, speech bubbles with words in about half the AAs, a tenth of the files
// in UTF-8, characters written as references, and about one AA in eighty a copy of another.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "system/encoding.h"

namespace glyphora::bench {

struct CollectionShape {
    int files = 150;
    long aas = 150 * 83;  // about 83 per file, as in the real collection
    unsigned seed = 25;
};

struct GeneratedCollection {
    long files = 0, aas = 0, headings = 0, duplicates = 0;
    std::uint64_t bytes = 0;
};

namespace detail {

inline const std::vector<std::string>& names() {
    static const std::vector<std::string> v = {
        "やる夫",   "やらない夫", "できる夫", "ギコ",   "モナー",   "しぃ",     "翠星石",   "蒼星石",
        "水銀燈",   "真紅",       "ハルヒ",   "キョン", "長門",     "みくる",   "古泉",     "ドクオ",
        "ブーン",   "ツン",       "ショボン", "クー",   "ハム太郎", "麻呂",     "阿部さん", "貞子",
        "ひろゆき", "初音ミク",   "霊夢",     "魔理沙", "咲夜",     "レミリア", "フラン",   "チルノ",
        "アリス",   "パチュリー", "妖夢",     "幽々子", "紫",       "藍",       "橙",       "文"};
    return v;
}

inline const std::vector<std::string>& moods() {
    static const std::vector<std::string> v = {"笑顔", "怒り", "泣き", "驚き", "照れ",   "困惑",    "決め顔",
                                               "全身", "小物", "背景", "食事", "戦闘",   "日常",    "絶望",
                                               "喜び", "寝顔", "走る", "座る", "指差し", "振り向き"};
    return v;
}

// Words of the bubbles: a few real ones and many made of kana and kanji, as a large vocabulary.
inline std::vector<std::string> vocabulary(std::mt19937& rng) {
    std::vector<std::string> v = {"お腹",       "すいた",   "大丈夫",       "ありがとう",   "だお",
                                  "やらないか", "ゆっくり", "していってね", "何",           "これ",
                                  "本当",       "無理",     "最高",         "働いたら負け", "おっおっ",
                                  "うはｗｗｗ", "ＯＫ",     "hello",        "Yes",          "ｷﾀ━"};
    const std::vector<std::string> kana = {
        "あ", "い", "う", "え", "お", "か", "き", "く", "け", "こ", "さ", "し", "す", "せ", "そ",
        "た", "ち", "つ", "て", "と", "な", "に", "ぬ", "ね", "の", "は", "ひ", "ふ", "ま", "み",
        "む", "め", "も", "や", "ゆ", "よ", "ら", "り", "る", "れ", "ろ", "わ", "を", "ん", "カ",
        "キ", "ク", "サ", "シ", "ス", "タ", "チ", "ト", "ナ", "マ", "ラ", "リ", "ル", "ー"};
    const std::vector<std::string> kanji = {"日", "月", "火", "水", "木", "金", "土", "山", "川", "田", "人",
                                            "口", "手", "目", "耳", "心", "力", "気", "雨", "花", "空", "海",
                                            "春", "夏", "秋", "冬", "朝", "夜", "友", "家", "道", "話", "食",
                                            "飲", "見", "聞", "言", "書", "読", "走", "帰", "来", "行", "思",
                                            "知", "今", "明", "暗", "新", "古", "大", "小", "高", "安", "長"};
    for (int i = 0; i < 4000; ++i) {
        std::string w;
        const int n = 2 + static_cast<int>(rng() % 3);
        for (int k = 0; k < n; ++k)
            w += rng() % 3 == 0 ? kanji[rng() % kanji.size()] : kana[rng() % kana.size()];
        v.push_back(w);
    }
    return v;
}

// Lines of line art: full-width spaces and drawing characters, some half-width kana.
inline std::vector<std::string> art_lines(std::mt19937& rng, int count) {
    const std::vector<std::string> pieces = {
        "　", "　", "　", "　", " ",  "＿", "／", "＼", "｜", "|",  "ヽ", "从", "ﾉ", "丶",
        "´",  "｀", "・", "ω",  "∀",  "⌒",  "(",  ")",  "（", "）", ":",  "::", ".", "-",
        "ー", "‐",  "ｨ",  "ｿ",  "ﾍ",  "ﾄ",  "ｲ",  "ﾊ",  "ﾘ",  "Ｖ", "l",  "i",  "!", "'",
        ",",  "､",  "＞", "＜", "彡", "ミ", "〃", "∧",  "∨",  "○",  "●",  "━",  "┃", "三"};
    std::vector<std::string> lines;
    for (int i = 0; i < count; ++i) {
        std::string line;
        const int n = 18 + static_cast<int>(rng() % 30);
        for (int k = 0; k < n; ++k) line += pieces[rng() % pieces.size()];
        lines.push_back(line);
    }
    return lines;
}

}  // namespace detail

// Writes the collection into folder (made if needed; files already there are replaced).
inline GeneratedCollection generate_collection(const std::filesystem::path& folder,
                                               const CollectionShape& shape) {
    namespace fs = std::filesystem;
    std::mt19937 rng(shape.seed);
    const std::vector<std::string> words = detail::vocabulary(rng);
    const std::vector<std::string> art = detail::art_lines(rng, 20000);
    // Each piece once in either encoding, so that writing is copying.
    auto both = [](const std::vector<std::string>& utf8) {
        std::vector<std::pair<std::string, std::string>> out;
        for (const std::string& s : utf8) {
            const Conversion c = utf8_to_sjis(s);
            out.push_back({c.ok ? c.text : std::string("?"), s});
        }
        return out;
    };
    const auto art2 = both(art), words2 = both(words), names2 = both(detail::names()),
               moods2 = both(detail::moods());
    const auto open2 = both({"（　", "【", "・", "】", "　）", "　", "■"});
    enum { kOpen, kHeadOpen, kDot, kHeadClose, kClose, kSpace, kMark };

    GeneratedCollection made;
    std::vector<std::string> recent;                   // AAs (as Shift_JIS-or-UTF-8 neutral text) to copy
    std::vector<std::pair<std::string, bool>> copies;  // AA bytes and whether they were UTF-8
    const long per_file = std::max<long>(1, shape.aas / std::max(1, shape.files));
    long aas_left = shape.aas;
    for (int f = 0; f < shape.files; ++f) {
        const bool utf8 = f % 10 == 3;
        const int e = utf8 ? 1 : 0;
        auto pick = [&](const std::pair<std::string, std::string>& p) -> const std::string& {
            return e ? p.second : p.first;
        };
        const std::size_t name = static_cast<std::size_t>(f) % names2.size();
        const std::size_t mood =
            static_cast<std::size_t>(f / static_cast<int>(names2.size())) % moods2.size();
        const fs::path dir = folder / names2[name].second;
        fs::create_directories(dir);
        const fs::path path =
            dir / (names2[name].second + "_" + moods2[mood].second + "_" + std::to_string(f) + ".mlt");
        // Files vary in length around the mean; the last takes what is left.
        long count = f + 1 == shape.files
                         ? aas_left
                         : std::min<long>(
                               aas_left,
                               per_file / 2 + static_cast<long>(rng() % static_cast<unsigned>(per_file + 1)));
        aas_left -= count;
        std::string out;
        out.reserve(static_cast<std::size_t>(count) * 2100);
        bool first = true;
        auto split = [&] {
            if (!first) out += "[SPLIT]\r\n";
            first = false;
        };
        for (long a = 0; a < count; ++a) {
            if (a % 10 == 0) {
                split();
                out += a % 20 == 0 ? pick(open2[kHeadOpen]) : pick(open2[kMark]);
                out +=
                    pick(names2[name]) + pick(open2[kDot]) + pick(moods2[mood]) + std::to_string(a / 10 + 1);
                if (a % 20 == 0) out += pick(open2[kHeadClose]);
                out += "\r\n";
                ++made.headings;
            }
            split();
            if (!copies.empty() && rng() % 80 == 0) {
                // An exact copy of an AA of another file, in this file's encoding when it can be.
                const auto& [bytes, was_utf8] = copies[rng() % copies.size()];
                if (was_utf8 == utf8) {
                    out += bytes;
                    ++made.duplicates;
                    ++made.aas;
                    continue;
                }
            }
            const std::size_t start = out.size();
            const int lines = 18 + static_cast<int>(rng() % 31);
            const int bubble_at = rng() % 2 ? static_cast<int>(rng() % static_cast<unsigned>(lines)) : -1;
            for (int l = 0; l < lines; ++l) {
                if (l == bubble_at) {
                    out += pick(open2[kOpen]);
                    const int n = 2 + static_cast<int>(rng() % 5);
                    for (int w = 0; w < n; ++w) out += pick(words2[rng() % words2.size()]);
                    if (rng() % 8 == 0) out += e ? "\xE2\x99\xA1" : "&#9825;";  // no Shift_JIS: a reference
                    out += pick(open2[kClose]);
                } else {
                    out += pick(art2[rng() % art2.size()]);
                }
                out += "\r\n";
            }
            if (rng() % 4 == 0) {
                copies.push_back({out.substr(start), utf8});
                if (copies.size() > 2000) copies.erase(copies.begin(), copies.begin() + 1000);
            }
            ++made.aas;
        }
        std::ofstream(path, std::ios::binary) << out;
        made.bytes += out.size();
        ++made.files;
    }
    return made;
}

}  // namespace glyphora::bench
