// glyphora-cli collection: the AA collection index the browser window uses, from the command line.

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "cli/cli.h"
#include "cli/inputs.h"
#include "cli/shown_text.h"
#include "collection/collection_index.h"
#include "render/char_width_table.h"

namespace glyphora::cli {

namespace {

constexpr const char* kCollectionUsage =
    "Usage: glyphora-cli collection index [OPTIONS] DIR|ZIP...\n"
    "       glyphora-cli collection search [OPTIONS] WORDS...\n"
    "       glyphora-cli collection show [OPTIONS] FILE:N\n"
    "\n"
    "The AA collection: folders and ZIP files of MLT, AST and TXT files, indexed into a database in\n"
    "the cache folder that the collection window shares.\n"
    "\n"
    "  index    adds each DIR or ZIP to the collection and brings the whole index up to date: new\n"
    "           and changed files are read, removed ones leave. Files that cannot be read are\n"
    "           named on standard error and do not stop the rest. Ctrl+C stops, keeping what\n"
    "           was read.\n"
    "  search   prints one line per AA that matches all WORDS: FILE:N, a tab and its heading\n"
    "           (or AST title); copies of the same AA elsewhere follow in a third column.\n"
    "           WORDS match file and folder names, headings, AST titles and the words inside\n"
    "           the AAs; case and full or half width do not matter.\n"
    "  show     prints the text of the AA FILE:N exactly as search prints it (FILE!MEMBER:N for a\n"
    "           file inside a ZIP), in Shift_JIS.\n"
    "\n"
    "Options:\n"
    "  --database FILE     use this index instead of the one in the cache folder\n"
    "  --limit N           search: print at most N AAs (default 200, 0 for all)\n"
    "  --utf8              show: print UTF-8, numeric references as their characters\n"
    "  --settings FILE     index: take the font settings from FILE\n"
    "  --set KEY=VALUE     index: override one setting (repeatable)\n"
    "  --metrics FILE      index: measure the AAs with a metrics file instead of the rendering font\n"
    "  --help              show this help\n"
    "\n"
    "Exit status: 0 success, 1 usage error, 2 a DIR, ZIP or FILE:N cannot be read or found,\n"
    "3 the index cannot be opened or written.\n";

std::atomic<collection::ScanProgress*> g_progress{nullptr};

extern "C" void stop_scan(int) {
    if (collection::ScanProgress* p = g_progress.load()) p->cancel = true;
}

std::unique_ptr<collection::CollectionIndex> open_index(const std::string& path) {
    std::string error;
    bool rebuilt = false;
    auto index = collection::CollectionIndex::open(path.empty() ? collection::default_database_path() : path,
                                                   error, &rebuilt);
    if (!index) {
        print_error(error);
        return nullptr;
    }
    if (rebuilt) print_error("the collection index was damaged or of an older version and has been rebuilt");
    return index;
}

ExitCode run_index(const std::vector<std::string>& roots, const std::string& database, CliSettings& cli) {
    if (roots.empty()) return usage_error("collection index needs a DIR or ZIP", kCollectionUsage);
    if (const ExitCode rc = load_settings(cli); rc != ExitCode::ok) return rc;
    auto widths = std::make_unique<CharWidthTable>();
    if (const ExitCode rc = build_widths(cli, *widths); rc != ExitCode::ok) return rc;
    auto index = open_index(database);
    if (!index) return ExitCode::output;
    index->set_widths(widths.get());
    ExitCode status = ExitCode::ok;
    for (const std::string& root : roots) {
        std::string error;
        if (!index->add_root(root, error)) {
            print_error(error);
            status = ExitCode::input;
        }
    }
    if (status != ExitCode::ok) return status;

    collection::ScanProgress progress;
    collection::ScanResult result;
    g_progress = &progress;
    struct sigaction action {
    }, previous{};
    action.sa_handler = stop_scan;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous);
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        result = index->scan(progress);
        finished = true;
    });
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    bool shown = false;
    while (!finished) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (terminal && progress.files_total > 0) {
            std::fprintf(stderr, "\r%llu/%llu files, %llu AAs ",
                         static_cast<unsigned long long>(progress.files_done.load()),
                         static_cast<unsigned long long>(progress.files_total.load()),
                         static_cast<unsigned long long>(progress.aas.load()));
            shown = true;
        }
    }
    worker.join();
    sigaction(SIGINT, &previous, nullptr);
    g_progress = nullptr;
    if (shown) std::fputs("\n", stderr);
    for (const std::string& failure : result.failures) print_error(failure);
    if (!result.ok) {
        print_error(result.error);
        return ExitCode::output;
    }
    std::string out = std::to_string(result.files_read) + " files read, " +
                      std::to_string(result.files_unchanged) + " unchanged, " +
                      std::to_string(result.files_removed) + " removed, " +
                      std::to_string(result.files_failed) + " cannot be read";
    if (result.cancelled) out += "; stopped before the end";
    return write_stdout(out + "\n");
}

