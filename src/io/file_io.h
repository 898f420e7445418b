#pragma once
// Whole-file reads and crash-safe whole-file writes. Every writer of user data goes through
// write_file_atomically: the content goes to a temporary file in the target's folder, is flushed to the disk,
// and only then renamed over the target, so a full disk or a crash never leaves a damaged or half-written
// file where a good one was.

#include <string>
#include <string_view>

namespace glyphora {

struct IoResult {
    bool ok = false;
    std::string error;  // what failed, for the user (UTF-8; the path as given)
};

// The system's text for an errno value; safe to call from any thread.
std::string errno_message(int err);

// Reads the whole file into out. Fails when the file cannot be opened or read.
IoResult read_whole_file(const std::string& path, std::string& out);

// Writes content to path atomically (see above). On failure the previous file, if any, is untouched and
// the temporary file is removed. A path that is a symbolic link is written through to the file it names.
IoResult write_file_atomically(const std::string& path, std::string_view content);

}  // namespace glyphora
