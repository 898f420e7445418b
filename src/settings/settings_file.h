#pragma once
// The settings file: keyed access by section and key to one INI file, bound to its path once.
//
// Every call goes to the file itself, so reads see what the last write left. A missing or unreadable file,
// section or key reads as the default. Every write replaces the whole file atomically (a new file beside it,
// flushed, then renamed over it): when the call returns the value is on the disk, and a crash or a full disk
// during the write leaves the previous file as it was. A failed write changes nothing and says why.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "io/file_io.h"
#include "settings/ini_document.h"

namespace glyphora {

// One value to store. The value is the exact text written after "=".
struct SettingsEntry {
    std::string_view section;
    std::string_view key;
    std::string value;
};

SettingsEntry int_entry(std::string_view section, std::string_view key, int value);
SettingsEntry bool_entry(std::string_view section, std::string_view key, bool value);  // 1 or 0
SettingsEntry string_entry(std::string_view section, std::string_view key, std::string_view value);

class SettingsFile {
  public:
    explicit SettingsFile(std::string path);

    const std::string& path() const { return path_; }

    // The file as it is now. A file that does not exist is an empty document and succeeds; a file that
    // exists but cannot be read fails, and out is then empty.
    IoResult load(IniDocument& out) const;

    int read_int(std::string_view section, std::string_view key, int default_value) const;
    // Cut to capacity - 1 bytes (capacity counts the terminator of the receiving buffer).
    std::string read_string(std::string_view section, std::string_view key, std::string_view default_value,
                            std::size_t capacity) const;

    IoResult write_int(std::string_view section, std::string_view key, int value);
    IoResult write_string(std::string_view section, std::string_view key, std::string_view value);

    // Stores several values, in order, with one replacement of the file: either all of them are in the file
    // afterwards or (on failure) none.
    IoResult write(std::span<const SettingsEntry> entries);

  private:
    std::string path_;
};

}  // namespace glyphora
