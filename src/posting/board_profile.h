#pragma once
// What a board allows in one post, and how its server counts a post's bytes. A board publishes its limits
// in its SETTING.TXT; profiles are kept in the settings folder, one of them current.

#include <string>
#include <string_view>
#include <vector>

#include "io/file_io.h"

namespace glyphora::posting {

// The bytes the server's escaping adds or writes for the characters it escapes. A line break becomes
// "<br>" with spaces around it (6), '"' becomes "&quot;" (6), '<' and '>' become "&lt;" and "&gt;" (4),
// and '&' becomes "&amp;" (5) -- except where it starts a numeric reference that the board passes, which
// counts as its own ASCII bytes. Every other character counts its bytes in the board's encoding.
struct CountRules {
    int line_break = 6;
    int quote = 6;
    int less = 4;
    int greater = 4;
    int amp = 5;
    friend bool operator==(const CountRules&, const CountRules&) = default;
};

struct BoardProfile {
    enum Encoding { sjis, utf8 };

    std::string name;  // UTF-8; unique among the profiles
    int bytes_per_post = 4096;
    int lines_per_post = 60;
    bool references_pass = true;  // BBS_UNICODE=pass; "change" garbles them
    Encoding encoding = sjis;
    CountRules rules;
    friend bool operator==(const BoardProfile&, const BoardProfile&) = default;
};

// "一般（Shift_JIS・4096バイト・60行・文字参照可）"
extern const char* const kBuiltinProfileName;
BoardProfile builtin_profile();

// Sane bounds for a profile's limits; outside them a value is taken for a mistake.
constexpr int kMaxBytesPerPost = 1 << 20;
constexpr int kMaxLinesPerPost = 10000;
constexpr int kMaxCountRule = 64;

// Empty when the profile can be used; otherwise what is wrong with it (UTF-8, for the user).
std::string validate_profile(const BoardProfile& profile);

// Makes a profile from a board's SETTING.TXT (Shift_JIS "KEY=VALUE" lines). BBS_MESSAGE_COUNT gives the
// bytes, BBS_LINE_NUMBER N allows 2 x N lines (60 when absent), BBS_UNICODE "pass" lets references through
// ("change", or absent, garbles them), BBS_TITLE names the profile ("SETTING.TXT" when absent). False with
// a message (UTF-8) for a file that is no SETTING.TXT: no BBS_MESSAGE_COUNT, a value that is no number or
// out of bounds, bytes that are no text, a line without "=". `profile` is changed only on success.
bool parse_setting_txt(std::string_view bytes, BoardProfile& profile, std::string& error);

// The profiles file: the built-in profile is never stored and always comes first.
struct ProfileList {
    std::vector<BoardProfile> profiles;  // the built-in one first
    // The profile of that name, or nullptr.
    const BoardProfile* find(std::string_view name) const;
    BoardProfile* find(std::string_view name);
};

// "boards.txt" in the given settings folder (which ends with "/").
std::string profiles_file_path(const std::string& settings_folder);

// Reads the user's profiles. A missing file gives the built-in profile alone and succeeds; a damaged one
// fails with a message naming the line, and `out` then holds the built-in profile alone.
IoResult load_profiles(const std::string& path, ProfileList& out);
// Writes every profile but the built-in one, atomically.
IoResult save_profiles(const std::string& path, const ProfileList& list);
// The file's text, and back (exposed for tests).
std::string format_profiles(const ProfileList& list);
bool parse_profiles(std::string_view text, ProfileList& out, std::string& error);

// The profile named by the current-profile setting, falling back to the built-in one when the name is
// empty or unknown.
const BoardProfile& current_profile(const ProfileList& list, std::string_view current_name);

}  // namespace glyphora::posting
