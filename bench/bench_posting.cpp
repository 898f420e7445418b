// Counting and checking a full rendered page (80 lines of AA with entities, quotes and references, about
// 14 KB) as the strip does on every change: it must stay far below a frame (target: under 5 ms).
#include <benchmark/benchmark.h>

#include <string>

#include "posting/post_count.h"

namespace {

std::string full_page() {
    std::string page;
    const std::string pieces[] = {"\x81\x40", "&nbsp;",   "\"", "<", ">",
                                  "&#9825;",  "\x82\xA0", "  ", "A", "&ensp;"};
    for (int line = 0; line < 80; ++line) {
        std::string text = "\x81\x40";
        for (int i = 0; text.size() < 170; ++i) text += pieces[(line * 7 + i * 3) % 10];
        page += text + "\r\n";
    }
    return page;
}

void BM_CountAndCheckPage(benchmark::State& state) {
    const std::string page = full_page();
    const glyphora::posting::BoardProfile profile = glyphora::posting::builtin_profile();
    for (auto _ : state) {
        benchmark::DoNotOptimize(glyphora::posting::count_post(page, profile));
        benchmark::DoNotOptimize(glyphora::posting::check_page(page, profile));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(page.size()));
}
BENCHMARK(BM_CountAndCheckPage)->Unit(benchmark::kMicrosecond);

void BM_SplitPage(benchmark::State& state) {
    const std::string page = full_page();
    const glyphora::posting::BoardProfile profile = glyphora::posting::builtin_profile();
    for (auto _ : state) benchmark::DoNotOptimize(glyphora::posting::split_posts(page, profile));
}
BENCHMARK(BM_SplitPage)->Unit(benchmark::kMicrosecond);

}  // namespace
