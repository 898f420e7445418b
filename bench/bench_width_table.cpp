// Building the width table from the rendering font, and the width lookup the renderer leans on.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "system/font_metrics.h"

namespace {

const std::string kDefaultFace = "\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E";

void BM_BuildFromFont(benchmark::State& state) {
    for (auto _ : state) {
        auto table = std::make_unique<glyphora::CharWidthTable>();
        std::string error;
        if (!glyphora::build_width_table_from_font(*table, kDefaultFace, 120, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        benchmark::DoNotOptimize(table->width(0x8140));
    }
}
BENCHMARK(BM_BuildFromFont)->Unit(benchmark::kMillisecond);

void BM_Width(benchmark::State& state) {
    auto table = std::make_unique<glyphora::CharWidthTable>();
    std::string error;
    glyphora::build_width_table_from_font(*table, kDefaultFace, 120, error);
    int code = 0x8140;
    for (auto _ : state) {
        benchmark::DoNotOptimize(table->width(code));
        code = code == 0x9FFC ? 0x8140 : code + 1;
    }
}
BENCHMARK(BM_Width);

}  // namespace
