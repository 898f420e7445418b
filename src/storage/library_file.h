#pragma once
// The library file (.aal): 20 named pages of 50 part records. Readers accept versions 1 to 3 (1 and 2 have
// no border values), writers write version 3; an empty library is 1,056 bytes.
//
// Targets are untouched on cannot_open_for_reading and wrong_magic. On cut_off the plain readers leave what
// was read before the cut; the *_all_or_nothing readers change nothing unless the whole file was read.
// Writers replace the file atomically, so writing the library back at every close can never destroy it.

#include <string>
#include <string_view>

#include "model/books.h"
#include "storage/file_status.h"

namespace glyphora {

// What the library maintenance dialog shows of another library file.
struct LibraryIndex {
    char page_names[kLibraryPages][kNameCapacity] = {};
    bool page_used[kLibraryPages] = {};  // at least one of the page's records is in use
};

// In-memory forms.
FileStatus parse_library(std::string_view bytes, LibraryBook& book);
std::string serialize_library(const LibraryBook& book);
FileStatus parse_library_index(std::string_view bytes, LibraryIndex& index);
FileStatus parse_library_page(std::string_view bytes, int source_page, LibraryBook& book,
                              int destination_page);
FileStatus parse_library_into_preview(std::string_view bytes, PreviewBook& preview);
std::string serialize_library_from_preview(const PreviewBook& preview);

// All pages and names; the book's path and library_writable are left to the caller.
FileStatus read_library(const std::string& path, LibraryBook& book);
FileStatus read_library_all_or_nothing(const std::string& path, LibraryBook& book);
FileStatus write_library(const std::string& path, const LibraryBook& book);

// The page names and which pages are used. On a failure the index holds what was read before it.
FileStatus read_library_index(const std::string& path, LibraryIndex& index);

// Page source_page of the file (its name and its 50 slots) into page destination_page of the book. The
// destination is not cleared first: the plain form leaves the slots read before a cut replaced, the others
// as they were. A page index out of range gives cannot_open_for_reading and touches nothing.
FileStatus read_library_page(const std::string& path, int source_page, LibraryBook& book,
                             int destination_page);
FileStatus read_library_page_all_or_nothing(const std::string& path, int source_page, LibraryBook& book,
                                            int destination_page);

// Library pages 0 to 19 into preview pages 0 to 19; pages 20 to 29 and every page's settings are cleared and
// the page names dropped.
FileStatus read_library_into_preview(const std::string& path, PreviewBook& preview);
FileStatus read_library_into_preview_all_or_nothing(const std::string& path, PreviewBook& preview);
// Preview pages 0 to 19 as a library whose pages are named "page 0" to "page 19".
FileStatus write_library_from_preview(const std::string& path, const PreviewBook& preview);

}  // namespace glyphora