std::string one_line(std::string s) {
    for (char& c : s)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return s;
}

ExitCode run_search(const std::vector<std::string>& words, const std::string& database, long limit) {
    if (words.empty()) return usage_error("collection search needs WORDS", kCollectionUsage);
    auto index = open_index(database);
    if (!index) return ExitCode::output;
    std::string joined;
    for (const std::string& w : words) joined += (joined.empty() ? "" : " ") + w;
    const std::vector<collection::SearchHit> hits = index->search(joined, static_cast<int>(limit));
    if (const std::string error = index->last_error(); !error.empty()) {
        print_error(error);
        return ExitCode::output;
    }
    std::string out;
    for (const collection::SearchHit& hit : hits) {
        out += hit.location + ":" + std::to_string(hit.aa.ordinal) + "\t" +
               one_line(hit.aa.heading.empty() ? hit.aa.title : hit.aa.heading);
        if (!hit.also_in.empty()) {
            out += "\talso in";
            for (const std::string& copy : hit.also_in) out += " " + copy;
        }
        out += "\n";
    }
    return write_stdout(out);
}

ExitCode run_show(const std::vector<std::string>& args, const std::string& database, bool utf8) {
    if (args.size() != 1) return usage_error("collection show needs one FILE:N", kCollectionUsage);
    auto index = open_index(database);
    if (!index) return ExitCode::output;
    const std::optional<collection::AaInfo> aa = index->find(args[0]);
    if (!aa) {
        const std::string error = index->last_error();
        print_error(error.empty() ? args[0] + ": no such AA in the collection index" : error);
        return error.empty() ? ExitCode::input : ExitCode::output;
    }
    std::string text, error;
    if (!index->text_of(*aa, text, error)) {
        print_error(error);
        return ExitCode::input;
    }
    text += "\r\n";
    return write_stdout(utf8 ? sjis_to_utf8_lenient_showing_references(text) : text);
}

}  // namespace

ExitCode cmd_collection(int argc, char** argv) {
    if (wants_help(argc, argv)) {
        std::fputs(kCollectionUsage, stdout);
        return ExitCode::ok;
    }
    if (argc < 3) return usage_error("collection needs index, search or show", kCollectionUsage);
    const std::string_view action = argv[2];
    if (action != "index" && action != "search" && action != "show")
        return usage_error("unknown collection command '" + std::string(action) + "'", kCollectionUsage);
    std::string database;
    long limit = 200;
    bool utf8 = false;
    CliSettings cli;
    std::vector<std::string> args;
    bool options_end = false;
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options_end || arg.empty() || arg[0] != '-' || arg == "-") {
            args.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_end = true;
        } else if (arg == "--database") {
            if (++i >= argc) return usage_error("--database needs a FILE", kCollectionUsage);
            database = argv[i];
        } else if (arg == "--limit" && action == "search") {
            if (++i >= argc || !parse_int(argv[i], 0, 1000000, limit))
                return usage_error("--limit needs a number from 0 to 1000000", kCollectionUsage);
        } else if (arg == "--utf8" && action == "show") {
            utf8 = true;
        } else if (action == "index") {
            bool taken = false;
            if (const ExitCode rc = take_settings_option(argc, argv, i, cli, taken, kCollectionUsage);
                rc != ExitCode::ok)
                return rc;
            if (!taken) return usage_error("unknown option '" + arg + "'", kCollectionUsage);
        } else {
            return usage_error("unknown option '" + arg + "'", kCollectionUsage);
        }
    }
    if (action == "index") return run_index(args, database, cli);
    if (action == "search") return run_search(args, database, limit);
    return run_show(args, database, utf8);
}

}  // namespace glyphora::cli
