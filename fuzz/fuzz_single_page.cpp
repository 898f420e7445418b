// The single page reader on arbitrary bytes: the only results are 0, 3 and 5; the all-or-nothing check
// agrees with the reader; every string read ends within its capacity; and a page read whole is written back
// in a form that reads to the same bytes again.
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto read = std::make_unique<Page>();
    static const auto again = std::make_unique<Page>();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const FileStatus status = parse_single_page(bytes, *read);
    check(status == FileStatus::ok || status == FileStatus::wrong_magic || status == FileStatus::cut_off);
    check(check_file_bytes(bytes, FileKind::single_page) == status);
    for (const Part& part : read->slots)
        check(std::memchr(part.text, 0, kTextCapacity) && std::memchr(part.comment, 0, kCommentCapacity) &&
              std::memchr(part.name, 0, kNameCapacity));
    if (status == FileStatus::ok) {
        const std::string written = serialize_single_page(*read);
        check(parse_single_page(written, *again) == FileStatus::ok);
        check(serialize_single_page(*again) == written);
    }
    return 0;
}
