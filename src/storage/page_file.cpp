#include "storage/page_file.h"

#include <memory>
#include <optional>

#include "storage/file_kind.h"
#include "storage/stored_items.h"

namespace glyphora {

namespace {

constexpr std::size_t kFrameBytes = 64;  // room for the magic and the end mark

// Pages 0 to 29 of a collection in file order; `page_at(i)` gives page i.
template <class PageAt, class SettingsAt>
std::string serialize_collection_pages(PageAt page_at, SettingsAt settings_at) {
    std::size_t bound = kFrameBytes + kPreviewPages * RenderSettings::kCount;
    for (int p = 0; p < kPreviewPages; ++p)
        for (const Part& part : page_at(p).slots) bound += stored_part_bound(part);
    std::string out;
    out.reserve(bound);
    ByteWriter writer(out);
    writer.put_string(magic_of(FileKind::collection, kWrittenVersion));
    for (int p = 0; p < kPreviewPages; ++p)
        for (const Part& part : page_at(p).slots) write_part(part, writer, kWrittenVersion);
    for (int p = 0; p < kPreviewPages; ++p) {
        const RenderSettings& settings = settings_at(p);
        for (int i = 0; i < RenderSettings::kCount; ++i) writer.put_byte(settings.flag(i) ? 1 : 0);
    }
    writer.put_string(kEndMark);
    return out;
}

// A path cut to the buffer would name another file; an empty name makes the next dialog propose "*.aap".
void remember_collection(PreviewBook& book, const std::string& path) {
    set_string(book.collection_name,
               path.size() < kPathCapacity ? std::string_view(path) : std::string_view());
}

bool valid_page(int page) {
    return page >= 0 && page < kPreviewPages;
}

}  // namespace

FileStatus parse_collection(std::string_view bytes, PreviewBook& book, const RenderSettings& global) {
    ByteReader reader(bytes);
    const int version = read_magic(reader, FileKind::collection);
    if (version == 0) return FileStatus::wrong_magic;
    clear_preview(book);
    for (Page& page : book.pages)
        for (Part& part : page.slots)
            if (read_part(part, reader, version) != FileStatus::ok) return FileStatus::cut_off;
    for (RenderSettings& settings : book.page_settings) {
        if (version == 1) {
            settings = global;
        } else {
            for (int i = 0; i < RenderSettings::kCount; ++i) settings.flag(i) = reader.next_byte() != 0;
        }
    }
    return read_end_mark(reader);
}

FileStatus parse_single_page(std::string_view bytes, Page& page) {
    ByteReader reader(bytes);
    const int version = read_magic(reader, FileKind::single_page);
    if (version == 0) return FileStatus::wrong_magic;
    clear_page(page);
    for (Part& part : page.slots)
        if (read_part(part, reader, version) != FileStatus::ok) return FileStatus::cut_off;
    return read_end_mark(reader);
}

std::string serialize_collection(const PreviewBook& book) {
    return serialize_collection_pages([&](int p) -> const Page& { return book.pages[p]; },
                                      [&](int p) -> const RenderSettings& { return book.page_settings[p]; });
}

std::string serialize_single_page(const Page& page) {
    std::size_t bound = kFrameBytes;
    for (const Part& part : page.slots) bound += stored_part_bound(part);
    std::string out;
    out.reserve(bound);
    ByteWriter writer(out);
    writer.put_string(magic_of(FileKind::single_page, kWrittenVersion));
    for (const Part& part : page.slots) write_part(part, writer, kWrittenVersion);
    writer.put_string(kEndMark);
    return out;
}

std::string serialize_collection_from_library(const LibraryBook& library, const RenderSettings& global) {
    // One cleared page stands for pages 20 to 29.
    const auto empty = std::make_unique<Page>();
    clear_page(*empty);
    return serialize_collection_pages(
        [&](int p) -> const Page& { return p < kLibraryPages ? library.pages[p] : *empty; },
        [&](int) -> const RenderSettings& { return global; });
}

FileStatus read_collection(const std::string& path, PreviewBook& book, const RenderSettings& global) {
    std::string bytes;
    const FileStatus status = read_file_bytes(path, FileKind::collection, bytes);
    if (status != FileStatus::ok) return status;
    return parse_collection(bytes, book, global);
}

FileStatus read_collection_all_or_nothing(const std::string& path, PreviewBook& book,
                                          const RenderSettings& global) {
    std::string bytes;
    FileStatus status = read_file_bytes(path, FileKind::collection, bytes);
    if (status == FileStatus::ok) status = check_file_bytes(bytes, FileKind::collection);
    if (status != FileStatus::ok) return status;
    return parse_collection(bytes, book, global);
}

FileStatus write_collection(const std::string& path, const PreviewBook& book) {
    return write_file_bytes(path, serialize_collection(book));
}

FileStatus read_single_page(const std::string& path, Page& page) {
    std::string bytes;
    const FileStatus status = read_file_bytes(path, FileKind::single_page, bytes);
    if (status != FileStatus::ok) return status;
    return parse_single_page(bytes, page);
}

FileStatus read_single_page_all_or_nothing(const std::string& path, Page& page) {
    std::string bytes;
    FileStatus status = read_file_bytes(path, FileKind::single_page, bytes);
    if (status == FileStatus::ok) status = check_file_bytes(bytes, FileKind::single_page);
    if (status != FileStatus::ok) return status;
    return parse_single_page(bytes, page);
}

FileStatus write_single_page(const std::string& path, const Page& page) {
    return write_file_bytes(path, serialize_single_page(page));
}

FileStatus write_collection_from_library(const std::string& path, const LibraryBook& library,
                                         const RenderSettings& global) {
    return write_file_bytes(path, serialize_collection_from_library(library, global));
}

PageFileType page_file_type(std::string_view path) {
    const std::optional<FileKind> kind = file_kind_by_extension(path);
    if (kind == FileKind::collection) return PageFileType::collection;
    if (kind == FileKind::single_page) return PageFileType::single_page;
    return PageFileType::unknown;  // a library is no page file either
}

FileStatus load_page_file(const std::string& path, PreviewBook& book, const RenderSettings& global) {
    switch (page_file_type(path)) {
        case PageFileType::collection: {
            const FileStatus status = read_collection_all_or_nothing(path, book, global);
            if (status == FileStatus::ok) remember_collection(book, path);
            return status;
        }
        case PageFileType::single_page:
            if (!valid_page(book.current_page)) return FileStatus::cannot_open_for_reading;
            return read_single_page_all_or_nothing(path, book.pages[book.current_page]);
        case PageFileType::unknown:
            break;
    }
    return FileStatus::unknown_extension;
}

FileStatus save_page_file(const std::string& path, PreviewBook& book) {
    switch (page_file_type(path)) {
        case PageFileType::collection: {
            const FileStatus status = write_collection(path, book);
            if (status == FileStatus::ok) remember_collection(book, path);
            return status;
        }
        case PageFileType::single_page:
            if (!valid_page(book.current_page)) return FileStatus::cannot_open_for_writing;
            return write_single_page(path, book.pages[book.current_page]);
        case PageFileType::unknown:
            break;
    }
    return FileStatus::unknown_extension;
}

}  // namespace glyphora
