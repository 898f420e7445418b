// The recovery file reader on arbitrary bytes: the only results are 0, 3 and 5; a failed read leaves the
// book exactly as it was; the name read ends within its capacity; and a book read whole is written back in
// a form that reads to the same bytes again.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "storage/page_file.h"
#include "storage/recovery_file.h"

namespace {

using namespace glyphora;

void check(bool ok) {
    if (!ok) __builtin_trap();
}

struct Books {
    std::unique_ptr<PreviewBook> read = std::make_unique<PreviewBook>();
    std::unique_ptr<PreviewBook> again = std::make_unique<PreviewBook>();
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Books books;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string before = serialize_recovery(*books.read);
    const FileStatus status = parse_recovery(bytes, *books.read);
    check(status == FileStatus::ok || status == FileStatus::wrong_magic || status == FileStatus::cut_off);
    check(std::memchr(books.read->collection_name, 0, kPathCapacity) != nullptr);
    if (status != FileStatus::ok) {
        check(serialize_recovery(*books.read) == before);
        return 0;
    }
    const std::string written = serialize_recovery(*books.read);
    check(parse_recovery(written, *books.again) == FileStatus::ok);
    check(serialize_recovery(*books.again) == written);
    return 0;
}
