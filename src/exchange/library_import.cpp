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
        } else if (item.kind == TextItemKind::reference) {
            // One character: a blank like the others, or kept as written, never cut in half, and closed
            // with ";" so that a digit after it in the name cannot extend it.
            const CharReference& ref = item.reference;
            if (is_unicode_space(ref.code_point) || ref.code_point <= ' ') {
                space = true;
                continue;
            }
            const auto length = static_cast<std::size_t>(ref.length);
            const std::size_t gap = space && !name.empty() ? 1 : 0;
            if (name.size() + gap + length + (ref.terminated ? 0 : 1) > kNameMax) break;
            if (gap) name += ' ';
            space = false;
            name.append(text.substr(pos - length, length));
            if (!ref.terminated) name += ';';
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

namespace {

// Places AAs one after another, as plan_import describes, into the plan it was given.
class Planner {
  public:
    Planner(const LibraryBook& book, const CharWidthTable& widths, const ImportOptions& options,
            ImportPlan& plan)
        : book_(book), widths_(widths), options_(options), plan_(plan), next_page_(options.start_page) {}

    // False once an AA found no room: no AA after it is placed either.
    bool has_room() const {
        if (out_of_pages_) return false;
        if (flow_.page >= 0 && !flow_.closed && flow_.slot < kPartsPerPage) return true;
        for (int page = next_page_; page < kLibraryPages; ++page)
            if (options_.replace || is_page_empty(book_.pages[page])) return true;
        return false;
    }

    // The AA's place, when it has one.
    bool place(const AaRef& ref, const AaEntry& entry, std::string_view file_name) {
        if (out_of_pages_) return false;
        const int64_t lh = widths_.line_height;
        const std::size_t length = part_text_length(entry.text);
        const std::string_view text = std::string_view(entry.text).substr(0, length);
        clear_slot(*scratch_);
        set_text(*scratch_, text);
        const Box size = measure_part(*scratch_, widths_);  // at (0, 0)
        const int64_t w = std::max<int64_t>(size.right, 0), h = std::max<int64_t>(size.bottom, lh);
        while (true) {
            if (flow_.page < 0 || flow_.closed || flow_.slot >= kPartsPerPage) {
                if (!open_page(ref.file, file_name)) {
                    out_of_pages_ = true;
                    return false;
                }
            }
            // Wrap: a new row below the tallest part of this one.
            if (flow_.x > 0 && flow_.x + w > options_.page_width) {
                flow_.row_top = (flow_.row_top + flow_.row_height + lh + lh - 1) / lh * lh;
                flow_.x = 0;
                flow_.row_height = 0;
            }
            if (flow_.slot > 0 && flow_.row_top + h > options_.page_height) {
                flow_.closed = true;
                continue;
            }
            break;
        }
        PlacedAa placed;
        placed.aa = ref;
        placed.page = flow_.page;
        placed.slot = flow_.slot++;
        placed.x = static_cast<int32_t>(flow_.x);
        placed.y = static_cast<int32_t>(flow_.row_top);
        placed.box =
            Box{size.left + placed.x, size.top + placed.y, size.right + placed.x, size.bottom + placed.y};
        placed.name = aa_part_name(entry.title, text);
        placed.text_bytes = length;
        plan_.placed.push_back(std::move(placed));
        if (length < entry.text.size()) plan_.cut.push_back({ref, entry.text.size(), length});
        flow_.x += w + options_.gap;
        flow_.row_height = std::max(flow_.row_height, h);
        if (h > options_.page_height) flow_.closed = true;
        return true;
    }

    // Once there is no room, every AA is one of the rest.
    void not_placed(const AaRef& ref) {
        out_of_pages_ = true;
        std::vector<UnplacedAas>& runs = plan_.not_placed;
        if (!runs.empty() && runs.back().file == ref.file)
            ++runs.back().count;
        else
            runs.push_back({ref.file, ref.entry, 1});
    }

  private:
    bool open_page(int file, std::string_view file_name) {
        while (next_page_ < kLibraryPages && !options_.replace && !is_page_empty(book_.pages[next_page_]))
            ++next_page_;
        if (next_page_ >= kLibraryPages) return false;
        flow_ = Flow{};
        flow_.page = next_page_++;
        if (static_cast<std::size_t>(file) >= pages_started_.size())
            pages_started_.resize(static_cast<std::size_t>(file) + 1, 0);
        plan_.pages.push_back({flow_.page,
                               import_page_name(file_name, ++pages_started_[static_cast<std::size_t>(file)]),
                               !is_page_empty(book_.pages[flow_.page])});
        return true;
    }

    const LibraryBook& book_;
    const CharWidthTable& widths_;
    const ImportOptions& options_;
    ImportPlan& plan_;
    int next_page_;
    std::vector<int> pages_started_;  // per file
    Flow flow_;
    bool out_of_pages_ = false;
    std::unique_ptr<Part> scratch_ = std::make_unique<Part>();  // for measuring
};

// The checks every plan starts with; an error for the user, or empty.
std::string plan_error(const CharWidthTable& widths, const ImportOptions& options) {
    if (options.start_page < 0 || options.start_page >= kLibraryPages)
        return "the start page must be 0 to " + std::to_string(kLibraryPages - 1);
    if (!widths.built || widths.line_height <= 0) return "the character widths are not measured";
    if (options.page_width <= 0 || options.page_height <= 0 || options.gap < 0)
        return "the page width and height must be positive and the gap not negative";
    return {};
}

}  // namespace

std::size_t not_placed_count(const ImportPlan& plan) {
    std::size_t n = 0;
    for (const UnplacedAas& run : plan.not_placed) n += run.count;
    return n;
}

ImportPlan plan_import(const LibraryBook& book, std::span<const ImportFile> files,
                       const CharWidthTable& widths, const ImportOptions& options) {
    ImportPlan plan;
    plan.error = plan_error(widths, options);
    if (!plan.error.empty()) return plan;
    Planner planner(book, widths, options, plan);
    for (std::size_t f = 0; f < files.size(); ++f) {
        for (std::size_t e = 0; e < files[f].entries.size(); ++e) {
            const AaRef ref{static_cast<int>(f), static_cast<int>(e)};
            if (!planner.place(ref, files[f].entries[e], files[f].name)) planner.not_placed(ref);
        }
    }
    plan.ok = true;
    return plan;
}

SourceImport plan_source_import(const LibraryBook& book, std::span<const ImportSource> sources,
                                const CharWidthTable& widths, const ImportOptions& options,
                                const ImportProgress& progress) {
    SourceImport result;
    ImportPlan& plan = result.plan;
    plan.error = plan_error(widths, options);
    if (!plan.error.empty()) return result;
    // Every source must open before anything is planned.
    std::vector<AaSplitter> splitters;
    splitters.reserve(sources.size());
    std::uint64_t total = 0;
    for (const ImportSource& source : sources) {
        splitters.emplace_back(source.bytes, source.format);
        if (!splitters.back().ok()) {
            plan.error = source.name + ": " + splitters.back().error();
            return result;
        }
        total += source.bytes.size();
        result.files.push_back({source.name, {}});
        result.reports.emplace_back().encoding = splitters.back().encoding();
    }

    Planner planner(book, widths, options, plan);
    std::uint64_t before = 0;  // the bytes of the sources already gone through
    AaEntry entry;
    for (std::size_t f = 0; f < sources.size(); ++f) {
        AaSplitter& splitter = splitters[f];
        std::vector<AaEntry>& entries = result.files[f].entries;
        for (int e = 0;; ++e) {
            const AaRef ref{static_cast<int>(f), e};
            if (planner.has_room()) {
                if (!splitter.next(entry, result.reports[f])) break;
                if (planner.place(ref, entry, sources[f].name))
                    entries.push_back(std::move(entry));
                else
                    planner.not_placed(ref);
            } else {
                if (!splitter.skip()) break;
                planner.not_placed(ref);
            }
            if (progress && !progress(before + splitter.position(), total)) {
                result = SourceImport{};
                result.cancelled = true;
                return result;
            }
        }
        before += sources[f].bytes.size();
    }
    plan.ok = true;
    return result;
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
