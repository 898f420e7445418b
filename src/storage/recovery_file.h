#pragma once
// The recovery file: the whole preview book, written while it holds changes that were not saved, so that
// a crash, a kill or a power cut costs at most the last few seconds of work. It is a page collection (all
// 30 pages with their settings) behind a short header that also keeps the remembered collection name.

#include <string>
#include <string_view>

#include "io/file_io.h"
#include "model/books.h"
#include "storage/file_status.h"

namespace glyphora {

std::string serialize_recovery(const PreviewBook& book);

// All or nothing: on any status but ok the book is left exactly as it was. wrong_magic for a file that is
// no recovery file, cut_off for one that ends early or whose collection is damaged.
FileStatus parse_recovery(std::string_view bytes, PreviewBook& book);
FileStatus read_recovery(const std::string& path, PreviewBook& book);

// Written atomically: a failure (full disk, folder removed, no memory to serialise the book) leaves the
// previous recovery file intact and says why. Never throws.
IoResult write_recovery(const std::string& path, const PreviewBook& book);

}  // namespace glyphora
