#include "posting/board_profile.h"

#include <charconv>
#include <cstdio>
#include <filesystem>

#include "system/encoding.h"

namespace glyphora::posting {

const char* const kBuiltinProfileName =
    "\xE4\xB8\x80\xE8\x88\xAC\xEF\xBC\x88Shift_JIS\xE3\x83\xBB"
    "4096\xE3\x83\x90\xE3\x82\xA4\xE3\x83\x88\xE3\x83\xBB"
    "60\xE8\xA1\x8C\xE3\x83\xBB\xE6\x96\x87\xE5\xAD\x97\xE5\x8F\x82\xE7\x85\xA7\xE5\x8F\xAF\xEF\xBC\x89";

BoardProfile builtin_profile() {
    BoardProfile p;
    p.name = kBuiltinProfileName;
    return p;
}

namespace {

// Whole decimal number within [low, high]; nothing else on the value but surrounding blanks.
bool parse_int(std::string_view s, int low, int high, int& out) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    if (s.empty() || s.size() > 9) return false;
    int v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || v < low || v > high) return false;
    out = v;
    return true;
}

// The lines of a text, each without its CR LF or LF.
template <typename F>
void for_each_line(std::string_view text, F&& f) {
    std::size_t pos = 0;
    int number = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!f(line, ++number)) return;
        pos = end + 1;
    }
}

std::string line_error(int number, const std::string& what) {
    return "line " + std::to_string(number) + ": " + what;
}

}  // namespace

std::string validate_profile(const BoardProfile& p) {
    if (p.name.empty()) return "the profile has no name";
    for (const char c : p.name)
        if (static_cast<unsigned char>(c) < 0x20 || c == ']')
            return "the profile name holds a control character or ']'";
    if (p.bytes_per_post < 1 || p.bytes_per_post > kMaxBytesPerPost)
        return "bytes per post must be between 1 and " + std::to_string(kMaxBytesPerPost);
    if (p.lines_per_post < 1 || p.lines_per_post > kMaxLinesPerPost)
        return "lines per post must be between 1 and " + std::to_string(kMaxLinesPerPost);
    const CountRules& r = p.rules;
    for (const int v : {r.line_break, r.quote, r.less, r.greater, r.amp})
        if (v < 1 || v > kMaxCountRule)
            return "the bytes counted for a character must be between 1 and " + std::to_string(kMaxCountRule);
    return {};
}

bool parse_setting_txt(std::string_view bytes, BoardProfile& profile, std::string& error) {
    if (bytes.empty()) {
        error = "the file is empty";
        return false;
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x20 && b != '\r' && b != '\n' && b != '\t') {
            error = "the file holds binary data (byte " + std::to_string(b) + " at offset " +
                    std::to_string(i) + "); it is no SETTING.TXT";
            return false;
        }
    }
    const Conversion text = sjis_to_utf8(bytes);
    if (!text.ok) {
        error = "the file is not Shift_JIS text (offset " + std::to_string(text.error_offset) +
                "); it is no SETTING.TXT";
        return false;
    }

    BoardProfile p = builtin_profile();
    p.name = "SETTING.TXT";
    p.lines_per_post = 60;
    p.references_pass = false;  // a board that does not say "pass" garbles them
    bool has_count = false;
    bool failed = false;
    for_each_line(text.text, [&](std::string_view line, int number) {
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) return true;  // a heading or a comment: boards write a few
        const std::string_view key = line.substr(0, eq);
        const std::string_view value = line.substr(eq + 1);
        if (key == "BBS_MESSAGE_COUNT") {
            if (!parse_int(value, 1, kMaxBytesPerPost, p.bytes_per_post)) {
                error = line_error(number, "BBS_MESSAGE_COUNT must be a number of bytes from 1 to " +
                                               std::to_string(kMaxBytesPerPost));
                return !(failed = true);
            }
            has_count = true;
        } else if (key == "BBS_LINE_NUMBER") {
            int n = 0;
            if (!parse_int(value, 1, kMaxLinesPerPost / 2, n)) {
                error = line_error(number, "BBS_LINE_NUMBER must be a number of lines from 1 to " +
                                               std::to_string(kMaxLinesPerPost / 2));
                return !(failed = true);
            }
            p.lines_per_post = 2 * n;  // the board allows twice the number it publishes
        } else if (key == "BBS_UNICODE") {
            if (value == "pass") {
                p.references_pass = true;
            } else if (value == "change") {
                p.references_pass = false;
            } else {
                error = line_error(number, "BBS_UNICODE must be \"pass\" or \"change\"");
                return !(failed = true);
            }
        } else if (key == "BBS_TITLE") {
            std::string title;
            for (const char c : value)
                if (static_cast<unsigned char>(c) >= 0x20 && c != ']')
                    title.push_back(c);  // no control characters (a lone CR) in a name
            if (!title.empty()) p.name = title;
        }
        return true;
    });
    if (failed) return false;
    if (!has_count) {
        error = "the file has no BBS_MESSAGE_COUNT line; it is no SETTING.TXT";
        return false;
    }
    profile = std::move(p);
    return true;
}

