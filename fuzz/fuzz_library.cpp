// The library readers on arbitrary bytes: read_library, read_library_page and read_library_into_preview
// agree on the result (0, 3 or 5) with the all-or-nothing check; what they read ends within its
// capacities; and a library read whole is written back in a form that reads to the same bytes again, with
// the page read alone and the pages read into the preview equal to the library's.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "storage/library_file.h"
#include "storage/page_file.h"
#include "storage/stored_items.h"

namespace {

using namespace glyphora;

void check(bool ok) {
    if (!ok) __builtin_trap();
}

struct Books {
    std::unique_ptr<LibraryBook> read = std::make_unique<LibraryBook>();
    std::unique_ptr<LibraryBook> again = std::make_unique<LibraryBook>();
    std::unique_ptr<LibraryBook> one_page = std::make_unique<LibraryBook>();
    std::unique_ptr<PreviewBook> preview = std::make_unique<PreviewBook>();
};

std::string stored(const Page& page) {
    std::string out;
    ByteWriter writer(out);
    for (const Part& part : page.slots) write_part(part, writer, kWrittenVersion);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Books books;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const FileStatus status = parse_library(bytes, *books.read);
    check(status == FileStatus::ok || status == FileStatus::wrong_magic || status == FileStatus::cut_off);
    check(check_file_bytes(bytes, FileKind::library) == status);
    const int source = size > 0 ? data[size - 1] % kLibraryPages : 0;
    check(parse_library_page(bytes, source, *books.one_page, 3) == status);
    check(parse_library_into_preview(bytes, *books.preview) == status);
    for (const auto& name : books.read->page_names) check(std::memchr(name, 0, kNameCapacity));
    for (const Page& page : books.read->pages)
        for (const Part& part : page.slots)
            check(std::memchr(part.text, 0, kTextCapacity) &&
                  std::memchr(part.comment, 0, kCommentCapacity) && std::memchr(part.name, 0, kNameCapacity));
    if (status == FileStatus::ok) {
        const std::string written = serialize_library(*books.read);
        check(parse_library(written, *books.again) == FileStatus::ok);
        check(serialize_library(*books.again) == written);
        check(stored(books.one_page->pages[3]) == stored(books.read->pages[source]));
        check(get_string(books.one_page->page_names[3]) == get_string(books.read->page_names[source]));
        for (int p = 0; p < kLibraryPages; ++p)
            check(stored(books.preview->pages[p]) == stored(books.read->pages[p]));
    }
    return 0;
}
