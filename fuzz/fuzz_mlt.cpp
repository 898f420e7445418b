// The MLT reader on arbitrary bytes: it reads or refuses with a message; what it reads has CR LF line ends
// only and no NUL; written back as MLT the entries split into the same texts again (or the writer names
// why not); and their placement into the library never overlaps two parts of a page and accounts for every
// AA, whether the file is split before or while it is placed.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "aa_fuzz_checks.h"
#include "exchange/aa_formats.h"
#include "exchange/library_import.h"

namespace {

using namespace glyphora;

using fuzz::check;
using fuzz::clean_text;

const CharWidthTable& widths() {
    static const std::unique_ptr<CharWidthTable> table = [] {
        auto file = std::make_unique<MetricsFile>();
        parse_metrics("line_height 18\ndefault 8\n0x20 5\n0x8140 11\n", *file);
        auto t = std::make_unique<CharWidthTable>();
        MetricsFileSource source(*file);
        t->build(source);
        return t;
    }();
    return *table;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::unique_ptr<LibraryBook> book = std::make_unique<LibraryBook>();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const AaReadResult read = read_aa_bytes(bytes, AaFormat::mlt);
    check(read.ok != !read.error.empty());
    if (!read.ok) {
        check(read.entries.empty());
        return 0;
    }
    for (const AaEntry& entry : read.entries) check(entry.title.empty() && clean_text(entry.text));

    const AaWriteResult written = write_aa_bytes(read.entries, AaFormat::mlt);
    if (written.ok) {
        std::vector<AaEntry> expected;
        for (std::size_t i = 0, skip = 0; i < read.entries.size(); ++i) {
            if (skip < written.skipped_blank.size() && written.skipped_blank[skip] == i) {
                ++skip;
                continue;
            }
            expected.push_back(read.entries[i]);
        }
        check(split_mlt(written.bytes) == expected);
    } else {
        check(!written.error.empty() && written.bytes.empty());
    }

    const std::vector<ImportFile> files = {{"fuzz.mlt", read.entries}};
    const ImportPlan plan = plan_import(*book, files, widths());
    check(plan.ok);
    check(plan.placed.size() + not_placed_count(plan) == read.entries.size());
    for (std::size_t i = 0; i < plan.placed.size(); ++i) {
        const PlacedAa& a = plan.placed[i];
        check(a.name.size() < kNameCapacity && a.text_bytes < kTextCapacity);
        check(a.y % widths().line_height == 0);
        for (std::size_t j = i; j-- > 0 && plan.placed[j].page == a.page;) {
            const Box& b = plan.placed[j].box;
            check(a.box.left >= b.right || b.left >= a.box.right || a.box.top >= b.bottom ||
                  b.top >= a.box.bottom);
        }
    }
    // Split as the import goes, the same AAs go to the same places, and those that did not fit are counted
    // alike.
    const ImportSource sources[] = {{"fuzz.mlt", AaFormat::mlt, std::string(bytes)}};
    const SourceImport lazy = plan_source_import(*book, sources, widths());
    check(lazy.plan.ok && lazy.plan.not_placed == plan.not_placed &&
          lazy.plan.pages.size() == plan.pages.size());
    check(lazy.plan.placed.size() == plan.placed.size() &&
          lazy.files[0].entries.size() == plan.placed.size());
    for (std::size_t i = 0; i < plan.placed.size(); ++i)
        check(lazy.plan.placed[i].box == plan.placed[i].box && lazy.files[0].entries[i] == read.entries[i]);
    return 0;
}
