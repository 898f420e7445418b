// Importing a 50 MB MLT file (generated here: many AAs of typical Shift_JIS AA lines with a few character
// references): its decoding, its reading into entries, the placement of as many entries as the library
// takes, and the whole import together, which must stay under 1 s. The same file as UTF-8 is read too.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "exchange/aa_formats.h"
#include "exchange/aa_text.h"
#include "exchange/library_import.h"
#include "system/encoding.h"

namespace {

using namespace glyphora;

constexpr std::size_t kFileBytes = 50u << 20;

// Lines as AA boards are full of: full-width spaces and symbols, kana, half-width kana and ASCII.
const char* const kLines[] = {
    "\x81\x40\x81\x40\x81\x40\x81\x40\x81\xC8\x81\x51\x81\xC8",  // 　　　　∧＿∧
    "\x81\x40\x81\x40\x81\x40\x81\x69\x81\x40\x81\x4C\x81\xCD\x81\x4D\x81\x6A\x81\x40\x81\x83\x83\x82\x83\x69"
    "\x81\x5B",  // 　　　（　´∀｀）　＜モナー
    "\x81\x40\x81\x40\x81\x40\x81\x69\x81\x40\x81\x40\x81\x40\x81\x40\x81\x6A",  // 　　　（　　　　）
    "\x81\x40\x81\x40\x81\x40\x81\x62\x81\x40\x81\x62\x81\x40\x81\x62",          // 　　　｜　｜　｜
    "\x81\x40\x81\x40\x81\x40\x81\x69\x81\x51\x81\x69\x81\x51\x81\x6A",          // 　　　（＿（＿）
    "  (\x81\x4C\x81\x45\x83\xD6\x81\x45\x81\x4D) \xB1\xB2\xB3 &#12354; &#x3042;",  // (´・ω・｀) ｱｲｳ
    "\x81\x40\x81\x40/  \x81\x50\x81\x50\x81\x50\x81\x50\x81\x50\x81\x50\\ &#160;&#128512;",
    "| \x82\xA0\x82\xA2\x82\xA4\x82\xA6\x82\xA8 |",
};

std::string sjis_mlt() {
    std::string out;
    out.reserve(kFileBytes + 4096);
    unsigned n = 0;
    while (out.size() < kFileBytes) {
        if (!out.empty()) out += "[SPLIT]\r\n";
        const int lines = 8 + static_cast<int>(n % 17);  // 8 to 24 lines
        for (int i = 0; i < lines; ++i) {
            out += kLines[(n + static_cast<unsigned>(i) * 3) % std::size(kLines)];
            out += "\r\n";
        }
        ++n;
    }
    return out;
}

const std::string& sjis_file() {
    static const std::string file = sjis_mlt();
    return file;
}

const std::string& utf8_file() {
    static const std::string file = sjis_to_utf8(sjis_file()).text;
    return file;
}

const CharWidthTable& widths() {
    static const std::unique_ptr<CharWidthTable> table = [] {
        auto file = std::make_unique<MetricsFile>();
        parse_metrics("line_height 18\ndefault 16\n0x20 5\n0x8140 11\n", *file);
        auto t = std::make_unique<CharWidthTable>();
        MetricsFileSource source(*file);
        t->build(source);
        return t;
    }();
    return *table;
}

void BM_DecodeSjisMlt(benchmark::State& state) {
    const std::string& file = sjis_file();
    for (auto _ : state) benchmark::DoNotOptimize(decode_aa_text(file));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
}
BENCHMARK(BM_DecodeSjisMlt)->Unit(benchmark::kMillisecond);

void BM_ReadSjisMlt(benchmark::State& state) {
    const std::string& file = sjis_file();
    std::size_t entries = 0;
    for (auto _ : state) {
        const AaReadResult r = read_aa_bytes(file, AaFormat::mlt);
        entries = r.entries.size();
    }
    state.counters["entries"] = static_cast<double>(entries);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
}
BENCHMARK(BM_ReadSjisMlt)->Unit(benchmark::kMillisecond);

void BM_ReadUtf8Mlt(benchmark::State& state) {
    const std::string& file = utf8_file();
    for (auto _ : state) benchmark::DoNotOptimize(read_aa_bytes(file, AaFormat::mlt));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
}
BENCHMARK(BM_ReadUtf8Mlt)->Unit(benchmark::kMillisecond);

// Placement and its application into an empty library: 1000 parts, the rest reported as not placed.
void BM_PlaceEntries(benchmark::State& state) {
    const std::vector<ImportFile> files = {{"bench.mlt", read_aa_bytes(sjis_file(), AaFormat::mlt).entries}};
    auto book = std::make_unique<LibraryBook>();
    std::size_t placed = 0;
    for (auto _ : state) {
        clear_library(*book);
        placed = import_into_library(*book, files, widths()).placed.size();
    }
    state.counters["placed"] = static_cast<double>(placed);
}
BENCHMARK(BM_PlaceEntries)->Unit(benchmark::kMillisecond);

// The whole import of the file: read, decode, split, place, apply. Must stay under 1 s.
void BM_ImportSjisMlt(benchmark::State& state) {
    const std::string& file = sjis_file();
    auto book = std::make_unique<LibraryBook>();
    for (auto _ : state) {
        clear_library(*book);
        std::vector<ImportFile> files = {{"bench.mlt", read_aa_bytes(file, AaFormat::mlt).entries}};
        benchmark::DoNotOptimize(import_into_library(*book, files, widths()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
}
BENCHMARK(BM_ImportSjisMlt)->Unit(benchmark::kMillisecond);

}  // namespace
