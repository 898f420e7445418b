#include "model/palettes.h"

#include <cstdio>
#include <memory>

#include "model/sjis.h"

namespace glyphora {

namespace {

constexpr std::string_view kSectionStart = "[IndexName=";
constexpr std::string_view kSectionEnd = "[END]";

// Applies one piece of the file at a time, as a line buffer of kCharsetChunk bytes hands them out.
class CharsetReader {
  public:
    explicit CharsetReader(PaletteSet& palettes) : palettes_(palettes) {}

    // False once the eighth section has ended: nothing more is read.
    bool feed(std::string_view chunk) {
        if (done_) return false;
        // The line ends at its first CR or LF, and at a NUL, which ends the buffer's string.
        const std::size_t end = chunk.find_first_of(std::string_view("\r\n\0", 3));
        const std::string_view line = end == std::string_view::npos ? chunk : chunk.substr(0, end);
        if (line.substr(0, kSectionStart.size()) == kSectionStart) {
            std::string_view name = line.substr(kSectionStart.size());
            if (const std::size_t close = name.find(']'); close != std::string_view::npos)
                name = name.substr(0, close);
            palettes_[section_].name = whole_chars_prefix(name, kPaletteNameCapacity - 1);
            palettes_[section_].content.clear();
            in_section_ = true;
        } else if (line == kSectionEnd) {
            in_section_ = false;
            if (++section_ == kPaletteCount) done_ = true;
        } else if (in_section_) {
            // One byte beyond the capacity is kept so that the final cut can tell whether the last byte
            // that fits is the first half of a character.
            std::string& content = palettes_[section_].content;
            if (content.size() < kPaletteContentCapacity)
                content.append(line.substr(0, kPaletteContentCapacity - content.size()));
        }
        return !done_;
    }

    void finish() {
        for (Palette& p : palettes_) p.content = whole_chars_prefix(p.content, kPaletteContentCapacity - 1);
    }

