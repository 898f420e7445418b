#pragma once
// The AA collection index: the MLT, AST and TXT files of the folders (and ZIP files of such files) the user
// keeps their template AAs in, indexed into an SQLite database that is a cache of what is on disk. The
// window and glyphora-cli both use it; each opens its own connection (WAL, a busy timeout), so both may use
// the same database at once, and a scan on a worker thread uses a connection of its own.
//
// Nothing here throws across its interface: failures come back as results with a message (UTF-8).

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace glyphora {
struct CharWidthTable;
}

namespace glyphora::collection {

// The database file in the cache folder: $XDG_CACHE_HOME/glyphora/collection.sqlite, or
// ~/.cache/glyphora/collection.sqlite; under GLYPHORA_HOME (tests), GLYPHORA_HOME/cache/collection.sqlite.
std::string default_database_path();

// A file of a collection: a plain path, or a member of a ZIP file ("/a/b.zip" and "x/y.mlt").
struct FileLocation {
    std::string path;    // the file itself, or the ZIP that holds it (absolute, UTF-8)
    std::string member;  // the member inside the ZIP; empty for a plain file
    // "PATH" or "ZIP!MEMBER" -- as the command line prints and takes it.
    std::string display() const;
    static FileLocation parse(std::string_view display);
};

// One AA of an indexed file.
struct AaInfo {
    std::int64_t id = 0;  // the database row, stable until the file changes
    std::int64_t file_id = 0;
    int ordinal = 0;      // 1-based position in its file
    std::string heading;  // the heading line naming it ("【やる夫・笑顔】"), UTF-8; may be empty
    std::string title;    // the AST title, UTF-8; empty for MLT and TXT
    int width_px = 0;     // its size in pixels, measured as the canvases measure
    int lines = 0;
    std::uint64_t hash = 0;  // of its Shift_JIS text: identical AAs have the same hash
};

// The name a part made from the AA gets (Shift_JIS, cut to fit): its title, else its heading, else its
// first line that is not blank.
std::string part_name(const AaInfo& aa, std::string_view sjis_text);

// A node of the tree the window shows: a root folder, a subfolder, a ZIP (shown as a folder) or a file.
struct TreeNode {
    enum class Kind { root, folder, zip, file };
    Kind kind = Kind::folder;
    std::int64_t file_id = 0;  // for files
    std::string name;          // shown name (UTF-8)
    std::string location;      // FileLocation::display() of the folder or file
    int aa_count = 0;          // AAs below it
    std::string error;         // why a file cannot be read ("" when it can)
};

// One search result: identical AAs folded into one, with every place a copy lives.
struct SearchHit {
    AaInfo aa;                         // the first copy
    std::vector<std::string> also_in;  // "LOCATION:N" of the other copies
    std::string location;              // FileLocation::display() of the first copy's file
};

struct ScanProgress {
    std::atomic<std::uint64_t> files_done{0};
    std::atomic<std::uint64_t> files_total{0};  // 0 until the folders were listed
    std::atomic<std::uint64_t> aas{0};
    std::atomic<bool> cancel{false};  // set by the caller; the scan stops at the next file
    // Called on the scanning thread once the folders are listed and the tree is written, before any file
    // is read.
    std::function<void()> listed;
};

struct ScanResult {
    bool ok = false;
    bool cancelled = false;
    int files_read = 0;       // read anew (new or changed)
    int files_unchanged = 0;  // size and time as indexed: not read
    int files_removed = 0;
    int files_failed = 0;  // listed in the tree with their reason
    // "LOCATION: reason" of the files and folders that cannot be read, the first kListedFailures of them.
    static constexpr std::size_t kListedFailures = 100;
    std::vector<std::string> failures;
    std::string error;  // when !ok
};

// Favourites and recent AAs are kept by this (see UserMarks).
struct AaKey {
    std::string location;  // FileLocation::display()
    int ordinal = 0;
    std::uint64_t hash = 0;
    friend bool operator==(const AaKey&, const AaKey&) = default;
};

class CollectionIndex {
  public:
    // Opens (creating) the database. A damaged or outdated one is rebuilt: then `rebuilt` says so, once,
    // for the one message the window shows.
    static std::unique_ptr<CollectionIndex> open(const std::string& database_path, std::string& error,
                                                 bool* rebuilt = nullptr);
    virtual ~CollectionIndex() = default;

