#include "render/output.h"

#include <cstdio>
#include <memory>

#include "io/file_io.h"
#include "render/measure_part.h"
#include "render/render_page.h"

namespace glyphora {

namespace {

// "テキスト" in Shift_JIS.
constexpr const char* kText = "\x83\x65\x83\x4C\x83\x58\x83\x67";

std::string with_text_label(const char* fmt) {
    // '@' in fmt stands for the label of the text entries.
    std::string out;
    for (const char* p = fmt; *p; ++p) {
        if (*p == '@') {
            out += kText;
        } else {
            out += *p;
        }
    }
    return out;
}

std::string escape_html_attribute(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        // Shift_JIS trail bytes start at 0x40, above all four of these, so a byte-wise walk never splits
        // a double-byte character.
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

const RenderSettings& settings_for(const PreviewBook& book, int page, const RenderContext& ctx) {
    return active_render_settings(book, page, ctx.render_pageflag, ctx.global_settings);
}

}  // namespace

void render_preview_page(PreviewBook& book, int page, const RenderContext& ctx, RenderWorkspace& workspace,
                         RenderOutput& out) {
    const RenderSettings& settings = settings_for(book, page, ctx);
    // Pages never shown on the canvas have unmeasured parts; a flipped one would otherwise vanish.
    measure_unmeasured(book.pages[page], *ctx.widths);
    const bool tables = !settings.renderhancode;
    render_page(workspace, *ctx.widths, book, tables ? ctx.mirror_h : nullptr,
                tables ? ctx.mirror_v : nullptr, page, settings, out,
                !ctx.exact_fill    ? BlankFill::classic
                : ctx.unicode_fill ? BlankFill::exact_unicode
                                   : BlankFill::exact);
}

namespace {

RenderFileResult write_output(const std::string& path, const std::string& bytes, const ErrorReport& report) {
    RenderFileResult result;
    result.report = report;
    result.ext = extension_of(path);
    const IoResult io = write_file_atomically(path, bytes);
    if (!io.ok) {
        result.status = RenderFileStatus::cannot_write;
        result.error = io.error;
    }
    return result;
}

}  // namespace

OutputFileChoice choose_output_file(std::string_view renderext, std::string_view collection_name) {
    OutputFileChoice choice;
    choice.ext = std::string(renderext.substr(0, 259));
    // Drive, directory and base name of the remembered collection name: everything before its extension.
    std::string base(collection_name);
    const std::size_t slash = base.find_last_of("/\\");
    const std::size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) base.resize(dot);
    std::string name = base + "." + choice.ext;
    if (name.size() > 259) name.resize(259);
    choice.default_name = base.empty() ? "*." + choice.ext : name;
    if (choice.ext == "txt") {
        choice.filter = with_text_label("@(txt)|*.txt|@(tx)|*.tx|html|*.html|all files|*.*||");
    } else if (choice.ext == "tx") {
        choice.filter = with_text_label("@(tx)|*.tx|@(txt)|*.txt|html|*.html|all files|*.*||");
    } else if (choice.ext == "html") {
        choice.filter = with_text_label("html|*.html|@(txt)|*.txt|@(tx)|*.tx|all files|*.*||");
    } else {
        choice.filter = with_text_label("all files|*.*|@(txt)|*.txt|@(tx)|*.tx|html|*.html||");
    }
    return choice;
}

std::string extension_of(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    return std::string(path.substr(dot + 1));
}

bool is_html_output(std::string_view path) {
    const std::string ext = extension_of(path);
    if (ext.size() != 4) return false;
    const char* html = "html";
    for (int i = 0; i < 4; ++i) {
        char c = ext[static_cast<std::size_t>(i)];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != html[i]) return false;
    }
    return true;
}

std::size_t find_reply_anchor(std::string_view text, std::size_t pos) {
    std::size_t i = pos;
    while (i < text.size() && text[i] == '>') ++i;
    if (i == pos) return 0;
    const std::size_t digits = i;
    while (i < text.size() && is_digit(text[i])) ++i;
    if (i == digits) return 0;
    if (i + 1 < text.size() && text[i] == '-' && is_digit(text[i + 1])) {
        ++i;
        while (i < text.size() && is_digit(text[i])) ++i;
    }
    return i - pos;
}

