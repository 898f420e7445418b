#include "storage/file_kind.h"

#include "storage/stored_items.h"

namespace glyphora {

namespace {

// The part of the name after its last dot, when that dot is in the last path component.
std::string_view extension_of(std::string_view path) {
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    return path.substr(dot + 1);
}

// `lower` is in lower case.
bool equals_ignoring_case(std::string_view a, std::string_view lower) {
    if (a.size() != lower.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char c = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        if (c != lower[i]) return false;
    }
    return true;
}

}  // namespace

std::optional<FileKind> file_kind_by_extension(std::string_view path) {
    const std::string_view ext = extension_of(path);
    if (equals_ignoring_case(ext, "aap")) return FileKind::collection;
    if (equals_ignoring_case(ext, "aat")) return FileKind::single_page;
    if (equals_ignoring_case(ext, "aal")) return FileKind::library;
    return std::nullopt;
}

std::optional<FileMagic> file_kind_by_magic(std::string_view bytes) {
    for (const FileKind kind : {FileKind::collection, FileKind::single_page, FileKind::library}) {
        ByteReader reader(bytes);
        if (const int version = read_magic(reader, kind); version != 0) return FileMagic{kind, version};
    }
    return std::nullopt;
}

}  // namespace glyphora
