#pragma once
// Where the settings file and the default library file live. Next to the executable when that folder is
// writable (a portable or developer build) and is not a system program folder (/usr/bin, /usr/local/bin,
// /bin or the folder the build installs into, which root could otherwise write to); otherwise
// $XDG_CONFIG_HOME/glyphora/ (by default ~/.config/glyphora/). GLYPHORA_HOME, when set, overrides both.
// The program creates the folder when needed; a reader that only looks (the command-line tool) does not.

#include <string>

namespace glyphora {

// The environment the location depends on; empty strings for unset variables.
struct LocationEnvironment {
    std::string glyphora_home;    // GLYPHORA_HOME
    std::string xdg_config_home;  // XDG_CONFIG_HOME
    std::string home;             // HOME (the password database's home folder when unset)

    static LocationEnvironment current();
};

struct PathResult {
    bool ok = false;
    std::string path;
    std::string error;  // what failed, for the user (UTF-8)
};

// The full path of the running program; empty when the system does not tell.
std::string running_executable_path();

enum class FolderCreation { create, never };

// The folder, with a trailing "/". Fails only when a folder that is needed cannot be created (with
// FolderCreation::never: only when no home folder is known; the folder may then not exist).
PathResult settings_directory(const std::string& executable_path,
                              const LocationEnvironment& env = LocationEnvironment::current(),
                              FolderCreation creation = FolderCreation::create);

// True for the folders programs are installed into, where settings never go.
bool is_system_program_folder(const std::string& folder);

// The folder above + the executable's base name + ".ini" ("glyphora.ini" for the program).
PathResult settings_file_path(const std::string& executable_path,
                              const LocationEnvironment& env = LocationEnvironment::current(),
                              FolderCreation creation = FolderCreation::create);

// The folder above + "library.aal": the library file proposed when none has been chosen yet.
PathResult default_library_path(const std::string& executable_path,
                                const LocationEnvironment& env = LocationEnvironment::current());

}  // namespace glyphora
