#include "platform/ui_services.h"

namespace glyphora {

std::vector<FileFilterEntry> parse_file_filter(std::string_view filter) {
    std::vector<FileFilterEntry> entries;
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (start <= filter.size()) {
        const std::size_t bar = filter.find('|', start);
        const std::string_view field =
            filter.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start);
        // An empty field is the "||" that ends the list (or a trailing bar).
        if (field.empty()) break;
        fields.push_back(field);
        if (bar == std::string_view::npos) break;
        start = bar + 1;
    }
    for (std::size_t i = 0; i + 1 < fields.size(); i += 2)
        entries.push_back({std::string(fields[i]), std::string(fields[i + 1])});
    return entries;
}

std::string apply_default_extension(const std::string& path, std::string_view extension) {
    if (extension.empty() || path.empty()) return path;
    const std::size_t slash = path.find_last_of('/');
    const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    if (name_start >= path.size()) return path;  // a folder, not a file name
    // A leading dot marks a hidden file, not an extension.
    if (path.find('.', name_start + 1) != std::string::npos) return path;
    return path + "." + std::string(extension);
}

}  // namespace glyphora
