#include "settings/settings_location.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace glyphora {

namespace {

namespace fs = std::filesystem;

std::string env_value(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string with_trailing_slash(std::string dir) {
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

PathResult ensure_directory(const fs::path& dir, FolderCreation creation) {
    if (creation == FolderCreation::never) return {true, with_trailing_slash(dir.string()), {}};
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir, ec))
        return {false,
                {},
                "cannot create the settings folder " + dir.string() + ": " +
                    (ec ? ec.message() : std::string("not a folder"))};
    return {true, with_trailing_slash(dir.string()), {}};
}

// The executable's folder when the program can keep its files there.
std::string writable_executable_folder(const std::string& executable_path) {
    if (executable_path.empty()) return {};
    std::error_code ec;
    const fs::path dir = fs::absolute(fs::path(executable_path), ec).parent_path();
    if (ec || dir.empty() || !fs::is_directory(dir, ec)) return {};
    if (is_system_program_folder(dir.string())) return {};
    if (::access(dir.c_str(), W_OK | X_OK) != 0) return {};
    return dir.string();
}

std::string home_folder(const LocationEnvironment& env) {
    if (!env.home.empty()) return env.home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) return pw->pw_dir;
    return {};
}

}  // namespace

bool is_system_program_folder(const std::string& folder) {
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(fs::path(folder), ec);
    const fs::path dir = (ec ? fs::path(folder) : canonical).lexically_normal();
    std::vector<fs::path> system = {"/usr/bin", "/usr/local/bin", "/bin", "/usr/games"};
#ifdef GLYPHORA_INSTALL_BINDIR
    system.emplace_back(GLYPHORA_INSTALL_BINDIR);
#endif
    for (const fs::path& s : system) {
        const fs::path normal = fs::weakly_canonical(s, ec).lexically_normal();
        if (dir == s.lexically_normal() || (!ec && dir == normal)) return true;
    }
    return false;
}

LocationEnvironment LocationEnvironment::current() {
    return {env_value("GLYPHORA_HOME"), env_value("XDG_CONFIG_HOME"), env_value("HOME")};
}

std::string running_executable_path() {
    std::error_code ec;
    const fs::path p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : p.string();
}

PathResult settings_directory(const std::string& executable_path, const LocationEnvironment& env,
                              FolderCreation creation) {
    if (!env.glyphora_home.empty()) return ensure_directory(env.glyphora_home, creation);
    if (std::string dir = writable_executable_folder(executable_path); !dir.empty())
        return {true, with_trailing_slash(std::move(dir)), {}};
    // A relative XDG_CONFIG_HOME is invalid and is ignored, as the XDG rules say.
    fs::path config;
    if (!env.xdg_config_home.empty() && fs::path(env.xdg_config_home).is_absolute()) {
        config = env.xdg_config_home;
    } else {
        const std::string home = home_folder(env);
        if (home.empty()) return {false, {}, "cannot find the home folder for the settings"};
        config = fs::path(home) / ".config";
    }
    return ensure_directory(config / "glyphora", creation);
}

PathResult settings_file_path(const std::string& executable_path, const LocationEnvironment& env,
                              FolderCreation creation) {
    PathResult result = settings_directory(executable_path, env, creation);
    if (!result.ok) return result;
    std::string base = fs::path(executable_path).stem().string();
    if (base.empty()) base = "glyphora";
    result.path += base + ".ini";
    return result;
}

PathResult default_library_path(const std::string& executable_path, const LocationEnvironment& env) {
    PathResult result = settings_directory(executable_path, env);
    if (result.ok) result.path += "library.aal";
    return result;
}

}  // namespace glyphora
