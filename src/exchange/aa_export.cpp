#include "exchange/aa_export.h"

#include <memory>
#include <string_view>

#include "render/render_page.h"

namespace glyphora {

namespace {

// "　サイズ目安＝" (size estimate) in Shift_JIS: the start of the line rendersetsize appends.
constexpr std::string_view kSizeLabel = "\x81\x40\x83\x54\x83\x43\x83\x59\x96\xDA\x88\xC0\x81\x81";

// The page text without its size line: the label at the start of the last line, then digits and the line
// end (either may have been cut off when the text buffer ran full).
std::string_view without_size_line(std::string_view text) {
    const std::size_t at = text.rfind(kSizeLabel);
    if (at == std::string_view::npos || (at > 0 && text[at - 1] != '\n')) return text;
    std::string_view rest = text.substr(at + kSizeLabel.size());
    while (!rest.empty() && rest.front() >= '0' && rest.front() <= '9') rest.remove_prefix(1);
    if (!rest.empty() && rest != "\r\n" && rest != "\r") return text;
    return text.substr(0, at);
}

void add_page(std::vector<AaEntry>& entries, const Page& page) {
    for (const Part& part : page.slots)
        if (part.in_use)
            entries.push_back({std::string(get_string(part.name)), std::string(get_string(part.text))});
}

}  // namespace

PreviewExport preview_entries(PreviewBook& book, const RenderContext& ctx) {
    PreviewExport result;
    auto workspace = std::make_unique<RenderWorkspace>();
    auto rendered = std::make_unique<RenderOutput>();
    for (int p = 0; p < kPreviewPages; ++p) {
        render_preview_page(book, p, ctx, *workspace, *rendered);
        merge_report(result.report, rendered->report);
        if (!rendered->has_content) continue;
        std::string_view text(rendered->text, rendered->length);
        if (active_render_settings(book, p, ctx.render_pageflag, ctx.global_settings).rendersetsize)
            text = without_size_line(text);
        if (text.ends_with("\r\n")) text.remove_suffix(2);
        result.entries.push_back({"page " + std::to_string(p + 1), std::string(text)});
        result.pages.push_back(p);
        if (rendered->report.slots[index_of(ErrorKind::too_many_blanks)] != 0)
            result.lost_blank_pages.push_back(p);
    }
    return result;
}

std::vector<AaEntry> library_entries(const LibraryBook& book) {
    std::vector<AaEntry> entries;
    for (const Page& page : book.pages) add_page(entries, page);
    return entries;
}

std::vector<AaEntry> library_page_entries(const LibraryBook& book, int page) {
    std::vector<AaEntry> entries;
    if (page >= 0 && page < kLibraryPages) add_page(entries, book.pages[page]);
    return entries;
}

}  // namespace glyphora
