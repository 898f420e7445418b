#pragma once
// Shared set-up of the renderer tests: width tables from metrics files and pages built part by part.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "model/books.h"
#include "model/test_support.h"
#include "render/char_width_table.h"
#include "render/render_page.h"

namespace glyphora::testing {

// A, B, C, Z and every other code 8 px; half-width space 5; full-width space 11; "." 3; line height 18.
inline std::unique_ptr<CharWidthTable> test_widths() {
    auto file = std::make_unique<MetricsFile>();
    const auto r = load_metrics_file(std::string(GLYPHORA_TEST_DATA) + "/test_metrics.txt", *file);
    EXPECT_TRUE(r.ok) << r.message;
    auto table = std::make_unique<CharWidthTable>();
    MetricsFileSource source(*file);
    table->build(source);
    return table;
}

inline std::unique_ptr<CharWidthTable> widths_from(std::string_view metrics) {
    auto file = std::make_unique<MetricsFile>();
    const auto r = parse_metrics(metrics, *file);
    EXPECT_TRUE(r.ok) << r.message;
    auto table = std::make_unique<CharWidthTable>();
    MetricsFileSource source(*file);
    table->build(source);
    return table;
}

// One book for the whole test program: it is 25 MB, too big to allocate for every case.
inline PreviewBook& shared_book() {
    static const std::unique_ptr<PreviewBook> book = std::make_unique<PreviewBook>();
    return *book;
}

// Everything one rendering needs, with the shared book cleared.
struct RenderRig {
    std::unique_ptr<CharWidthTable> widths = test_widths();
    PreviewBook* book = &shared_book();
    std::unique_ptr<RenderWorkspace> ws = std::make_unique<RenderWorkspace>();
    std::unique_ptr<RenderOutput> out = std::make_unique<RenderOutput>();
    RenderSettings settings;  // every flag off

    RenderRig() { clear_preview(*book); }

    Page& page(int index = 0) { return book->pages[index]; }

    std::string render(const MirrorTable* h = nullptr, const MirrorTable* v = nullptr, int page = 0) {
        render_page(*ws, *widths, *book, h, v, page, settings, *out);
        return std::string(out->text, out->length);
    }
    int32_t error(ErrorKind kind) const { return out->report.slots[index_of(kind)]; }
};

}  // namespace glyphora::testing
