#include "storage/recovery_file.h"

#include <memory>
#include <new>

#include "storage/page_file.h"
#include "storage/stored_items.h"

namespace glyphora {

std::string serialize_recovery(const PreviewBook& book) {
    std::string out(kRecoveryMagic);
    out += '\0';
    out += get_string(book.collection_name);
    out += '\0';
    out += serialize_collection(book);
    return out;
}

FileStatus parse_recovery(std::string_view bytes, PreviewBook& book) {
    const std::size_t magic_end = bytes.find('\0');
    if (magic_end == std::string_view::npos || bytes.substr(0, magic_end) != kRecoveryMagic)
        return FileStatus::wrong_magic;
    const std::size_t name_start = magic_end + 1;
    const std::size_t name_end = bytes.find('\0', name_start);
    if (name_end == std::string_view::npos) return FileStatus::cut_off;
    const std::string_view name = bytes.substr(name_start, name_end - name_start);
    if (name.size() >= kPathCapacity) return FileStatus::cut_off;

    std::unique_ptr<PreviewBook> read(new (std::nothrow) PreviewBook);
    if (!read) return FileStatus::cannot_open_for_reading;
    // Every collection in a recovery file is of the written version, with per-page settings of its own.
    const FileStatus status = parse_collection(bytes.substr(name_end + 1), *read, RenderSettings{});
    if (status != FileStatus::ok) return status == FileStatus::wrong_magic ? FileStatus::cut_off : status;
    set_string(read->collection_name, name);
    read->current_page = book.current_page;
    read->modified = book.modified;
    book = *read;
    return FileStatus::ok;
}

FileStatus read_recovery(const std::string& path, PreviewBook& book) {
    std::string bytes;
    try {
        if (!read_whole_file(path, bytes).ok) return FileStatus::cannot_open_for_reading;
    } catch (const std::bad_alloc&) {
        return FileStatus::cannot_open_for_reading;
    }
    return parse_recovery(bytes, book);
}

IoResult write_recovery(const std::string& path, const PreviewBook& book) {
    // Written from the autosave's worker thread, where an escaping exception would end the program.
    try {
        return write_file_atomically(path, serialize_recovery(book));
    } catch (const std::bad_alloc&) {
        return IoResult{false, "cannot write " + path + ": not enough memory"};
    }
}

}  // namespace glyphora
