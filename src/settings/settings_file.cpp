#include "settings/settings_file.h"

#include <unistd.h>

#include <charconv>
#include <filesystem>
#include <system_error>

namespace glyphora {

namespace fs = std::filesystem;

SettingsEntry int_entry(std::string_view section, std::string_view key, int value) {
    char buf[16];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    (void)ec;  // an int always fits
    return {section, key, std::string(buf, end)};
}

SettingsEntry bool_entry(std::string_view section, std::string_view key, bool value) {
    return {section, key, value ? "1" : "0"};
}

SettingsEntry string_entry(std::string_view section, std::string_view key, std::string_view value) {
    return {section, key, std::string(value)};
}

SettingsFile::SettingsFile(std::string path) : path_(std::move(path)) {}

IoResult SettingsFile::load(IniDocument& out) const {
    out = IniDocument();
    std::error_code ec;
    const fs::file_status status = fs::status(path_, ec);
    if (status.type() == fs::file_type::not_found) return {true, {}};
    std::string bytes;
    IoResult result = read_whole_file(path_, bytes);
    if (result.ok) out = IniDocument::parse(bytes);
    return result;
}

int SettingsFile::read_int(std::string_view section, std::string_view key, int default_value) const {
    IniDocument doc;
    load(doc);  // an unreadable file reads as an empty one
    return doc.read_int(section, key, default_value);
}

std::string SettingsFile::read_string(std::string_view section, std::string_view key,
                                      std::string_view default_value, std::size_t capacity) const {
    IniDocument doc;
    load(doc);
    return doc.read_string(section, key, default_value, capacity);
}

IoResult SettingsFile::write_int(std::string_view section, std::string_view key, int value) {
    const SettingsEntry entry = int_entry(section, key, value);
    return write(std::span(&entry, 1));
}

IoResult SettingsFile::write_string(std::string_view section, std::string_view key, std::string_view value) {
    const SettingsEntry entry = string_entry(section, key, value);
    return write(std::span(&entry, 1));
}

IoResult SettingsFile::write(std::span<const SettingsEntry> entries) {
    for (const SettingsEntry& e : entries) {
        if (std::string reason = check_settings_entry(e.section, e.key, e.value); !reason.empty())
            return {false, "cannot store in " + path_ + ": " + reason};
    }
    // Writing over a file we could not read would throw away every other setting in it.
    IniDocument doc;
    if (IoResult loaded = load(doc); !loaded.ok)
        return {false, "the settings file could not be read, so it was not changed: " + loaded.error};
    const std::string before = doc.serialise();
    std::error_code ec;
    const bool exists = fs::exists(path_, ec);
    // The rename would replace a file the user made read-only; refuse as a direct write would.
    if (exists && ::access(path_.c_str(), W_OK) != 0)
        return {false, "the settings file " + path_ + " is read-only"};
    for (const SettingsEntry& e : entries) doc.set(e.section, e.key, e.value);
    const std::string after = doc.serialise();
    if (exists && after == before) return {true, {}};  // already stored: spare the disk a rewrite
    return write_file_atomically(path_, after);
}

}  // namespace glyphora
