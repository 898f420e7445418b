#pragma once
// What an AA file is written from: the preview pages as the render commands render them, or the library's
// parts as they are stored.

#include <vector>

#include "exchange/aa_formats.h"
#include "model/books.h"
#include "render/error_report.h"
#include "render/output.h"

namespace glyphora {

struct PreviewExport {
    std::vector<AaEntry> entries;  // one per preview page with content, titled "page N" (N from 1)
    std::vector<int> pages;        // the preview page (0 to 29) of each entry
    ErrorReport report;            // the pages' render reports merged as the all-pages render command does
    // The preview pages (0 to 29) among them that lost a blank run: one that needed more space items than
    // a run may have is not written (ErrorKind::too_many_blanks), so what follows it on its line moves left.
    std::vector<int> lost_blank_pages;
};

// Every preview page rendered as text (not HTML) with its active settings, as render_all_pages renders it;
// pages without content are left out. The entry text is the page's lines without the size line that
// rendersetsize appends and without the final line end. Measures unmeasured parts first, hence the
// mutable book. ctx.widths must be set.
PreviewExport preview_entries(PreviewBook& book, const RenderContext& ctx);

// One entry per part in use, pages 0 to 19 and slots in order: the part's name as title, its stored text.
std::vector<AaEntry> library_entries(const LibraryBook& book);
// The same for one library page; empty for a page outside 0 to 19.
std::vector<AaEntry> library_page_entries(const LibraryBook& book, int page);

}  // namespace glyphora
