#include "literal_render.h"  // beside this file; the benchmark compiles it too

#include <cstdio>
#include <cstring>
#include <string_view>

#include "model/sjis.h"
#include "render/render_line.h"

namespace glyphora::literal {

uint32_t dot_state = 1;

namespace {

constexpr int kCells = 1000;
constexpr int kLines = 80;

bool is_blank(const Cell& c) {
    return c.used && (c.code == 0x20 || c.code == 0x8140 || c.code == code_of(BlankCode::wide) ||
                      c.code == code_of(BlankCode::nbsp) || c.code == code_of(BlankCode::thin) ||
                      c.code == code_of(BlankCode::fill) || c.code == code_of(BlankCode::gap));
}

// Used cells always occupy the front of the array, so every scan may stop where they end; the cells
// beyond are free and stay free.
int used_end(const Line& line) {
    int n = 0;
    while (n < kCells && line.cells[n].used) ++n;
    return n;
}

void compact(Line& line, int end) {
    int to = 0;
    for (int i = 0; i < end; ++i) {
        if (line.cells[i].used) {
            if (to != i) {
                line.cells[to] = line.cells[i];
                line.cells[i].used = false;
            }
            ++to;
        }
    }
}

int random_value() {
    dot_state = dot_state * 214013u + 2531011u;
    return static_cast<int>((dot_state >> 16) & 0x7FFF);
}

// ---- text buffer -----------------------------------------------------------------------------------

struct Text {
    Output& out;
    std::size_t p = 0;
    void write(const char* s, std::size_t n, std::size_t limit, int32_t err) {
        if (p < limit) {
            std::memcpy(out.text + p, s, n);
            p += n;
        } else {
            record_error(out.report, ErrorKind::text_too_long, err);
        }
    }
    void one(char c, int32_t err) { write(&c, 1, 16383, err); }
    void two(const char* s, int32_t err) { write(s, 2, 16382, err); }
};

// ---- gap filling -----------------------------------------------------------------------------------

struct Tokens {
    int n = 0;
    int t[300];
    bool overflow = false;
    void add(int v) {
        if (n == 300) {
            overflow = true;
            return;
        }
        t[n++] = v;
    }
};

bool exact_split(int64_t T, Tokens& out) {
    const int64_t a = (9 * T) % 11;
    if (!(16 * a <= T + 11)) return false;
    const int64_t e = (T - 5 * a) / 11;
    if (!(e + a <= 300)) return false;
    if (a == 0) {
        for (int64_t i = 0; i < e; ++i) out.add(11);
    } else {
        for (int64_t i = 0; i < e - a + 1; ++i) out.add(11);
        out.add(5);
        for (int64_t i = 0; i < a - 1; ++i) {
            out.add(11);
            out.add(5);
        }
    }
    return true;
}

// Returns false on more than 300 tokens.
bool decompose_gap(int64_t T, int64_t b, const RenderSettings& s, Tokens& tk, bool& inexact) {
    inexact = false;
    if (T > 0 && exact_split(T, tk)) return true;
    tk.n = 0;
    if (T <= 0) return true;
    const bool dot = s.renderdotflag, notsp = s.rendernotsp, nr = s.rendernotrenspace;
    int64_t r = T;
    bool last5 = false;
    while (r > 11) {
        const int64_t m = r % 11;
        int t;
        if (m == 0)
            t = 11;
        else if (m == 5 && !last5)
            t = 5;
        else if (dot && (m == 3 || r % 16 == 3) && r < 55)
            t = 3;
        else if (dot && m == 1 && !last5 && r % 16 != 3)
            t = 5;
        else if ((m == 3 || m == 1) && dot)
            t = 3;
        else if ((m == 3 || m == 1) && !notsp)
            t = 8;
        else if ((m == 3 || m == 1) && !last5)
            t = 5;
        else if (m == 3 || m == 1)
            t = 11;
        else if (!last5 && r % 16 <= 8)
            t = 5;
        else
            t = 11;
        tk.add(t);
        if (tk.overflow) return false;
        r -= t;
        last5 = t == 5;
    }
    if (!notsp) {
        if (r == 11) tk.add(11);
        if (r == 10) tk.add(8), tk.add(2);
        if (r == 9) tk.add(5), tk.add(2), tk.add(2);
        if (r == 8) tk.add(8);
        if (r == 7) tk.add(5), tk.add(2);
        if (r == 6) tk.add(2), tk.add(2), tk.add(2);
        if (r == 5) tk.add(5);
        if (r == 4) tk.add(2), tk.add(2);
        if (r == 3) {
            if (dot) {
                tk.add(3);
            } else {
                if (b > 0)
                    tk.add(2), tk.add(2);
                else
                    tk.add(2);
                inexact = true;
            }
        }
        if (r == 2) tk.add(2);
        if (r == 1) {
            if (b > 0) tk.add(2);
            inexact = true;
        }
    } else {
        if (r == 11) tk.add(11);
        if (r == 10) {
            if (!nr)
                tk.add(5), tk.add(5);
            else
                tk.add(11), inexact = true;
        }
        if (r == 9) {
            if (!nr)
                tk.add(5), tk.add(5), inexact = true;
            else if (dot)
                tk.add(3), tk.add(3), tk.add(3);
            else
                tk.add(11), inexact = true;
        }
        if (r == 8) {
            if (dot) {
                if (last5)
                    tk.add(3), tk.add(5);
                else
                    tk.add(5), tk.add(3);
            } else if (!nr) {
                tk.add(5), tk.add(5);
                inexact = true;
            } else {
                if (b > 1)
                    tk.add(11);
                else if (last5) {
                } else
                    tk.add(5);
                inexact = true;
            }
        }
        if (r == 7) {
            if (dot) {
                if (last5)
                    tk.add(3), tk.add(5);
                else
                    tk.add(5), tk.add(3);
            } else {
                if (nr && last5)
                    tk.add(11);
                else
                    tk.add(5);
            }
            inexact = true;
        }
        if (r == 6) {
            if (dot) {
                tk.add(3), tk.add(3);
            } else {
                if (!(nr && last5)) tk.add(5);
                inexact = true;
            }
        }
        if (r == 5) {
            if (nr && last5) {
                if (dot) tk.add(3);
            } else {
                tk.add(5);
            }
        }
        if (r == 4) {
            if (dot)
                tk.add(3);
            else if (!(nr && last5))
                tk.add(5);
            inexact = true;
        }
        if (r == 3) {
            if (dot) {
                tk.add(3);
            } else {
                if (!(b <= 1 || (nr && last5))) tk.add(5);
                inexact = true;
            }
        }
        if (r == 2 || r == 1) {
            if (dot) {
                if (b > 0) tk.add(3);
            } else {
                if (!(b <= 2 || (nr && last5))) tk.add(5);
                inexact = true;
            }
        }
    }
    return !tk.overflow;
}

void scatter_dots(Tokens& tk) {
    for (int i = 0; i < tk.n; ++i) {
        if (tk.t[i] != 3) continue;
        const int j = random_value() % tk.n;
        for (int k = j; k < tk.n; ++k) {
            if (tk.t[k] == 11) {
                tk.t[i] = 11;
                tk.t[k] = 3;
                break;
            }
        }
    }
}

struct LineState {
    int64_t X = 0;
    bool last_half = false;
};

void write_blank(Text& text, const Cell& cell, LineState& st, const RenderSettings& s, int32_t number) {
    const int64_t d = cell.width;
    int64_t b = cell.x - st.X;
    if (d % 11 == 0 || d % 16 == 0 || d == 5) b = 0;
    const int64_t T = d + b;
    Tokens tk;
    bool inexact = false;
    if (!decompose_gap(T, b, s, tk, inexact)) {
        record_error(text.out.report, ErrorKind::too_many_blanks, number);
        return;
    }
    scatter_dots(tk);
    for (int i = 0; i < tk.n; ++i) st.X += tk.t[i];
    if (inexact) record_error(text.out.report, ErrorKind::inexact_blank, number);
    for (int i = 0; i < tk.n; ++i) {
        const int t = tk.t[i];
        if (t == 11) {
            text.two("\x81\x40", number);
            st.last_half = false;
        } else if (t == 8) {
            text.write("&ensp;", 6, 16378, number);
            st.last_half = false;
        } else if (t == 5) {
            if (!st.last_half || s.rendernotsp)
                text.one(' ', number);
            else
                text.write("&nbsp;", 6, 16378, number);
            st.last_half = true;
        } else if (t == 3) {
            text.one('.', number);
        } else if (t == 2) {
            text.write("&thinsp;", 8, 16376, number);
            st.last_half = false;
        }
    }
}

void write_line(Text& text, const Line& line, const RenderSettings& s) {
    text.two("\x81\x40", line.number);
    LineState st;
    const int end = used_end(line);
    for (int i = 0; i < end; ++i) {
        const Cell& c = line.cells[i];
        if (!c.used) continue;
        if (is_blank(c)) {
            write_blank(text, c, st, s, line.number);
        } else {
            if (c.code >= 256) {
                const char two[2] = {static_cast<char>(c.code / 256), static_cast<char>(c.code % 256)};
                text.two(two, line.number);
            } else {
                text.one(static_cast<char>(c.code), line.number);
            }
            st.X += c.width;
            st.last_half = false;
        }
    }
    text.two("\r\n", line.number);
}

// ---- layout -----------------------------------------------------------------------------------------

int hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

bool starts(std::string_view t, std::size_t pos, std::string_view what) {
    return t.size() >= pos + what.size() && t.substr(pos, what.size()) == what;
}

struct Layout {
    Workspace& ws;
    const CharWidthTable& widths;
    const MirrorTable* mh;
    const MirrorTable* mv;
    const RenderSettings& s;
    ErrorReport& report;
    const Part& part;

