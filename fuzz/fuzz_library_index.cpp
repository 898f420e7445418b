// The library index reader on arbitrary bytes: its result (0, 3 or 5) agrees with the library reader, its
// names end within their capacity, and on success it names the same pages and marks exactly the pages
// that hold a part as used.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "storage/library_file.h"

namespace {

using namespace glyphora;

void check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto library = std::make_unique<LibraryBook>();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    LibraryIndex index;
    const FileStatus status = parse_library_index(bytes, index);
    check(status == FileStatus::ok || status == FileStatus::wrong_magic || status == FileStatus::cut_off);
    check(parse_library(bytes, *library) == status);
    for (const auto& name : index.page_names) check(std::memchr(name, 0, kNameCapacity));
    if (status == FileStatus::ok) {
        for (int p = 0; p < kLibraryPages; ++p) {
            check(index.page_used[p] == !is_page_empty(library->pages[p]));
            check(get_string(index.page_names[p]) == get_string(library->page_names[p]));
        }
    }
    return 0;
}
