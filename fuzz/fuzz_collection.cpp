// The page collection reader on arbitrary bytes: the only results are 0, 3 and 5; the check that the
// all-or-nothing reader makes first agrees with the reader; every string read ends within its capacity; and a
// collection read whole is written back in a form that reads to the same bytes again.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "storage/page_file.h"
#include "storage/stored_items.h"

namespace {

using namespace glyphora;

void check(bool ok) {
    if (!ok) __builtin_trap();
}

void check_terminated(const Part& part) {
    check(std::memchr(part.text, 0, kTextCapacity) && std::memchr(part.comment, 0, kCommentCapacity) &&
          std::memchr(part.name, 0, kNameCapacity));
}

struct Books {
    std::unique_ptr<PreviewBook> read = std::make_unique<PreviewBook>();
    std::unique_ptr<PreviewBook> again = std::make_unique<PreviewBook>();
    RenderSettings global = default_global_render_settings();
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Books books;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const FileStatus status = parse_collection(bytes, *books.read, books.global);
    check(status == FileStatus::ok || status == FileStatus::wrong_magic || status == FileStatus::cut_off);
    check(check_file_bytes(bytes, FileKind::collection) == status);
    for (const Page& page : books.read->pages)
        for (const Part& part : page.slots) check_terminated(part);
    if (status == FileStatus::ok) {
        const std::string written = serialize_collection(*books.read);
        check(parse_collection(written, *books.again, books.global) == FileStatus::ok);
        check(serialize_collection(*books.again) == written);
    }
    return 0;
}
