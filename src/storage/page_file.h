#pragma once
// Page files: the page collection file (.aap: all 30 preview pages and their rendering settings) and the
// single page file (.aat: one page). Readers accept versions 1 to 3, writers write version 3.
//
// Every reader leaves its target untouched on cannot_open_for_reading and wrong_magic. On cut_off the plain
// readers leave what was read before the cut (the rest cleared); the *_all_or_nothing readers change the
// target only when the whole file was read (ok), so a damaged file never costs unsaved pages. Writers
// replace the file atomically: on cannot_open_for_writing (which covers a full disk) the old file is intact.

#include <string>
#include <string_view>

#include "model/books.h"
#include "storage/file_status.h"

namespace glyphora {

// In-memory forms: parse from the bytes of a whole file, serialize to the bytes of a whole file.
FileStatus parse_collection(std::string_view bytes, PreviewBook& book, const RenderSettings& global);
FileStatus parse_single_page(std::string_view bytes, Page& page);
std::string serialize_collection(const PreviewBook& book);
std::string serialize_single_page(const Page& page);
// Library pages 0 to 19 as collection pages 0 to 19, pages 20 to 29 empty, every page with `global`.
std::string serialize_collection_from_library(const LibraryBook& library, const RenderSettings& global);

// A version 1 collection stores no settings: every page then takes a copy of `global`.
FileStatus read_collection(const std::string& path, PreviewBook& book, const RenderSettings& global);
FileStatus read_collection_all_or_nothing(const std::string& path, PreviewBook& book,
                                          const RenderSettings& global);
FileStatus write_collection(const std::string& path, const PreviewBook& book);

FileStatus read_single_page(const std::string& path, Page& page);
FileStatus read_single_page_all_or_nothing(const std::string& path, Page& page);
FileStatus write_single_page(const std::string& path, const Page& page);

FileStatus write_collection_from_library(const std::string& path, const LibraryBook& library,
                                         const RenderSettings& global);

// The type named by the file name's extension, compared without regard to case.
enum class PageFileType { unknown, collection, single_page };
PageFileType page_file_type(std::string_view path);

// The load and save commands: ".aap" is the whole book, ".aat" the book's current page; any other
// extension gives unknown_extension without touching a file. Loading is all or nothing. A collection
// loaded or saved successfully becomes the book's collection_name (cleared when the path does not fit).
FileStatus load_page_file(const std::string& path, PreviewBook& book, const RenderSettings& global);
FileStatus save_page_file(const std::string& path, PreviewBook& book);

}  // namespace glyphora