std::string html_header(std::string_view collection_name, std::string_view fontface) {
    std::string out;
    out += "<!doctype html public \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n";
    out += "<HTML lang=\"ja-JP\">\n";
    out += "<head>\n";
    out += "   <meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\n";
    out += "   <meta name=\"Author\" content=\"Vantrel\">\n";
    out += "   <meta name=\"GENERATOR\" content=\"Mozilla/4.6 [ja] (WinNT; I)\">\n";
    // " － Glyphora ver v1.4a" with the full-width hyphen-minus 0x817C.
    out += "   <title>" + escape_html_attribute(collection_name) + " \x81\x7C Glyphora ver v1.4a</title>\n";
    out += "</head>\n";
    out += "\n";
    out += "<!--";
    for (int i = 0; i < 34; ++i) out += " +";
    out += " -->\n";
    out += "\n";
    out +=
        "<body text=\"#000000\" bgcolor=\"#fcfcfc\" link=\"#0000ff\" vlink=\"#0000ff\" alink=\"#0000ff\">\n";
    out += "\n";
    out += "<font face=\"" + escape_html_attribute(fontface) + "\" style=\"font-size:16;\">\n";
    return out;
}

std::string_view html_footer() {
    return "</font>\n</body>\n</html>\n";
}

void write_html_text(std::string& out, std::string_view text) {
    std::size_t link_end = 0;
    bool link_open = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!link_open) {
            const std::size_t n = find_reply_anchor(text, i);
            if (n > 0) {
                out += "<a href=\"#top\">";
                link_open = true;
                link_end = i + n;
            }
        } else if (i >= link_end) {
            out += "</a>";
            link_open = false;
        }
        const char c = text[i];
        if (c == '\r') {
            if (link_open) {
                out += "</a>";
                link_open = false;
            }
            out += "<br>";
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else {
            out += c;
        }
    }
    if (link_open) out += "</a>";
}

std::string render_all_pages_to_bytes(PreviewBook& book, const RenderContext& ctx, bool html,
                                      RenderWorkspace& workspace, ErrorReport& report) {
    report = ErrorReport{};
    int total = 0;
    for (const auto& page : book.pages) total += is_page_empty(page) ? 0 : 1;
    std::string out;
    if (html) out += html_header(get_string(book.collection_name), ctx.fontface);
    auto rendered = std::make_unique<RenderOutput>();
    int counter = 1;
    char header[32];
    for (int p = 0; p < kPreviewPages; ++p) {
        render_preview_page(book, p, ctx, workspace, *rendered);
        merge_report(report, rendered->report);
        if (!rendered->has_content) continue;
        const std::string_view text(rendered->text, rendered->length);
        if (html) {
            std::snprintf(header, sizeof header, "<hr>\n%d/%d<br>\n", counter, total);
            out += header;
            write_html_text(out, text);
        } else {
            std::snprintf(header, sizeof header, "%d/%d\n", counter, total);
            out += header;
            out += text;
            out += '\0';
        }
        ++counter;
    }
    if (html) out += html_footer();
    return out;
}

std::string render_page_to_bytes(PreviewBook& book, int page, const RenderContext& ctx, bool html,
                                 RenderWorkspace& workspace, ErrorReport& report) {
    auto rendered = std::make_unique<RenderOutput>();
    render_preview_page(book, page, ctx, workspace, *rendered);
    report = rendered->report;
    const std::string_view text(rendered->text, rendered->length);
    std::string out;
    if (html) {
        out += html_header(get_string(book.collection_name), ctx.fontface);
        if (rendered->has_content) write_html_text(out, text);
        out += html_footer();
    } else if (rendered->has_content) {
        out += text;
        out += '\0';
    }
    return out;
}

RenderFileResult render_all_pages(PreviewBook& book, const RenderContext& ctx, const std::string& path) {
    auto workspace = std::make_unique<RenderWorkspace>();
    ErrorReport report;
    const std::string bytes = render_all_pages_to_bytes(book, ctx, is_html_output(path), *workspace, report);
    return write_output(path, bytes, report);
}

RenderFileResult render_current_page(PreviewBook& book, const RenderContext& ctx, const std::string& path) {
    auto workspace = std::make_unique<RenderWorkspace>();
    ErrorReport report;
    const std::string bytes =
        render_page_to_bytes(book, book.current_page, ctx, is_html_output(path), *workspace, report);
    return write_output(path, bytes, report);
}

}  // namespace glyphora
