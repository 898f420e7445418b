#pragma once
// The status every page-file and library-file reader and writer returns, and the message the user sees
// for it.

#include <string>
#include <string_view>

namespace glyphora {

enum class FileStatus : int {
    ok = 0,
    cannot_open_for_writing = 1,  // also any failed write: the file that was there before is left intact
    cannot_open_for_reading = 2,
    wrong_magic = 3,        // damaged, or another kind of file; nothing in memory has changed
    unknown_extension = 4,  // set by the dispatch by extension, which then touches no file
    cut_off = 5,            // the file ends early or its end mark is wrong
};

constexpr int to_int(FileStatus status) {
    return static_cast<int>(status);
}

// The message of a status code (UTF-8, for the user interface); default_text for 0 and any unknown code.
std::string status_message(int code, std::string_view default_text = "正常終了");
std::string status_message(FileStatus status, std::string_view default_text = "正常終了");

}  // namespace glyphora