    int64_t pen = 0;
    int line = 0;
    bool transparent = false;
    bool has_content = false;
    bool pending = true;
    int32_t blank_code[64] = {};
    int32_t blank_width[64] = {};

    bool in_range() const { return line >= 0 && line <= 79; }

    void put(int32_t code, int64_t x, int64_t w) {
        if (in_range()) place_cell(ws.lines[line], report, code, x, w);
    }
    void left_margin(int64_t p) {
        if (!part.always_opaque || part.border_left == 0) return;
        if (part.flip_h)
            put(code_of(BlankCode::wide), p, part.border_left);
        else
            put(code_of(BlankCode::wide), p - part.border_left, part.border_left);
    }
    void right_margin(int64_t p) {
        if (!part.always_opaque || part.border_right == 0) return;
        if (part.flip_h)
            put(code_of(BlankCode::wide), p - part.border_right, part.border_right);
        else
            put(code_of(BlankCode::wide), p, part.border_right);
    }
    void fill() {
        if (!part.always_opaque) return;
        if (part.flip_h) {
            put(code_of(BlankCode::fill), part.x, pen - part.x);
            pen = part.x;
        } else {
            put(code_of(BlankCode::fill), pen, part.box.right - pen);
            pen = part.box.right;
        }
    }
    bool line_break() {
        if (pending) left_margin(pen);
        fill();
        right_margin(pen);
        has_content = false;
        pending = true;
        pen = part.flip_h ? part.box.right : part.x;
        if (part.flip_v)
            line -= 1;
        else
            line += 1;
        if (line < 0 || line > 79) {
            record_error(report, ErrorKind::too_many_lines, 999);
            return false;
        }
        return true;
    }
    int32_t map(int32_t code) {
        if (part.flip_h && !part.no_mirror_table && mh) code = lookup(*mh, code);
        if (part.flip_v && !part.no_mirror_table && mv) code = lookup(*mv, code);
        return code;
    }
    // kind: 0 character, 1 entity blank
    void one(int kind, int32_t code, int64_t w0, int64_t w) {
        int32_t cell_code = code;
        if (kind == 0) {
            bool declared = false;
            for (int i = 0; i < 64; ++i) {
                if (blank_code[i] == 0) break;
                if (blank_code[i] == code) {
                    declared = true;
                    if (blank_width[i] != 0) w = blank_width[i];
                    break;
                }
            }
            if (declared)
                cell_code = 0x20;
            else if (code == 0)
                cell_code = 0x20;  // &=00;: no NUL in the text
            if (code != 0x20 && code != 0x8140 && !declared) transparent = false;
        }
        if (pending) {
            left_margin(pen);
            pending = false;
        }
        if (part.flip_h) {
            if (w0 < w - 1 && !s.renderhantenzmode)
                pen -= w;
            else
                pen -= w0;
        }
        if (!(transparent && !part.always_opaque)) {
            if (in_range()) place_cell(ws.lines[line], report, cell_code, pen, w);
            has_content = true;
        }
        if (!part.flip_h) pen += w;
    }

