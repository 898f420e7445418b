#include "exchange/library_import.h"

#include <algorithm>
#include <memory>

#include "model/sjis.h"
#include "render/measure_part.h"
#include "render/part_markup.h"
#include "system/encoding.h"

namespace glyphora {

namespace {

constexpr std::size_t kTextMax = kTextCapacity - 1;
constexpr std::size_t kNameMax = kNameCapacity - 1;
constexpr std::string_view kFallbackPageName = "import";

bool is_space_markup(MarkupKind kind) {
    return kind == MarkupKind::ensp || kind == MarkupKind::nbsp || kind == MarkupKind::thinsp;
}

// The plan's running state: the page being filled and where the next part goes on it.
struct Flow {
    int page = -1;  // none open yet
    int slot = 0;
    int64_t x = 0, row_top = 0, row_height = 0;
    bool closed = false;  // a part taller than the page has it to itself
};

}  // namespace

std::size_t part_text_length(std::string_view text) {
    if (text.size() <= kTextMax) return text.size();
    const std::size_t line_end = text.rfind("\r\n", kTextMax);
    if (line_end != std::string_view::npos && line_end >= kTextMax / 2) return line_end;
    std::size_t n = whole_chars_prefix(text, kTextMax).size();
    if (n > 0 && text[n - 1] == '\r' && text[n] == '\n') --n;  // never half a line end
    return n;
}

std::string aa_part_name(std::string_view title, std::string_view text) {
    if (!title.empty()) return std::string(whole_chars_prefix(title, kNameMax));
    BlankTable blanks;
    std::size_t pos = read_blank_declarations(text, blanks);
    std::string name;
    bool space = false;  // blanks seen since the last character
    while (pos < text.size() && name.size() < kNameMax) {
        const TextItem item = next_text_item(text, pos);
        if (item.kind == TextItemKind::line_break) {
            if (!name.empty()) break;
            space = false;
        } else if (item.kind == TextItemKind::markup) {
            if (is_space_markup(item.markup.kind)) space = true;
        } else if (item.code <= ' ' || item.code == 0x8140) {
            space = true;
        } else {
            if (space && !name.empty()) name += ' ';
            space = false;
            append_code(name, item.code);
        }
    }
    name.resize(whole_chars_prefix(name, kNameMax).size());
    return name;
}

std::string import_page_name(std::string_view file_name, int number) {
    std::string_view base = file_name;
    if (const std::size_t slash = base.find_last_of("/\\"); slash != std::string_view::npos)
        base.remove_prefix(slash + 1);
    if (const std::size_t dot = base.find_last_of('.'); dot != std::string_view::npos)
        base = base.substr(0, dot);
    std::string sjis(kFallbackPageName);
    if (!base.empty()) {
        const Conversion c = utf8_to_sjis(base);
        if (c.ok && !c.text.empty()) sjis = c.text;
    }
    std::string suffix(1, ' ');
    suffix += std::to_string(number);
    const std::size_t room = kNameMax > suffix.size() ? kNameMax - suffix.size() : 0;
    sjis.resize(whole_chars_prefix(sjis, room).size());
    return sjis + suffix;
}

ImportPlan plan_import(const LibraryBook& book, std::span<const ImportFile> files,
                       const CharWidthTable& widths, const ImportOptions& options) {
    ImportPlan plan;
    if (options.start_page < 0 || options.start_page >= kLibraryPages) {
        plan.error = "the start page must be 0 to " + std::to_string(kLibraryPages - 1);
        return plan;
    }
    if (!widths.built || widths.line_height <= 0) {
        plan.error = "the character widths are not measured";
        return plan;
    }
    if (options.page_width <= 0 || options.page_height <= 0 || options.gap < 0) {
        plan.error = "the page width and height must be positive and the gap not negative";
        return plan;
    }
    const int64_t lh = widths.line_height;
    int next_page = options.start_page;
    std::vector<int> pages_started(files.size(), 0);
    Flow flow;
    bool out_of_pages = false;
    auto open_page = [&](std::size_t file) {
        while (next_page < kLibraryPages && !options.replace && !is_page_empty(book.pages[next_page]))
            ++next_page;
        if (next_page >= kLibraryPages) return false;
        flow = Flow{};
        flow.page = next_page++;
        plan.pages.push_back({flow.page, import_page_name(files[file].name, ++pages_started[file]),
                              !is_page_empty(book.pages[flow.page])});
        return true;
    };

    auto scratch = std::make_unique<Part>();  // for measuring
    for (std::size_t f = 0; f < files.size(); ++f) {
        for (std::size_t e = 0; e < files[f].entries.size(); ++e) {
            const AaRef ref{static_cast<int>(f), static_cast<int>(e)};
            if (out_of_pages) {
                plan.not_placed.push_back(ref);
                continue;
            }
            const AaEntry& entry = files[f].entries[e];
            const std::size_t length = part_text_length(entry.text);
            const std::string_view text = std::string_view(entry.text).substr(0, length);
            clear_slot(*scratch);
            set_text(*scratch, text);
            const Box size = measure_part(*scratch, widths);  // at (0, 0)
            const int64_t w = std::max<int64_t>(size.right, 0), h = std::max<int64_t>(size.bottom, lh);

            while (true) {
                if (flow.page < 0 || flow.closed || flow.slot >= kPartsPerPage) {
                    if (!open_page(f)) {
                        out_of_pages = true;
                        break;
                    }
                }
                // Wrap: a new row below the tallest part of this one.
                if (flow.x > 0 && flow.x + w > options.page_width) {
                    flow.row_top = (flow.row_top + flow.row_height + lh + lh - 1) / lh * lh;
                    flow.x = 0;
                    flow.row_height = 0;
                }
                if (flow.slot > 0 && flow.row_top + h > options.page_height) {
                    flow.closed = true;
                    continue;
                }
                break;
            }
            if (out_of_pages) {
                plan.not_placed.push_back(ref);
                continue;
            }
            PlacedAa placed;
            placed.aa = ref;
            placed.page = flow.page;
            placed.slot = flow.slot++;
            placed.x = static_cast<int32_t>(flow.x);
            placed.y = static_cast<int32_t>(flow.row_top);
            placed.box =
                Box{size.left + placed.x, size.top + placed.y, size.right + placed.x, size.bottom + placed.y};
            placed.name = aa_part_name(entry.title, text);
            placed.text_bytes = length;
            plan.placed.push_back(std::move(placed));
            if (length < entry.text.size()) plan.cut.push_back({ref, entry.text.size(), length});
            flow.x += w + options.gap;
            flow.row_height = std::max(flow.row_height, h);
            if (h > options.page_height) flow.closed = true;
        }
    }
    plan.ok = true;
    return plan;
}

bool apply_import(LibraryBook& book, const ImportPlan& plan, std::span<const ImportFile> files) {
    if (!plan.ok) return false;
    // Everything is checked before anything changes.
    for (const ImportPage& page : plan.pages) {
        if (page.page < 0 || page.page >= kLibraryPages) return false;
        // A page that was empty when planned and has parts now was filled since: it is not overwritten.
        if (!page.had_content && !is_page_empty(book.pages[page.page])) return false;
    }
    for (const PlacedAa& placed : plan.placed) {
        const bool page_listed = std::any_of(plan.pages.begin(), plan.pages.end(),
                                             [&](const ImportPage& p) { return p.page == placed.page; });
        if (!page_listed || placed.slot < 0 || placed.slot >= kPartsPerPage || placed.aa.file < 0 ||
            static_cast<std::size_t>(placed.aa.file) >= files.size() || placed.aa.entry < 0)
            return false;
        const auto& entries = files[static_cast<std::size_t>(placed.aa.file)].entries;
        if (static_cast<std::size_t>(placed.aa.entry) >= entries.size() ||
            placed.text_bytes > entries[static_cast<std::size_t>(placed.aa.entry)].text.size() ||
            placed.text_bytes > kTextMax)
            return false;
    }
    for (const ImportPage& page : plan.pages) {
        clear_page(book.pages[page.page]);
        set_string(book.page_names[page.page], page.name);
    }
    for (const PlacedAa& placed : plan.placed) {
        const AaEntry& entry = files[static_cast<std::size_t>(placed.aa.file)]
                                   .entries[static_cast<std::size_t>(placed.aa.entry)];
        Part& part = book.pages[placed.page].slots[placed.slot];
        clear_slot(part);
        part.in_use = true;
        part.x = placed.x;
        part.y = placed.y;
        set_text(part, std::string_view(entry.text).substr(0, placed.text_bytes));
        set_name(part, placed.name);
        part.box = placed.box;
    }
    return true;
}

ImportPlan import_into_library(LibraryBook& book, std::span<const ImportFile> files,
                               const CharWidthTable& widths, const ImportOptions& options) {
    ImportPlan plan = plan_import(book, files, widths, options);
    if (plan.ok) apply_import(book, plan, files);
    return plan;
}

}  // namespace glyphora
