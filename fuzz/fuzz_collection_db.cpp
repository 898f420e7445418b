// Opening the collection index on arbitrary bytes as its database file: it opens (rebuilt when it is no
// index of this version) or says why not; what opens can be scanned, listed and searched without a crash,
// and a failure names itself.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "aa_fuzz_checks.h"
#include "collection/collection_index.h"

namespace {

using namespace glyphora::collection;
using glyphora::fuzz::check;

std::filesystem::path folder() {
    static const std::filesystem::path f = [] {
        const char* tmp = std::getenv("TMPDIR");
        auto path = std::filesystem::path(tmp && *tmp ? tmp : "/tmp") /
                    ("glyphora-fuzz-collection-db-" + std::to_string(::getpid()));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path / "root");
        std::ofstream(path / "root" / "a.mlt", std::ios::binary)
            << "\x81\x79x\x81\x7A\r\n[SPLIT]\r\nab cd\r\n";
        return path;
    }();
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::filesystem::path db = folder() / "index.sqlite";
    for (const char* suffix : {"", "-wal", "-shm", ".damaged"}) std::filesystem::remove(db.string() + suffix);
    std::ofstream(db, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    std::string error;
    bool rebuilt = false;
    auto index = CollectionIndex::open(db.string(), error, &rebuilt);
    if (!index) {
        check(!error.empty());
        return 0;
    }
    std::string why;
    index->add_root((folder() / "root").string(), why);
    ScanProgress progress;
    const ScanResult result = index->scan(progress);
    check(result.ok || !result.error.empty());
    for (const TreeNode& root : index->children(""))
        for (const TreeNode& node : index->children(root.location))
            if (node.kind == TreeNode::Kind::file)
                for (const AaInfo& aa : index->aas_of_file(node.file_id)) {
                    std::string text;
                    check(index->text_of(aa, text, why) || !why.empty());
                }
    index->search("ab x", 10);
    index->find(std::string_view("a.mlt:2"));
    return 0;
}