    void run() {
        const int32_t LH = widths.line_height;
        pen = part.flip_h ? part.box.right : part.x;
        line = part.flip_v ? part.box.bottom / LH - 1 : part.y / LH;
        const std::string_view t = get_string(part.text);
        std::size_t pos = 0;
        while (starts(t, pos, "&space")) {
            std::size_t p = pos + 6;
            int32_t width;
            if (p < t.size() && t[p] == '=') {
                width = 0;
                p += 1;
            } else if (p + 1 < t.size() && t[p + 1] == '=' && t[p] >= '0' && t[p] <= '9') {
                width = t[p] - '0';
                p += 2;
            } else {
                break;
            }
            int entry = 0;
            bool text_ended = false;
            for (;;) {
                if (p >= t.size()) {
                    text_ended = true;
                    break;
                }
                if (t[p] == '\r') {
                    p++;
                    if (p < t.size() && t[p] == '\n') p++;
                    break;
                }
                const SjisChar c = char_at(t, p);
                if (entry < 64) {
                    blank_code[entry] = c.code;
                    blank_width[entry] = width;
                }
                entry++;
                p += c.length;
            }
            pos = p;
            if (text_ended) break;
        }
        transparent = false;
        has_content = false;
        pending = true;
        while (pos < t.size()) {
            if (starts(t, pos, "&ttt;")) {
                transparent = true;
                pos += 5;
            } else if (starts(t, pos, "&www;")) {
                pos += 5;
            } else if (starts(t, pos, "&ensp;")) {
                one(1, code_of(BlankCode::wide), 8, 8);
                pos += 6;
            } else if (starts(t, pos, "&nbsp;")) {
                one(1, code_of(BlankCode::nbsp), 5, 5);
                pos += 6;
            } else if (starts(t, pos, "&thinsp;")) {
                one(1, code_of(BlankCode::thin), 2, 2);
                pos += 8;
            } else if (starts(t, pos, "&=") && pos + 4 < t.size() && t[pos + 4] == ';') {
                const int value = hex(t[pos + 2]) * 16 + hex(t[pos + 3]);
                pos += 5;
                if (value == 0x0D) {
                    if (!line_break()) break;
                } else {
                    const int32_t amp = widths.width('&');
                    one(0, map(value), amp, amp);
                }
            } else if (t[pos] == '\r') {
                pos++;
                if (pos < t.size() && t[pos] == '\n') pos++;
                if (!line_break()) break;
            } else {
                const SjisChar c = char_at(t, pos);
                pos += c.length;
                const int32_t w0 = widths.width(c.code);
                const int32_t mapped = map(c.code);
                one(0, mapped, w0, widths.width(mapped));
            }
        }
        if (part.always_opaque && has_content) {
            fill();
            right_margin(pen);
        }
    }
};

}  // namespace

void clear_line(Line& line, int32_t number) {
    const int end = used_end(line);
    for (int i = 0; i < end; ++i) line.cells[i] = Cell{};
    line.number = number;
}

void place_cell(Line& line, ErrorReport& report, int32_t code, int64_t x, int64_t w) {
    if (w <= 0 || x < 0) return;
    const int end = used_end(line);
    for (int i = 0; i < end; ++i) {
        Cell& c = line.cells[i];
        if (c.used && c.x < x + w && x < c.x + c.width) c.used = false;
    }
    int ins = 0;
    for (int i = 0; i < end; ++i)
        if (line.cells[i].used && line.cells[i].x < x) ins = i + 1;
    if (line.cells[kCells - 1].used) record_error(report, ErrorKind::line_full, line.number);
    if (ins != kCells) {
        // Cells ins..998 move up by one; the one at 999 is lost.
        for (int j = (end < kCells ? end : kCells - 1); j > ins; --j) line.cells[j] = line.cells[j - 1];
        line.cells[ins] = Cell{true, x, w, code};
    }
    compact(line, end < kCells ? end + 1 : kCells);
}

void fill_gaps(Line& line, ErrorReport& report) {
    int64_t a = 0;
    int i = 0;
    while (i <= kCells - 2) {
        Cell& c = line.cells[i];
        if (!c.used) break;  // the rest is free
        if (c.used) {
            if (c.x > a) {
                if (line.cells[kCells - 1].used) record_error(report, ErrorKind::gap_no_room, line.number);
                const int end = used_end(line);
                for (int j = (end < kCells ? end : kCells - 1); j > i; --j) line.cells[j] = line.cells[j - 1];
                line.cells[i] = Cell{true, a, line.cells[i + 1].x - a, code_of(BlankCode::gap)};
                i = 0;
                a = 0;
                continue;
            }
            a = c.x + c.width;
        }
        ++i;
    }
}

void merge_blanks(Line& line) {
    bool again = true;
    while (again) {
        again = false;
        const int end = used_end(line);
        for (int i = 0; i <= kCells - 2 && i + 1 < end; ++i) {
            Cell& c = line.cells[i];
            Cell& d = line.cells[i + 1];
            if (is_blank(c) && is_blank(d)) {
                c.width = d.x + d.width - c.x;
                d.used = false;
                compact(line, end);
                again = true;
                break;
            }
        }
    }
    for (int i = used_end(line) - 1; i >= 0; --i) {
        Cell& c = line.cells[i];
        if (!c.used) continue;
        if (is_blank(c)) {
            c.used = false;
            continue;
        }
        break;
    }
}

void render_page(Workspace& ws, const CharWidthTable& widths, const PreviewBook& book,
                 const MirrorTable* mirror_h, const MirrorTable* mirror_v, int page,
                 const RenderSettings& settings, Output& out) {
    for (int i = 0; i < kLines; ++i) clear_line(ws.lines[i], i + 1);
    for (auto& slot : out.report.slots) slot = 0;
    out.has_content = false;
    out.length = 0;
    out.text[0] = 0;
    if (!widths.built || widths.line_height <= 0 || page < 0 || page >= kPreviewPages) return;
    if (settings.renderhancode) mirror_h = mirror_v = nullptr;
    for (int slot = 0; slot < 50; ++slot) {
        const Part& part = book.pages[page].slots[slot];
        if (!part.in_use) continue;
        Layout lay{ws, widths, mirror_h, mirror_v, settings, out.report, part};
        lay.run();
    }
    int n = 0;
    for (int i = 0; i < kLines; ++i)
        if (used_end(ws.lines[i]) > 0) n = i + 1;
    if (n == 0) return;
    out.has_content = true;
    Text text{out};
    for (int i = 0; i < n; ++i) {
        Line& line = ws.lines[i];
        fill_gaps(line, out.report);
        merge_blanks(line);
        if (settings.render_linenumber) {
            char prefix[16];
            const int L = std::snprintf(prefix, sizeof prefix, "%02d : ", line.number);
            if (text.p < static_cast<std::size_t>(16383 - L)) {
                std::memcpy(out.text + text.p, prefix, static_cast<std::size_t>(L));
                text.p += static_cast<std::size_t>(L);
            } else {
                record_error(out.report, ErrorKind::text_too_long, line.number);
            }
        }
        write_line(text, line, settings);
    }
    if (settings.rendersetsize) {
        char size[48];
        const int L = std::snprintf(size, sizeof size,
                                    "\x81\x40\x83\x54\x83\x43\x83\x59\x96\xDA\x88\xC0\x81\x81%zu", text.p);
        // Double-byte characters whole or not at all.
        for (int i = 0; i < L;) {
            if (is_lead_byte(static_cast<unsigned char>(size[i]))) {
                text.two(size + i, 999);
                i += 2;
            } else {
                text.one(size[i], 999);
                i += 1;
            }
        }
        text.two("\r\n", 999);
    }
    if (settings.renderspbar) {
        for (std::size_t i = 0; i + 1 < text.p; ++i) {
            if (out.text[i] == ' ' && out.text[i + 1] == ' ') {
                out.text[i + 1] = '_';
                ++i;
            }
        }
    }
    out.text[text.p] = 0;
    out.length = text.p;
}

}  // namespace glyphora::literal
