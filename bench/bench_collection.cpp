// The collection index at a scale set by GLYPHORA_BENCH_COLLECTION_FILES (default 150 files; the real
// collection has 15,000, about 1.25 million AAs and 2.4 GB): the first index with the files in the page
// cache, opening again with nothing changed, one file changed, the first 200 results of searches, the
// index's size against the collection's and the memory the process took.
// The collection is written once to $TMPDIR/glyphora-bench-collection-<files> and kept for later runs.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "collection/collection_index.h"
#include "collection_generator.h"
#include "io/file_io.h"
#include "render/char_width_table.h"

namespace {

namespace fs = std::filesystem;
using namespace glyphora;
using Clock = std::chrono::steady_clock;

struct Fixture {
    fs::path folder, db;
    bench::GeneratedCollection made;
    std::unique_ptr<MetricsFile> metrics = std::make_unique<MetricsFile>();
    std::unique_ptr<CharWidthTable> widths = std::make_unique<CharWidthTable>();
};

long env_long(const char* name, long fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::atol(v) : fallback;
}

// Kilobytes of a /proc/self/status field.
long status_kb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::string(field).size());
    return 0;
}

std::uint64_t read_all(const fs::path& folder) {
    std::uint64_t bytes = 0;
    std::string content;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        if (!e.is_regular_file()) continue;
        read_whole_file(e.path().string(), content);
        bytes += content.size();
    }
    return bytes;
}

Fixture& fixture() {
    static Fixture* f = [] {
        auto* fx = new Fixture;
        const long files = env_long("GLYPHORA_BENCH_COLLECTION_FILES", 150);
        const char* tmp = std::getenv("TMPDIR");
        const fs::path base = tmp && *tmp ? tmp : "/tmp";
        fx->folder = base / ("glyphora-bench-collection-" + std::to_string(files));
        fx->db = base / ("glyphora-bench-collection-" + std::to_string(files) + ".sqlite");
        bench::CollectionShape shape;
        shape.files = static_cast<int>(files);
        shape.aas = env_long("GLYPHORA_BENCH_COLLECTION_AAS", files * 83);
        if (!fs::exists(fx->folder / "complete")) {
            fs::remove_all(fx->folder);
            fx->made = bench::generate_collection(fx->folder, shape);
            std::ofstream(fx->folder / "complete") << fx->made.bytes;
        }
        // The AA widths of the tests: every character 8 pixels, the spaces narrower.
        parse_metrics("line_height 18\ndefault 8\n0x20 5\n0x8140 11\n", *fx->metrics);
        MetricsFileSource source(*fx->metrics);
        fx->widths->build(source);
        return fx;
    }();
    return *f;
}

std::unique_ptr<collection::CollectionIndex> open_index(Fixture& fx) {
    std::string error;
    auto index = collection::CollectionIndex::open(fx.db.string(), error);
    if (!index) std::abort();
    index->set_widths(fx.widths.get());
    return index;
}

void seconds(benchmark::State& state, Clock::time_point start) {
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
}

void BM_FirstIndex(benchmark::State& state) {
    Fixture& fx = fixture();
    for (auto _ : state) {
        for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(fx.db.string() + suffix);
        const std::uint64_t bytes = read_all(fx.folder);  // the page cache is warm, as measured
        const auto start = Clock::now();
        auto index = open_index(fx);
        std::string error;
        index->add_root(fx.folder.string(), error);
        collection::ScanProgress progress;
        const collection::ScanResult r = index->scan(progress);
        seconds(state, start);
        if (!r.ok) state.SkipWithError(r.error.c_str());
        state.counters["files"] = r.files_read;
        state.counters["AAs"] = static_cast<double>(progress.aas.load());
        state.counters["collection_MB"] = static_cast<double>(bytes) / 1e6;
        std::uint64_t db_bytes = 0;
        for (const char* suffix : {"", "-wal"})
            if (fs::exists(fx.db.string() + suffix)) db_bytes += fs::file_size(fx.db.string() + suffix);
        state.counters["index_MB"] = static_cast<double>(db_bytes) / 1e6;
        state.counters["index_percent"] = 100.0 * static_cast<double>(db_bytes) / static_cast<double>(bytes);
        state.counters["peak_RSS_MB"] = static_cast<double>(status_kb("VmHWM:")) / 1024;
    }
}
BENCHMARK(BM_FirstIndex)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

void BM_ReopenUnchanged(benchmark::State& state) {
    Fixture& fx = fixture();
    for (auto _ : state) {
        const auto start = Clock::now();
        auto index = open_index(fx);
        collection::ScanProgress progress;
        const collection::ScanResult r = index->scan(progress);
        seconds(state, start);
        state.counters["unchanged"] = r.files_unchanged;
        state.counters["read"] = r.files_read;
    }
}
BENCHMARK(BM_ReopenUnchanged)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_OneFileChanged(benchmark::State& state) {
    Fixture& fx = fixture();
    fs::path victim;
    for (const auto& e : fs::recursive_directory_iterator(fx.folder))
        if (e.path().extension() == ".mlt") {
            victim = e.path();
            break;
        }
    int round = 0;
    for (auto _ : state) {
        std::ofstream(victim, std::ios::binary | std::ios::app) << "[SPLIT]\r\nchanged " << ++round << "\r\n";
        const auto start = Clock::now();
        auto index = open_index(fx);
        collection::ScanProgress progress;
        const collection::ScanResult r = index->scan(progress);
        seconds(state, start);
        state.counters["read"] = r.files_read;
    }
}
BENCHMARK(BM_OneFileChanged)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// The first 200 results of a search, the index open and warm as in the window.
void BM_Search200(benchmark::State& state, const char* words) {
    Fixture& fx = fixture();
    auto index = open_index(fx);
    std::size_t hits = 0;
    for (auto _ : state) {
        hits = index->search(words, 200).size();
        benchmark::DoNotOptimize(hits);
    }
    state.counters["hits"] = static_cast<double>(hits);
    state.counters["RSS_MB"] = static_cast<double>(status_kb("VmRSS:")) / 1024;
}
BENCHMARK_CAPTURE(BM_Search200, folder_name, "やる夫")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Search200, bubble_word, "お腹")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Search200, heading_and_word, "笑顔 大丈夫")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Search200, one_character, "夏")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Search200, rare, "働いたら負け ｷﾀ")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Search200, nothing, "存在しない言葉")->Unit(benchmark::kMillisecond);

// The thumbnails of one file: every AA's text read back from the file.
void BM_TextsOfOneFile(benchmark::State& state) {
    Fixture& fx = fixture();
    auto index = open_index(fx);
    const auto roots = index->children("");
    std::int64_t file_id = 0;
    for (auto nodes = index->children(roots.at(0).location); file_id == 0 && !nodes.empty();) {
        for (const auto& n : nodes)
            if (n.kind == collection::TreeNode::Kind::file) file_id = n.file_id;
        if (file_id == 0) nodes = index->children(nodes[0].location);
    }
    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        std::string text, error;
        for (const collection::AaInfo& aa : index->aas_of_file(file_id))
            if (index->text_of(aa, text, error)) bytes += text.size();
    }
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["RSS_MB"] = static_cast<double>(status_kb("VmRSS:")) / 1024;
    state.counters["peak_RSS_MB"] = static_cast<double>(status_kb("VmHWM:")) / 1024;
}
BENCHMARK(BM_TextsOfOneFile)->Unit(benchmark::kMillisecond);

}  // namespace