    // The character widths scan measures the AAs with; the caller keeps them for as long as the index is
    // used. Without them (or before they are built) widths are 0. AAs measured with other widths are read
    // again by the next scan.
    virtual void set_widths(const CharWidthTable* widths) = 0;

    // The root folders (or ZIP files) of the collection, as the user added them.
    virtual std::vector<std::string> roots() = 0;
    virtual bool add_root(const std::string& path, std::string& error) = 0;
    virtual bool remove_root(const std::string& path, std::string& error) = 0;

    // Brings the index up to date with the roots: new and changed files (size or time) are read, alone;
    // removed ones leave. May run on a worker thread, on an index opened there. What it has committed shows
    // to other connections as it goes.
    virtual ScanResult scan(ScanProgress& progress) = 0;

    // The tree: the roots (parent ""), then the children of a node by its location.
    virtual std::vector<TreeNode> children(const std::string& parent_location) = 0;
    // The AAs of a file, in order.
    virtual std::vector<AaInfo> aas_of_file(std::int64_t file_id) = 0;
    virtual std::optional<AaInfo> aa(std::int64_t aa_id) = 0;
    virtual std::string location_of_file(std::int64_t file_id) = 0;

    // Words (UTF-8, split on white space) that must all match, case and width folded (NFKC): in file and
    // folder names, headings, AST titles or the text inside the AAs. Identical AAs fold into one hit.
    virtual std::vector<SearchHit> search(std::string_view words, int limit) = 0;

    // The Shift_JIS text of an AA, read from its file (or ZIP member) as it is on disk now; false with a
    // message when the file is gone or changed since it was indexed.
    virtual bool text_of(const AaInfo& aa, std::string& sjis_text, std::string& error) = 0;
    // "FILE:N" as search prints it, a file inside a ZIP included.
    virtual std::optional<AaInfo> find(std::string_view file_colon_ordinal) = 0;

    // The key a favourite or recent AA is kept by, and the AA for a key: the one at its place when its
    // hash still agrees, else a copy with that hash elsewhere (the file was moved), else none.
    virtual AaKey key_of(const AaInfo& aa) = 0;
    virtual std::optional<AaInfo> find(const AaKey& key) = 0;

    // Search, tree and file queries that failed say why here (empty when the last one went well).
    virtual std::string last_error() = 0;
};

// Favourites and recently used AAs: user data, kept in the settings folder (not the cache), so a deleted
// cache loses neither. An AA is kept by its file location, ordinal and hash, so it survives a rebuilt index.
// The file has one line per mark: "favourite" or "recent", the hash (16 hex digits), the ordinal and the
// location, separated by tabs.
class UserMarks {
  public:
    explicit UserMarks(std::string path);  // e.g. <settings folder>/collection-marks.txt
    // A missing file is empty, not an error. Lines that cannot be read are skipped and named in error
    // (false), the others are loaded.
    bool load(std::string& error);
    bool save(std::string& error) const;  // atomically
    bool is_favourite(const AaKey& key) const;
    void set_favourite(const AaKey& key, bool on);
    const std::vector<AaKey>& favourites() const { return favourites_; }
    void used(const AaKey& key);  // to the front of the recent list, which keeps 100
    const std::vector<AaKey>& recent() const { return recent_; }

  private:
    std::string path_;
    std::vector<AaKey> favourites_;
    std::vector<AaKey> recent_;
};

}  // namespace glyphora::collection
