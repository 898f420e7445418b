#pragma once
// The text of an INI settings file held in memory. Every line is kept byte for byte: a document parsed and
// serialised again is unchanged, and setting a value changes only that value's line (or adds the lines it
// needs). Lines that are neither a section header nor a key=value pair (comments, blank lines, stray text)
// are ignored by lookups and kept as they are.
//
// Section and key names match without regard to ASCII case (bytes of double-byte Shift_JIS characters are
// compared as they are). A value is the Shift_JIS bytes after the first "=" up to the line end, neither
// trimmed nor unquoted, so every value written comes back exactly as it was written.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace glyphora {

class IniDocument {
  public:
    IniDocument() = default;

    // Accepts any bytes; nothing in a file is an error.
    static IniDocument parse(std::string_view text);
    std::string serialise() const;

    // The value of the first line in file order that holds the key in a section of that name; nullopt when
    // there is none.
    std::optional<std::string_view> find(std::string_view section, std::string_view key) const;

    // The stored integer, or the default when the key is missing or does not hold a decimal integer.
    int read_int(std::string_view section, std::string_view key, int default_value) const;

    // The stored string (or the default when the key is missing), up to its first NUL byte and cut to
    // capacity - 1 bytes: capacity is that of the buffer receiving it, terminator included.
    std::string read_string(std::string_view section, std::string_view key, std::string_view default_value,
                            std::size_t capacity) const;

    // Stores a value: replaces the value of the line find() would read, or adds the key at the end of the
    // first section of that name, or adds the section at the end of the document. Returns an empty string on
    // success, otherwise why the name or value cannot be stored (the document is then unchanged).
    std::string set(std::string_view section, std::string_view key, std::string_view value);

  private:
    enum class LineKind { other, section, key };
    struct Line {
        std::string text;  // without the line end
        std::string eol;   // "\r\n" or "\n"; for the last line also "\r" or empty
        LineKind kind = LineKind::other;
        std::string name;          // section or key name, surrounding blanks removed
        std::size_t value_at = 0;  // key lines: where the value starts in text
    };

    static Line classify(std::string text, std::string eol, bool first_line);
    void terminate(Line& line) const;
    std::optional<std::size_t> find_line(std::string_view section, std::string_view key) const;

    std::vector<Line> lines_;
    std::string eol_ = "\r\n";  // line end of added lines: the document's own, CR LF for a new one
};

// Why a section, key and value cannot be stored so that they read back the same, or an empty string when
// they can. Line breaks and NUL bytes can never be stored: they would end the line early or add lines.
std::string check_settings_entry(std::string_view section, std::string_view key, std::string_view value);

// A stored integer: optional blanks, an optional sign, decimal digits that fit an int, optional blanks.
std::optional<int> parse_settings_int(std::string_view text);

// Section and key name comparison: ASCII letters without case, double-byte characters byte for byte.
bool settings_names_equal(std::string_view a, std::string_view b);

}  // namespace glyphora