const BoardProfile* ProfileList::find(std::string_view name) const {
    for (const BoardProfile& p : profiles)
        if (p.name == name) return &p;
    return nullptr;
}

BoardProfile* ProfileList::find(std::string_view name) {
    for (BoardProfile& p : profiles)
        if (p.name == name) return &p;
    return nullptr;
}

std::string profiles_file_path(const std::string& settings_folder) {
    return settings_folder + "boards.txt";
}

std::string format_profiles(const ProfileList& list) {
    std::string out = "# Glyphora board profiles (UTF-8)\n";
    for (const BoardProfile& p : list.profiles) {
        if (p.name == kBuiltinProfileName) continue;
        char buf[256];
        std::snprintf(buf, sizeof buf,
                      "bytes=%d\nlines=%d\nreferences=%s\nencoding=%s\nline_break=%d\nquote=%d\nless=%d\n"
                      "greater=%d\namp=%d\n",
                      p.bytes_per_post, p.lines_per_post, p.references_pass ? "pass" : "change",
                      p.encoding == BoardProfile::utf8 ? "utf8" : "sjis", p.rules.line_break, p.rules.quote,
                      p.rules.less, p.rules.greater, p.rules.amp);
        out += "\n[" + p.name + "]\n" + buf;
    }
    return out;
}

bool parse_profiles(std::string_view text, ProfileList& out, std::string& error) {
    ProfileList list;
    list.profiles.push_back(builtin_profile());
    BoardProfile* current = nullptr;
    bool failed = false;
    auto fail = [&](int number, const std::string& what) {
        error = line_error(number, what);
        failed = true;
        return false;
    };
    auto finish = [&](int number) {
        if (!current) return true;
        const std::string problem = validate_profile(*current);
        return problem.empty() ? true : fail(number, problem);
    };
    for_each_line(text, [&](std::string_view line, int number) {
        if (line.empty() || line.front() == '#') return true;
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3) return fail(number, "a profile heading is \"[name]\"");
            if (!finish(number)) return false;
            const std::string name(line.substr(1, line.size() - 2));
            if (list.find(name)) return fail(number, "a second profile named \"" + name + "\"");
            BoardProfile p;
            p.name = name;
            list.profiles.push_back(p);
            current = &list.profiles.back();
            return true;
        }
        const std::size_t eq = line.find('=');
        if (!current || eq == std::string_view::npos)
            return fail(number, "expected \"[name]\" or \"key=value\"");
        const std::string_view key = line.substr(0, eq), value = line.substr(eq + 1);
        int* number_field = key == "bytes"        ? &current->bytes_per_post
                            : key == "lines"      ? &current->lines_per_post
                            : key == "line_break" ? &current->rules.line_break
                            : key == "quote"      ? &current->rules.quote
                            : key == "less"       ? &current->rules.less
                            : key == "greater"    ? &current->rules.greater
                            : key == "amp"        ? &current->rules.amp
                                                  : nullptr;
        if (number_field) {
            if (!parse_int(value, 0, kMaxBytesPerPost, *number_field))
                return fail(number, std::string(key) + " must be a number");
        } else if (key == "references" && (value == "pass" || value == "change")) {
            current->references_pass = value == "pass";
        } else if (key == "encoding" && (value == "sjis" || value == "utf8")) {
            current->encoding = value == "utf8" ? BoardProfile::utf8 : BoardProfile::sjis;
        } else {
            return fail(number, "unknown setting \"" + std::string(line) + "\"");
        }
        return true;
    });
    if (failed || !finish(0)) return false;
    out = std::move(list);
    return true;
}

IoResult load_profiles(const std::string& path, ProfileList& out) {
    out = ProfileList{};
    out.profiles.push_back(builtin_profile());
    std::string bytes;
    if (IoResult r = read_whole_file(path, bytes); !r.ok) {
        std::error_code ec;
        if (!std::filesystem::exists(path, ec) && !ec) return {true, {}};  // no profiles saved yet
        return r;
    }
    std::string error;
    if (!parse_profiles(bytes, out, error)) return {false, path + ": " + error};
    return {true, {}};
}

IoResult save_profiles(const std::string& path, const ProfileList& list) {
    for (const BoardProfile& p : list.profiles)
        if (const std::string problem = validate_profile(p); !problem.empty())
            return {false, "\"" + p.name + "\": " + problem};
    return write_file_atomically(path, format_profiles(list));
}

const BoardProfile& current_profile(const ProfileList& list, std::string_view current_name) {
    if (const BoardProfile* p = list.find(current_name)) return *p;
    static const BoardProfile builtin = builtin_profile();
    return list.profiles.empty() ? builtin : list.profiles.front();
}

}  // namespace glyphora::posting
