#pragma once
// The rendered file: every page with content as Shift_JIS text (NUL after each page) or as an HTML page.
// The bytes are built in memory and written atomically, so a full disk never leaves a half-written file
// in place of the previous one.

#include <cstddef>
#include <string>
#include <string_view>

#include "model/books.h"
#include "model/mirror_table.h"
#include "render/char_width_table.h"
#include "render/error_report.h"

namespace glyphora {

struct RenderWorkspace;
struct RenderOutput;

// Everything a render command reads besides the book.
struct RenderContext {
    const CharWidthTable* widths = nullptr;
    const MirrorTable* mirror_h = nullptr;  // the tables used when a page's renderhancode is off
    const MirrorTable* mirror_v = nullptr;
    RenderSettings global_settings;
    bool render_pageflag = false;
    bool exact_fill = false;  // renderexactfill: global only, never part of a page's own record
    std::string fontface;     // Shift_JIS, written into the HTML head
    // renderunicodefill: where exact_fill is on, its fills may also use Unicode spaces; global only
    bool unicode_fill = false;
};

// The output file dialog's set-up for the remembered extension and collection name.
struct OutputFileChoice {
    std::string ext;           // the default extension
    std::string default_name;  // "*.<ext>" when no collection name is remembered
    std::string filter;        // "label|pattern|...||" with the matching entry first
};
OutputFileChoice choose_output_file(std::string_view renderext, std::string_view collection_name);

// The extension of a path without the dot ("" when it has none).
std::string extension_of(std::string_view path);
// HTML when the extension is "html" in any case.
bool is_html_output(std::string_view path);

// Length of the reply reference (">>12", ">>>3-15") starting at text[pos], or 0 when there is none.
std::size_t find_reply_anchor(std::string_view text, std::size_t pos);

// The fixed head of the HTML page. The collection name and the face are escaped for HTML so that a name
// with "<", "&" or a quote cannot break the page.
std::string html_header(std::string_view collection_name, std::string_view fontface);
// The foot that closes the page.
std::string_view html_footer();
// Appends one page text: CR LF becomes "<br>", "<" and ">" are escaped, reply references are linked.
void write_html_text(std::string& out, std::string_view text);

// Renders preview page `page` as the render commands do: with the page's active settings and mirror
// tables, after measuring the parts no canvas has measured yet (hence the mutable book).
void render_preview_page(PreviewBook& book, int page, const RenderContext& ctx, RenderWorkspace& workspace,
                         RenderOutput& out);

// The bytes of the all-pages output; measures unmeasured parts first (hence the mutable book). The report
// merges the pages' reports (merge_report): for each kind, the value from the last page on which it
// occurred; the references of all pages.
std::string render_all_pages_to_bytes(PreviewBook& book, const RenderContext& ctx, bool html,
                                      RenderWorkspace& workspace, ErrorReport& report);
// The bytes of the one-page output for page `page`, with that page's report.
std::string render_page_to_bytes(PreviewBook& book, int page, const RenderContext& ctx, bool html,
                                 RenderWorkspace& workspace, ErrorReport& report);

enum class RenderFileStatus { ok, cannot_write };

struct RenderFileResult {
    RenderFileStatus status = RenderFileStatus::ok;
    ErrorReport report;
    std::string ext;    // the chosen file's extension, to be remembered as renderext on success
    std::string error;  // details of a failed write (UTF-8)
};

// The two render commands after the file dialog: render and write `path` (HTML by its extension).
RenderFileResult render_all_pages(PreviewBook& book, const RenderContext& ctx, const std::string& path);
RenderFileResult render_current_page(PreviewBook& book, const RenderContext& ctx, const std::string& path);

// Shown when the output file cannot be written (UTF-8).
constexpr const char* kCannotWriteMessage = "ファイルが書き込めない";

}  // namespace glyphora
