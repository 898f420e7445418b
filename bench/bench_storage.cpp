// Loading and saving a full page collection: 30 pages of 50 parts, each with a 16 KB text (about 25 MB).
// Both must stay well under 200 ms; the save includes flushing the file to the disk. The autosave's copy
// of such a book on the user-interface thread must stay under 16 ms.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "model/books.h"
#include "storage/page_file.h"
#include "storage/recovery_file.h"

namespace {

namespace fs = std::filesystem;
using namespace glyphora;

// A full text: lines of full-width characters ("\x82\xa0" is "あ") and ASCII, CR LF between them.
std::string full_text(int seed) {
    std::string text;
    while (text.size() < kTextCapacity - 1) {
        for (int i = 0; i < 20; ++i) text += "\x82\xa0";
        text += " aa ";
        text += std::to_string(seed);
        text += "\r\n";
    }
    text.resize(kTextCapacity - 1);
    return text;
}

struct Fixture {
    fs::path dir;
    std::string path;
    std::unique_ptr<PreviewBook> book = std::make_unique<PreviewBook>();
    std::unique_ptr<PreviewBook> target = std::make_unique<PreviewBook>();

    Fixture() {
        const char* home = std::getenv("GLYPHORA_HOME");
        dir = (home ? fs::path(home) : fs::temp_directory_path()) /
              ("glyphora-bench-" + std::to_string(getpid()));
        fs::create_directories(dir);
        path = (dir / "full.aap").string();
        for (int p = 0; p < kPreviewPages; ++p) {
            for (int s = 0; s < kPartsPerPage; ++s) {
                Part& part = book->pages[p].slots[s];
                part.in_use = true;
                part.x = s * 11;
                part.y = s * 18;
                set_text(part, full_text(p * kPartsPerPage + s));
                set_comment(part, "comment");
                set_name(part, "part " + std::to_string(s));
            }
        }
        write_collection(path, *book);
    }
    ~Fixture() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_SaveCollection(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state)
        if (write_collection(f.path, *f.book) != FileStatus::ok) state.SkipWithError("write failed");
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(f.path)));
}
BENCHMARK(BM_SaveCollection)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadCollection(benchmark::State& state) {
    Fixture& f = fixture();
    const RenderSettings global = default_global_render_settings();
    for (auto _ : state)
        if (read_collection(f.path, *f.target, global) != FileStatus::ok) state.SkipWithError("read failed");
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(f.path)));
}
BENCHMARK(BM_LoadCollection)->Unit(benchmark::kMillisecond)->UseRealTime();

// The form the load command uses: the whole file is checked before the book is touched.
void BM_LoadCollectionAllOrNothing(benchmark::State& state) {
    Fixture& f = fixture();
    const RenderSettings global = default_global_render_settings();
    for (auto _ : state)
        if (read_collection_all_or_nothing(f.path, *f.target, global) != FileStatus::ok)
            state.SkipWithError("read failed");
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(f.path)));
}
BENCHMARK(BM_LoadCollectionAllOrNothing)->Unit(benchmark::kMillisecond)->UseRealTime();

// What the autosave does on the user-interface thread: a plain copy of the whole preview book, which must
// stay under a frame (16 ms) for a full collection. The write that follows runs on a worker thread.
void BM_AutosaveCopyOnUiThread(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        auto copy = std::make_unique<PreviewBook>(*f.book);
        benchmark::DoNotOptimize(copy->pages[29].slots[49].text[0]);
    }
}
BENCHMARK(BM_AutosaveCopyOnUiThread)->Unit(benchmark::kMillisecond)->UseRealTime();

// The worker thread's part: the recovery file written atomically.
void BM_AutosaveWriteOnWorker(benchmark::State& state) {
    Fixture& f = fixture();
    const std::string path = (f.dir / "unsaved-pages.recovery").string();
    for (auto _ : state)
        if (!write_recovery(path, *f.book).ok) state.SkipWithError("write failed");
}
BENCHMARK(BM_AutosaveWriteOnWorker)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
