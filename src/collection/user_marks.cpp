#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "collection/collection_index.h"
#include "io/file_io.h"

namespace glyphora::collection {

namespace {

constexpr std::size_t kRecentCount = 100;
constexpr std::string_view kFavourite = "favourite";
constexpr std::string_view kRecent = "recent";

// "KIND<TAB>HASH<TAB>ORDINAL<TAB>LOCATION"
bool parse_line(std::string_view line, std::string_view& kind, AaKey& key) {
    const std::size_t t1 = line.find('\t');
    const std::size_t t2 = t1 == std::string_view::npos ? t1 : line.find('\t', t1 + 1);
    const std::size_t t3 = t2 == std::string_view::npos ? t2 : line.find('\t', t2 + 1);
    if (t3 == std::string_view::npos) return false;
    kind = line.substr(0, t1);
    const std::string hash(line.substr(t1 + 1, t2 - t1 - 1));
    const std::string ordinal(line.substr(t2 + 1, t3 - t2 - 1));
    key.location = line.substr(t3 + 1);
    if (hash.size() != 16 || ordinal.empty() || ordinal.size() > 9 || key.location.empty()) return false;
    if (hash.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos ||
        ordinal.find_first_not_of("0123456789") != std::string::npos)
        return false;
    key.hash = std::strtoull(hash.c_str(), nullptr, 16);
    key.ordinal = std::atoi(ordinal.c_str());
    return key.ordinal > 0 && (kind == kFavourite || kind == kRecent);
}

std::string format_line(std::string_view kind, const AaKey& key) {
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(key.hash));
    return std::string(kind) + "\t" + hash + "\t" + std::to_string(key.ordinal) + "\t" + key.location + "\n";
}

}  // namespace

UserMarks::UserMarks(std::string path) : path_(std::move(path)) {}

bool UserMarks::load(std::string& error) {
    favourites_.clear();
    recent_.clear();
    std::string content;
    if (const IoResult r = read_whole_file(path_, content); !r.ok) {
        if (::access(path_.c_str(), F_OK) != 0) return true;  // nothing marked yet
        error = r.error;
        return false;
    }
    std::string bad;
    int number = 0;
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t end = content.find('\n', pos);
        if (end == std::string::npos) end = content.size();
        std::string_view line(content.data() + pos, end - pos);
        pos = end + 1;
        ++number;
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (line.empty()) continue;
        std::string_view kind;
        AaKey key;
        // Tabs and line ends cannot be in a location we wrote; a line that does not parse is skipped.
        if (!parse_line(line, kind, key)) {
            bad += (bad.empty() ? "" : ", ") + std::to_string(number);
            continue;
        }
        std::vector<AaKey>& list = kind == kFavourite ? favourites_ : recent_;
        if (std::find(list.begin(), list.end(), key) == list.end()) list.push_back(std::move(key));
    }
    if (recent_.size() > kRecentCount) recent_.resize(kRecentCount);
    if (!bad.empty()) {
        error = path_ + ": line(s) " + bad + " cannot be read and were skipped";
        return false;
    }
    return true;
}

bool UserMarks::save(std::string& error) const {
    std::string content;
    for (const AaKey& key : favourites_) content += format_line(kFavourite, key);
    for (const AaKey& key : recent_) content += format_line(kRecent, key);
    const IoResult r = write_file_atomically(path_, content);
    if (!r.ok) error = r.error;
    return r.ok;
}

bool UserMarks::is_favourite(const AaKey& key) const {
    return std::find(favourites_.begin(), favourites_.end(), key) != favourites_.end();
}

void UserMarks::set_favourite(const AaKey& key, bool on) {
    const auto it = std::find(favourites_.begin(), favourites_.end(), key);
    if (on && it == favourites_.end()) favourites_.push_back(key);
    if (!on && it != favourites_.end()) favourites_.erase(it);
}

void UserMarks::used(const AaKey& key) {
    const auto it = std::find(recent_.begin(), recent_.end(), key);
    if (it != recent_.end()) recent_.erase(it);
    recent_.insert(recent_.begin(), key);
    if (recent_.size() > kRecentCount) recent_.resize(kRecentCount);
}

}  // namespace glyphora::collection
