#pragma once
// Which of our files a file is: by its name (the load and save commands, the command-line tool) or by the
// magic it starts with (to say what a file really holds). The magics themselves live in stored_items.

#include <optional>
#include <string_view>

namespace glyphora {

enum class FileKind { collection, single_page, library };

// ".aap", ".aat" or ".aal", compared without regard to case; nullopt for any other extension or none.
std::optional<FileKind> file_kind_by_extension(std::string_view path);

struct FileMagic {
    FileKind kind;
    int version;  // 1 to 3
};
// The kind and version named by the magic at the start of a file's bytes; nullopt when it is none of ours.
std::optional<FileMagic> file_kind_by_magic(std::string_view bytes);

}  // namespace glyphora