  private:
    PaletteSet& palettes_;
    int section_ = 0;
    bool in_section_ = false;
    bool done_ = false;
};

}  // namespace

PaletteSet builtin_palettes() {
    PaletteSet p;
    // その１: ─│┌┐┘└├┬┤┴┼━┃┏┓┛┗┣┳┫┻╋┠┯┨┷┿┝┰┥┸╂
    p[0] = {"\x82\xBB\x82\xCC\x82\x50",
            "\x84\x9F\x84\xA0\x84\xA1\x84\xA2\x84\xA3\x84\xA4\x84\xA5\x84\xA6\x84\xA7\x84\xA8\x84\xA9\x84\xAA"
            "\x84\xAB\x84\xAC\x84\xAD\x84\xAE\x84\xAF\x84\xB0\x84\xB1\x84\xB2\x84\xB3\x84\xB4\x84\xB5\x84\xB6"
            "\x84\xB7\x84\xB8\x84\xB9\x84\xBA\x84\xBB\x84\xBC\x84\xBD\x84\xBE"};
    // その２: ＿_￣-|∥［］「」=＝二≡三
    p[1] = {"\x82\xBB\x82\xCC\x82\x51",
            "\x81\x51\x5F\x81\x50\x2D\x7C\x81\x61\x81\x6D\x81\x6E\x81\x75\x81\x76\x3D\x81\x81\x93\xF1\x81\xDF"
            "\x8E\x4F"};
    // その３: ＼丶ヽヾゝゞ（(巛<＜《へヘﾍミﾐ／/丿ノﾉソｿ）)>＞》〆⊿彡∠∧∨
    p[2] = {"\x82\xBB\x82\xCC\x82\x52",
            "\x81\x5F\x98\xA4\x81\x52\x81\x53\x81\x54\x81\x55\x81\x69\x28\x9B\xDD\x3C\x81\x83\x81\x73\x82\xD6"
            "\x83\x77\xCD\x83\x7E\xD0\x81\x5E\x2F\x98\xA6\x83\x6D\xC9\x83\x5C\xBF\x81\x6A\x29\x3E\x81\x84\x81"
            "\x74\x81\x59\x87\x99\x9C\x63\x81\xDA\x81\xC8\x81\xC9"};
    // その４: □■◇◆△▲▽▼○●☆★◎↑→←↓＋－±×÷＝≠≡≒＜＞≦≧≪≫∞∽∝√∠⊥⌒∂∫∬∴∵
    p[3] = {"\x82\xBB\x82\xCC\x82\x53",
            "\x81\xA0\x81\xA1\x81\x9E\x81\x9F\x81\xA2\x81\xA3\x81\xA4\x81\xA5\x81\x9B\x81\x9C\x81\x99\x81\x9A"
            "\x81\x9D\x81\xAA\x81\xA8\x81\xA9\x81\xAB\x81\x7B\x81\x7C\x81\x7D\x81\x7E\x81\x80\x81\x81\x81\x82"
            "\x81\xDF\x81\xE0\x81\x83\x81\x84\x81\x85\x81\x86\x81\xE1\x81\xE2\x81\x87\x81\xE4\x81\xE5\x81\xE3"
            "\x81\xDA\x81\xDB\x81\xDC\x81\xDD\x81\xE7\x81\xE8\x81\x88\x81\xE6"};
    // その５: ∧∨￢⇒⇔∀∃♂♀∈∋⊆⊇⊂⊃∪∩∇＃＆＊＠§※〒〓◯♯♭♪†‡¶￥＄℃￠￡％Å‰°′″
    p[4] = {"\x82\xBB\x82\xCC\x82\x54",
            "\x81\xC8\x81\xC9\x81\xCA\x81\xCB\x81\xCC\x81\xCD\x81\xCE\x81\x89\x81\x8A\x81\xB8\x81\xB9\x81\xBA"
            "\x81\xBB\x81\xBC\x81\xBD\x81\xBE\x81\xBF\x81\xDE\x81\x94\x81\x95\x81\x96\x81\x97\x81\x98\x81\xA6"
            "\x81\xA7\x81\xAC\x81\xFC\x81\xF2\x81\xF3\x81\xF4\x81\xF5\x81\xF6\x81\xF7\x81\x8F\x81\x90\x81\x8E"
            "\x81\x91\x81\x92\x81\x93\x81\xF0\x81\xF1\x81\x8B\x81\x8C\x81\x8D"};
    // その６: αβγδεζηθικλμνξοπρστυφχψωΑΒΓΔΕΖΗΘΙΚΛΜΝΞΟΠΡΣΤΥΦΧΨΩ
    p[5] = {
        "\x82\xBB\x82\xCC\x82\x55",
        "\x83\xBF\x83\xC0\x83\xC1\x83\xC2\x83\xC3\x83\xC4\x83\xC5\x83\xC6\x83\xC7\x83\xC8\x83\xC9\x83\xCA"
        "\x83\xCB\x83\xCC\x83\xCD\x83\xCE\x83\xCF\x83\xD0\x83\xD1\x83\xD2\x83\xD3\x83\xD4\x83\xD5\x83\xD6"
        "\x83\x9F\x83\xA0\x83\xA1\x83\xA2\x83\xA3\x83\xA4\x83\xA5\x83\xA6\x83\xA7\x83\xA8\x83\xA9\x83\xAA"
        "\x83\xAB\x83\xAC\x83\xAD\x83\xAE\x83\xAF\x83\xB0\x83\xB1\x83\xB2\x83\xB3\x83\xB4\x83\xB5\x83\xB6"};
    // その７: イ彳匚亠工エｴ斤廿个┬〒┴ΠΤ口∞∽∝∩∪Uuυιθσρδбъ0Ц庁丁了ＴT凵tアｱ∂6６
    p[6] = {"\x82\xBB\x82\xCC\x82\x56",
            "\x83\x43\x9C\x65\x99\xB7\x98\xB3\x8D\x48\x83\x47\xB4\x8B\xD2\x93\xF9\x98\xA2\x84\xA6\x81\xA7\x84"
            "\xA8\x83\xAE\x83\xB1\x8C\xFB\x81\x87\x81\xE4\x81\xE5\x81\xBF\x81\xBE\x55\x75\x83\xD2\x83\xC7\x83"
            "\xC6\x83\xD0\x83\xCF\x83\xC2\x84\x71\x84\x8C\x30\x84\x57\x92\xA1\x92\x9A\x97\xB9\x82\x73\x54\x99"
            "\x81\x74\x83\x41\xB1\x81\xDD\x36\x82\x55"};
    // お気に入り (favourites): empty until a character set file defines it
    p[7] = {"\x82\xA8\x8B\x43\x82\xC9\x93\xFC\x82\xE8", ""};
    return p;
}

void read_charset_content(PaletteSet& palettes, std::string_view content) {
    CharsetReader reader(palettes);
    std::size_t pos = 0;
    while (pos < content.size()) {
        // A piece runs up to and including a LF, at most kCharsetChunk bytes.
        std::size_t n = 0;
        while (n < kCharsetChunk && pos + n < content.size()) {
            if (content[pos + n++] == '\n') break;
        }
        const bool more = reader.feed(content.substr(pos, n));
        pos += n;
        if (!more) break;
    }
    reader.finish();
}

bool load_charset_file(PaletteSet& palettes, const std::string& path) {
    if (path.empty() || path == "-") return false;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) return false;
    // Read piece by piece, so that a large file is read only as far as its eight sections go.
    CharsetReader reader(palettes);
    char piece[kCharsetChunk];
    for (;;) {
        std::size_t n = 0;
        int c = 0;
        while (n < kCharsetChunk && (c = std::getc(file.get())) != EOF) {
            piece[n++] = static_cast<char>(c);
            if (c == '\n') break;
        }
        if (n == 0 || !reader.feed(std::string_view(piece, n))) break;
    }
    reader.finish();
    return true;
}

PaletteSet build_palettes(const std::string& charset_path) {
    PaletteSet palettes = builtin_palettes();
    load_charset_file(palettes, charset_path);  // missing or unreadable: the built-in palettes, silently
    return palettes;
}

std::vector<int> palette_codes(std::string_view content) {
    std::vector<int> codes;
    for (std::size_t pos = 0; pos < content.size();) {
        const SjisChar c = char_at(content, pos);
        codes.push_back(c.code);
        pos += static_cast<std::size_t>(c.length);
    }
    return codes;
}

}  // namespace glyphora
