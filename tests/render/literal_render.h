#pragma once
// A deliberately plain renderer kept as the reference for the real one: every line is an array of 1000
// cells with "used" flags, place_cell frees, shifts and compacts the whole array, fill_gaps and
// merge_blanks start again from cell 0 after every change, and the space items are chosen by the rules
// written out one by one. It is slow on purpose; the real renderer must give the same bytes, the same
// has_content and the same error report.

#include <cstddef>
#include <cstdint>

#include "model/books.h"
#include "model/mirror_table.h"
#include "render/char_width_table.h"
#include "render/error_report.h"

namespace glyphora::literal {

struct Cell {
    bool used = false;
    int64_t x = 0;
    int64_t width = 0;
    int32_t code = 0;
};

struct Line {
    Cell cells[1000];
    int32_t number = 0;
};

struct Workspace {
    Line lines[80];
};

struct Output {
    bool has_content = false;
    char text[16384] = {};
    std::size_t length = 0;
    ErrorReport report;
};

// The generator of the dots, separate from the real renderer's one.
extern uint32_t dot_state;

void render_page(Workspace& ws, const CharWidthTable& widths, const PreviewBook& book,
                 const MirrorTable* mirror_h, const MirrorTable* mirror_v, int page,
                 const RenderSettings& settings, Output& out);

// The line operations, for tests that drive one line directly.
void clear_line(Line& line, int32_t number);
void place_cell(Line& line, ErrorReport& report, int32_t code, int64_t x, int64_t w);
void fill_gaps(Line& line, ErrorReport& report);
void merge_blanks(Line& line);

}  // namespace glyphora::literal
