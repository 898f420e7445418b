#include "storage/library_file.h"

#include <memory>

#include "storage/stored_items.h"

namespace glyphora {

namespace {

constexpr std::size_t kFrameBytes = 64;  // room for the magic and the end mark

template <class PageAt, class NameAt>
std::string serialize_library_pages(PageAt page_at, NameAt name_at) {
    std::size_t bound = kFrameBytes + kLibraryPages * kNameCapacity;
    for (int p = 0; p < kLibraryPages; ++p)
        for (const Part& part : page_at(p).slots) bound += stored_part_bound(part);
    std::string out;
    out.reserve(bound);
    ByteWriter writer(out);
    writer.put_string(magic_of(FileKind::library, kWrittenVersion));
    for (int p = 0; p < kLibraryPages; ++p) writer.put_string(name_at(p));
    for (int p = 0; p < kLibraryPages; ++p)
        for (const Part& part : page_at(p).slots) write_part(part, writer, kWrittenVersion);
    writer.put_string(kEndMark);
    return out;
}

bool valid_library_page(int page) {
    return page >= 0 && page < kLibraryPages;
}

// Reads the file and, for the all-or-nothing forms, checks all of it before anything is stored.
FileStatus load_library_bytes(const std::string& path, bool all_or_nothing, std::string& bytes) {
    FileStatus status = read_file_bytes(path, FileKind::library, bytes);
    if (status == FileStatus::ok && all_or_nothing) status = check_file_bytes(bytes, FileKind::library);
    return status;
}

}  // namespace

FileStatus parse_library(std::string_view bytes, LibraryBook& book) {
    ByteReader reader(bytes);
    const int version = read_magic(reader, FileKind::library);
    if (version == 0) return FileStatus::wrong_magic;
    clear_library(book);
    for (auto& name : book.page_names) reader.read_string(name);
    for (Page& page : book.pages)
        for (Part& part : page.slots)
            if (read_part(part, reader, version) != FileStatus::ok) return FileStatus::cut_off;
    return read_end_mark(reader);
}

std::string serialize_library(const LibraryBook& book) {
    return serialize_library_pages([&](int p) -> const Page& { return book.pages[p]; },
                                   [&](int p) { return get_string(book.page_names[p]); });
}

FileStatus parse_library_index(std::string_view bytes, LibraryIndex& index) {
    ByteReader reader(bytes);
    const int version = read_magic(reader, FileKind::library);
    if (version == 0) return FileStatus::wrong_magic;
    index = LibraryIndex{};
    for (auto& name : index.page_names) reader.read_string(name);
    const auto scratch = std::make_unique<Part>();
    for (int p = 0; p < kLibraryPages; ++p) {
        for (int s = 0; s < kPartsPerPage; ++s) {
            if (read_part(*scratch, reader, version) != FileStatus::ok) return FileStatus::cut_off;
            if (scratch->in_use) index.page_used[p] = true;
        }
    }
    return read_end_mark(reader);
}

FileStatus parse_library_page(std::string_view bytes, int source_page, LibraryBook& book,
                              int destination_page) {
    if (!valid_library_page(source_page) || !valid_library_page(destination_page))
        return FileStatus::cannot_open_for_reading;
    ByteReader reader(bytes);
    const int version = read_magic(reader, FileKind::library);
    if (version == 0) return FileStatus::wrong_magic;
    for (int p = 0; p < kLibraryPages; ++p) {
        const std::string_view name = reader.read_string(kNameCapacity);
        if (p == source_page) set_string(book.page_names[destination_page], name);
    }
    // Records are read into a scratch slot and copied only once whole, so a missing record keeps the slot.
    const auto scratch = std::make_unique<Part>();
    for (int p = 0; p < kLibraryPages; ++p) {
        for (int s = 0; s < kPartsPerPage; ++s) {
            if (read_part(*scratch, reader, version) != FileStatus::ok) return FileStatus::cut_off;
            if (p == source_page) book.pages[destination_page].slots[s] = *scratch;
        }
    }
    return read_end_mark(reader);
}

FileStatus parse_library_into_preview(std::string_view bytes, PreviewBook& preview) {
    ByteReader reader(bytes);
    const int version = read_magic(reader, FileKind::library);
    if (version == 0) return FileStatus::wrong_magic;
    clear_preview(preview);
    for (int p = 0; p < kLibraryPages; ++p) reader.read_string(kNameCapacity);
    for (int p = 0; p < kLibraryPages; ++p)
        for (Part& part : preview.pages[p].slots)
            if (read_part(part, reader, version) != FileStatus::ok) return FileStatus::cut_off;
    return read_end_mark(reader);
}

std::string serialize_library_from_preview(const PreviewBook& preview) {
    return serialize_library_pages([&](int p) -> const Page& { return preview.pages[p]; },
                                   [](int p) { return "page " + std::to_string(p); });
}

FileStatus read_library(const std::string& path, LibraryBook& book) {
    std::string bytes;
    const FileStatus status = load_library_bytes(path, false, bytes);
    return status == FileStatus::ok ? parse_library(bytes, book) : status;
}

FileStatus read_library_all_or_nothing(const std::string& path, LibraryBook& book) {
    std::string bytes;
    const FileStatus status = load_library_bytes(path, true, bytes);
    return status == FileStatus::ok ? parse_library(bytes, book) : status;
}

FileStatus write_library(const std::string& path, const LibraryBook& book) {
    return write_file_bytes(path, serialize_library(book));
}

FileStatus read_library_index(const std::string& path, LibraryIndex& index) {
    std::string bytes;
    const FileStatus status = load_library_bytes(path, false, bytes);
    return status == FileStatus::ok ? parse_library_index(bytes, index) : status;
}

FileStatus read_library_page(const std::string& path, int source_page, LibraryBook& book,
                             int destination_page) {
    if (!valid_library_page(source_page) || !valid_library_page(destination_page))
        return FileStatus::cannot_open_for_reading;
    std::string bytes;
    const FileStatus status = load_library_bytes(path, false, bytes);
    return status == FileStatus::ok ? parse_library_page(bytes, source_page, book, destination_page) : status;
}

FileStatus read_library_page_all_or_nothing(const std::string& path, int source_page, LibraryBook& book,
                                            int destination_page) {
    if (!valid_library_page(source_page) || !valid_library_page(destination_page))
        return FileStatus::cannot_open_for_reading;
    std::string bytes;
    const FileStatus status = load_library_bytes(path, true, bytes);
    return status == FileStatus::ok ? parse_library_page(bytes, source_page, book, destination_page) : status;
}

FileStatus read_library_into_preview(const std::string& path, PreviewBook& preview) {
    std::string bytes;
    const FileStatus status = load_library_bytes(path, false, bytes);
    return status == FileStatus::ok ? parse_library_into_preview(bytes, preview) : status;
}

FileStatus read_library_into_preview_all_or_nothing(const std::string& path, PreviewBook& preview) {
    std::string bytes;
    const FileStatus status = load_library_bytes(path, true, bytes);
    return status == FileStatus::ok ? parse_library_into_preview(bytes, preview) : status;
}

FileStatus write_library_from_preview(const std::string& path, const PreviewBook& preview) {
    return write_file_bytes(path, serialize_library_from_preview(preview));
}

}  // namespace glyphora
