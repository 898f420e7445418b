// The collection scan on arbitrary bytes as a ZIP file of the collection: the scan finishes and says ok;
// every file it lists has AAs or a reason; every AA it indexed reads back with the hash it was indexed
// with, CR LF line ends and no NUL, or the read is refused with a reason; the tree and a search work.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "aa_fuzz_checks.h"
#include "collection/aa_analysis.h"
#include "collection/collection_index.h"

namespace {

using namespace glyphora;
using namespace glyphora::collection;
using fuzz::check;

struct Rig {
    std::filesystem::path folder;
    std::unique_ptr<CollectionIndex> index;
};

Rig& rig() {
    static Rig* r = [] {
        auto* rig = new Rig;
        const char* tmp = std::getenv("TMPDIR");
        rig->folder = std::filesystem::path(tmp && *tmp ? tmp : "/tmp") /
                      ("glyphora-fuzz-collection-zip-" + std::to_string(::getpid()));
        std::filesystem::remove_all(rig->folder);
        std::filesystem::create_directories(rig->folder / "root");
        std::string error;
        rig->index = CollectionIndex::open((rig->folder / "index.sqlite").string(), error);
        check(rig->index != nullptr);
        check(rig->index->add_root((rig->folder / "root").string(), error));
        return rig;
    }();
    return *r;
}

void walk(CollectionIndex& index, const std::string& location, int depth) {
    check(depth < 64);
    for (const TreeNode& node : index.children(location)) {
        if (node.kind != TreeNode::Kind::file) {
            walk(index, node.location, depth + 1);
            continue;
        }
        const std::vector<AaInfo> aas = index.aas_of_file(node.file_id);
        check(static_cast<int>(aas.size()) == node.aa_count);
        check(node.error.empty() || aas.empty());
        for (const AaInfo& aa : aas) {
            std::string text, error;
            if (index.text_of(aa, text, error)) {
                check(content_hash(text) == aa.hash && fuzz::clean_text(text));
            } else {
                check(!error.empty());
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Rig& r = rig();
    const std::filesystem::path zip = r.folder / "root" / "input.zip";
    std::ofstream(zip, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    ScanProgress progress;
    const ScanResult result = r.index->scan(progress);
    check(result.ok);
    walk(*r.index, "", 0);
    r.index->search("a", 50);
    check(r.index->last_error().empty());
    return 0;
}
