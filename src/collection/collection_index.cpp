#include "collection/collection_index.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <queue>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "collection/aa_analysis.h"
#include "collection/search_text.h"
#include "collection/sqlite_index.h"
#include "exchange/aa_formats.h"
#include "exchange/library_import.h"
#include "io/file_io.h"
#include "render/char_width_table.h"
#include "system/encoding.h"

namespace glyphora::collection {

namespace fs = std::filesystem;

// ---- small helpers ----

Statement::Statement(sqlite3* db, const char* sql) {
    rc_ = sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
    if (rc_ != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(stmt_);
        stmt_ = other.stmt_;
        rc_ = other.rc_;
        other.stmt_ = nullptr;
    }
    return *this;
}

Statement& Statement::reset() {
    if (stmt_ != nullptr) {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    rc_ = SQLITE_OK;
    return *this;
}

Statement& Statement::bind(int i, std::int64_t v) {
    if (stmt_ != nullptr) sqlite3_bind_int64(stmt_, i, v);
    return *this;
}

Statement& Statement::bind(int i, std::string_view v) {
    if (stmt_ != nullptr) sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bind_null(int i) {
    if (stmt_ != nullptr) sqlite3_bind_null(stmt_, i);
    return *this;
}

bool Statement::step() {
    if (stmt_ == nullptr) {
        if (rc_ == SQLITE_OK) rc_ = SQLITE_MISUSE;
        return false;
    }
    rc_ = sqlite3_step(stmt_);
    return rc_ == SQLITE_ROW;
}

std::string Statement::text(int col) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col))) : std::string();
}

FileStamp stamp_of(const std::string& path) {
    FileStamp s;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        s.err = errno;
        return s;
    }
    s.ok = true;
    s.directory = S_ISDIR(st.st_mode);
    s.regular = S_ISREG(st.st_mode);
    s.size = static_cast<std::int64_t>(st.st_size);
    s.mtime = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return s;
}

std::string absolute_path(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::absolute(fs::path(path), ec);
    if (ec) p = fs::path(path);
    std::string s = p.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

std::string damage_marker(const std::string& database_path) {
    return database_path + ".damaged";
}

std::string default_database_path() {
    auto env = [](const char* name) {
        const char* v = std::getenv(name);
        return std::string(v ? v : "");
    };
    if (const std::string home = env("GLYPHORA_HOME"); !home.empty())
        return home + "/cache/collection.sqlite";
    // A relative XDG_CACHE_HOME is invalid and ignored, as the XDG rules say.
    if (const std::string cache = env("XDG_CACHE_HOME"); !cache.empty() && cache.front() == '/')
        return cache + "/glyphora/collection.sqlite";
    return env("HOME") + "/.cache/glyphora/collection.sqlite";
}

std::string FileLocation::display() const {
    return member.empty() ? path : path + "!" + member;
}

FileLocation FileLocation::parse(std::string_view display) {
    // The first "!" after a name ending in ".zip" (any case) starts the member.
    for (std::size_t i = display.find('!'); i != std::string_view::npos; i = display.find('!', i + 1)) {
        if (i < 4) continue;
        std::string ext(display.substr(i - 4, 4));
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext == ".zip" && i + 1 < display.size())
            return {std::string(display.substr(0, i)), std::string(display.substr(i + 1))};
    }
    return {std::string(display), std::string()};
}

std::string part_name(const AaInfo& aa, std::string_view sjis_text) {
    const std::string& label = !aa.title.empty() ? aa.title : aa.heading;
    std::string sjis;
    if (!label.empty()) {
        const Conversion c = utf8_to_part_text(label);
        if (c.ok) sjis = c.text;
    }
    return aa_part_name(sjis, sjis_text);
}

// ---- opening ----

namespace {

const char* const kSchema[] = {
    "CREATE TABLE meta(key TEXT PRIMARY KEY, value)",
    "CREATE TABLE root(path TEXT PRIMARY KEY, position INTEGER NOT NULL)",
    // Roots, folders and ZIP files; a ZIP's size and time are those its members were last read from.
    "CREATE TABLE node(location TEXT PRIMARY KEY, parent TEXT NOT NULL, root TEXT NOT NULL, name TEXT NOT "
    "NULL,"
    " kind INTEGER NOT NULL, size INTEGER NOT NULL DEFAULT -1, mtime INTEGER NOT NULL DEFAULT 0,"
    " error TEXT NOT NULL DEFAULT '', aa_count INTEGER NOT NULL DEFAULT 0)",
    "CREATE INDEX node_parent ON node(parent)",
    "CREATE INDEX node_root ON node(root)",
    // A ZIP member's mtime is its CRC. The AAs of a file have the ids first_aa to last_aa.
    "CREATE TABLE file(id INTEGER PRIMARY KEY AUTOINCREMENT, path TEXT NOT NULL, member TEXT NOT NULL,"
    " parent TEXT NOT NULL, root TEXT NOT NULL, name TEXT NOT NULL, format INTEGER NOT NULL,"
    " size INTEGER NOT NULL, mtime INTEGER NOT NULL, encoding INTEGER NOT NULL DEFAULT 0,"
    " error TEXT NOT NULL DEFAULT '', first_aa INTEGER NOT NULL DEFAULT 0, last_aa INTEGER NOT NULL DEFAULT "
    "0,"
    " aa_count INTEGER NOT NULL DEFAULT 0, widths INTEGER NOT NULL DEFAULT 0, UNIQUE(path, member))",
    "CREATE INDEX file_parent ON file(parent)",
    "CREATE INDEX file_root ON file(root)",
    // A heading names the AAs first_aa to last_aa.
    "CREATE TABLE heading(id INTEGER PRIMARY KEY AUTOINCREMENT, file_id INTEGER NOT NULL, text TEXT NOT NULL,"
    " first_aa INTEGER NOT NULL DEFAULT 0, last_aa INTEGER NOT NULL DEFAULT 0)",
    "CREATE INDEX heading_file ON heading(file_id)",
    "CREATE TABLE aa(id INTEGER PRIMARY KEY AUTOINCREMENT, file_id INTEGER NOT NULL, ordinal INTEGER NOT "
    "NULL,"
    " offset INTEGER NOT NULL, length INTEGER NOT NULL, heading_id INTEGER, title TEXT, width INTEGER NOT "
    "NULL,"
    " lines INTEGER NOT NULL, hash INTEGER NOT NULL)",
    "CREATE INDEX aa_hash ON aa(hash)",
    "CREATE VIRTUAL TABLE aa_fts USING fts5(words, tokenize='glyphora_runs')",
    "CREATE VIRTUAL TABLE file_fts USING fts5(words, tokenize='glyphora_runs')",
    "CREATE VIRTUAL TABLE heading_fts USING fts5(words, tokenize='glyphora_runs')",
};

constexpr int kTableCount = 9;  // meta root node file heading aa aa_fts file_fts heading_fts

void remove_database_files(const std::string& path) {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) ::unlink((path + suffix).c_str());
    ::unlink(damage_marker(path).c_str());
}

bool is_damage(int rc) {
    rc &= 0xFF;
    return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB;
}

struct Opened {
    sqlite3* db = nullptr;
    int rc = SQLITE_OK;
    bool damaged = false;   // unreadable: rebuild
    bool outdated = false;  // another schema: rebuild
    std::string error;
};

bool run(sqlite3* db, const char* sql, int& rc) {
    rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK;
}

Opened open_connection(const std::string& path) {
    Opened o;
    o.rc = sqlite3_open_v2(path.c_str(), &o.db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (o.rc != SQLITE_OK) {
        o.error = o.db ? sqlite3_errmsg(o.db) : sqlite3_errstr(o.rc);
        return o;
    }
    sqlite3_extended_result_codes(o.db, 1);
    sqlite3_busy_timeout(o.db, 5000);
    if (!register_tokenizer(o.db)) {
        o.rc = SQLITE_ERROR;
        o.error = "this SQLite has no full-text search (FTS5)";
        return o;
    }
    int version = -1, tables = -1;
    {
        Statement s(o.db, "PRAGMA user_version");
        if (s.step()) version = s.integer(0);
        if (!s.done() && s.rc() != SQLITE_ROW) o.rc = s.rc();
    }
    if (o.rc == SQLITE_OK) {
        Statement s(o.db,
                    "SELECT count(*) FROM sqlite_master WHERE type IN ('table') AND name IN "
                    "('meta','root','node','file','heading','aa','aa_fts','file_fts','heading_fts')");
        if (s.step())
            tables = s.integer(0);
        else
            o.rc = s.rc();
    }
    if (o.rc != SQLITE_OK) {
        o.damaged = is_damage(o.rc);
        o.error = sqlite3_errmsg(o.db);
        return o;
    }
    if (version != 0 || tables != 0) {
        o.outdated = version != kSchemaVersion || tables != kTableCount;
        if (o.outdated) return o;
    }
    if (!run(o.db, "PRAGMA journal_mode=WAL", o.rc) || !run(o.db, "PRAGMA synchronous=NORMAL", o.rc) ||
        !run(o.db, "PRAGMA temp_store=MEMORY", o.rc) || !run(o.db, "PRAGMA cache_size=-16000", o.rc) ||
        !run(o.db, "PRAGMA journal_size_limit=16777216", o.rc)) {
        o.damaged = is_damage(o.rc);
        o.error = sqlite3_errmsg(o.db);
        return o;
    }
    if (version == 0 && tables == 0) {
        // A new database: the schema, once, even when two programs open it at the same moment.
        if (!run(o.db, "BEGIN IMMEDIATE", o.rc)) {
            o.error = sqlite3_errmsg(o.db);
            return o;
        }
        int again = -1;
        {
            Statement s(o.db, "PRAGMA user_version");
            if (s.step()) again = s.integer(0);
        }
        if (again == 0) {
            for (const char* sql : kSchema) {
                if (!run(o.db, sql, o.rc)) {
                    o.error = sqlite3_errmsg(o.db);
                    sqlite3_exec(o.db, "ROLLBACK", nullptr, nullptr, nullptr);
                    return o;
                }
            }
            const std::string set_version = "PRAGMA user_version=" + std::to_string(kSchemaVersion);
            run(o.db, set_version.c_str(), o.rc);
        }
        if (!run(o.db, "COMMIT", o.rc)) {
            o.error = sqlite3_errmsg(o.db);
            sqlite3_exec(o.db, "ROLLBACK", nullptr, nullptr, nullptr);
            return o;
        }
    }
    return o;
}

// The roots of a database about to be rebuilt, so that the user's folders survive it.
std::vector<std::string> salvage_roots(sqlite3* db) {
    std::vector<std::string> roots;
    if (db == nullptr) return roots;
    Statement s(db, "SELECT path FROM root ORDER BY position");
    while (s.step()) roots.push_back(s.text(0));
    return roots;
}

}  // namespace

std::unique_ptr<CollectionIndex> CollectionIndex::open(const std::string& database_path, std::string& error,
                                                       bool* rebuilt) {
    if (rebuilt) *rebuilt = false;
    std::error_code ec;
    const fs::path parent = fs::path(database_path).parent_path();
    if (!parent.empty()) fs::create_directories(parent, ec);
    if (ec) {
        error = "cannot create the folder " + parent.string() + ": " + ec.message();
        return nullptr;
    }
    const bool marked = ::access(damage_marker(database_path).c_str(), F_OK) == 0;
    Opened o = open_connection(database_path);
    if (marked || o.damaged || o.outdated) {
        const std::vector<std::string> roots = o.damaged ? std::vector<std::string>{} : salvage_roots(o.db);
        sqlite3_close_v2(o.db);
        remove_database_files(database_path);
        o = open_connection(database_path);
        if (o.rc == SQLITE_OK && !o.damaged && !o.outdated) {
            Statement s(o.db, "INSERT OR IGNORE INTO root(path, position) VALUES(?, ?)");
            int position = 0;
            for (const std::string& root : roots) s.reset().bind(1, root).bind(2, position++).step();
        }
        if (rebuilt) *rebuilt = true;
    }
    if (o.rc != SQLITE_OK || o.damaged || o.outdated) {
        error = "cannot open the collection index " + database_path + ": " +
                (o.error.empty() ? std::string("it cannot be rebuilt") : o.error);
        sqlite3_close_v2(o.db);
        return nullptr;
    }
    return std::make_unique<SqliteIndex>(o.db, database_path);
}

SqliteIndex::~SqliteIndex() {
    sqlite3_close_v2(db_);
}

bool SqliteIndex::exec(const char* sql) {
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) failed(rc, sql);
    return rc == SQLITE_OK;
}

std::string SqliteIndex::db_error(std::string_view doing) {
    return "the collection index " + path_ + " (" + std::string(doing) + "): " + sqlite3_errmsg(db_);
}

void SqliteIndex::failed(int rc, std::string_view doing) {
    last_error_ = db_error(doing);
    if (is_damage(rc)) {
        // Rebuilt by the next open; the marker outlives this connection.
        const int fd = ::open(damage_marker(path_).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0) ::close(fd);
        last_error_ += "; it is damaged and will be rebuilt when it is opened next";
    }
}

std::uint64_t SqliteIndex::widths_signature() const {
    if (widths_ == nullptr || !widths_->built) return 0;
    std::string bytes(reinterpret_cast<const char*>(widths_->widths), sizeof widths_->widths);
    bytes.append(reinterpret_cast<const char*>(&widths_->line_height), sizeof widths_->line_height);
    // Never 0, which stands for "no widths".
    return content_hash(bytes) | 1;
}

// ---- roots and the tree ----

std::vector<std::string> SqliteIndex::roots() {
    last_error_.clear();
    std::vector<std::string> out;
    Statement s(db_, "SELECT path FROM root ORDER BY position");
    while (s.step()) out.push_back(s.text(0));
    if (!s.done()) failed(s.rc(), "roots");
    return out;
}

bool SqliteIndex::add_root(const std::string& given, std::string& error) {
    const std::string path = absolute_path(given);
    const FileStamp st = stamp_of(path);
    if (!st.ok) {
        error = path + ": " + errno_message(st.err);
        return false;
    }
    std::string ext = path.size() >= 4 ? path.substr(path.size() - 4) : "";
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!st.directory && !(st.regular && ext == ".zip")) {
        error = path + ": neither a folder nor a ZIP file";
        return false;
    }
    for (const std::string& root : roots()) {
        if (root == path) return true;
        // One file belongs to one root: roots never nest.
        if (path.starts_with(root + "/")) {
            error = path + " is already in the collection, inside " + root;
            return false;
        }
        if (root.starts_with(path + "/")) {
            error = path + " holds " + root + ", which is in the collection already; remove that first";
            return false;
        }
    }
    Statement s(db_,
                "INSERT OR IGNORE INTO root(path, position) VALUES(?, (SELECT coalesce(max(position), 0) + 1 "
                "FROM root))");
    s.bind(1, path).step();
    if (!s.done()) {
        failed(s.rc(), "adding a folder");
        error = last_error_;
        return false;
    }
    return true;
}

std::vector<TreeNode> SqliteIndex::children(const std::string& parent) {
    last_error_.clear();
    std::vector<TreeNode> out;
    {
        Statement s(
            db_,
            parent.empty()
                ? "SELECT location, name, kind, error, aa_count FROM node JOIN root ON root.path = "
                  "node.location WHERE parent = ? ORDER BY root.position"
                : "SELECT location, name, kind, error, aa_count FROM node WHERE parent = ? ORDER BY name");
        s.bind(1, parent);
        while (s.step()) {
            TreeNode n;
            n.location = s.text(0);
            n.name = s.text(1);
            const int kind = s.integer(2);
            n.kind = kind == static_cast<int>(NodeKind::root)  ? TreeNode::Kind::root
                     : kind == static_cast<int>(NodeKind::zip) ? TreeNode::Kind::zip
                                                               : TreeNode::Kind::folder;
            n.error = s.text(3);
            n.aa_count = s.integer(4);
            out.push_back(std::move(n));
        }
        if (!s.done()) failed(s.rc(), "the folder tree");
    }
    if (parent.empty()) {
        // Roots not scanned yet show as they were added.
        Statement s(db_,
                    "SELECT path FROM root WHERE path NOT IN (SELECT location FROM node) ORDER BY position");
        while (s.step()) {
            TreeNode n;
            n.kind = TreeNode::Kind::root;
            n.location = s.text(0);
            n.name = fs::path(n.location).filename().string();
            if (n.name.empty()) n.name = n.location;
            out.push_back(std::move(n));
        }
        return out;
    }
    Statement s(db_, "SELECT id, name, error, aa_count FROM file WHERE parent = ? ORDER BY name");
    s.bind(1, parent);
    while (s.step()) {
        TreeNode n;
        n.kind = TreeNode::Kind::file;
        n.file_id = s.int64(0);
        n.name = s.text(1);
        n.error = s.text(2);
        n.aa_count = s.integer(3);
        out.push_back(std::move(n));
    }
    if (!s.done()) failed(s.rc(), "the folder tree");
    for (TreeNode& n : out)
        if (n.kind == TreeNode::Kind::file) n.location = location_of_file(n.file_id);
    return out;
}

std::string SqliteIndex::location_of_file(std::int64_t file_id) {
    Statement s(db_, "SELECT path, member FROM file WHERE id = ?");
    s.bind(1, file_id);
    if (!s.step()) return {};
    return FileLocation{s.text(0), s.text(1)}.display();
}

AaInfo SqliteIndex::read_aa(const Statement& s) const {
    AaInfo a;
    a.id = s.int64(0);
    a.file_id = s.int64(1);
    a.ordinal = s.integer(2);
    a.heading = s.text(3);
    a.title = s.text(4);
    a.width_px = s.integer(5);
    a.lines = s.integer(6);
    a.hash = static_cast<std::uint64_t>(s.int64(7));
    return a;
}

std::vector<AaInfo> SqliteIndex::aas_of_file(std::int64_t file_id) {
    last_error_.clear();
    std::vector<AaInfo> out;
    const std::string sql =
        std::string("SELECT ") + kAaColumns + kAaFrom +
        "WHERE aa.id BETWEEN (SELECT first_aa FROM file WHERE id = ?1) AND (SELECT last_aa "
        "FROM file WHERE id = ?1) AND aa.file_id = ?1 ORDER BY aa.id";
    Statement s(db_, sql.c_str());
    s.bind(1, file_id);
    while (s.step()) out.push_back(read_aa(s));
    if (!s.done()) failed(s.rc(), "the AAs of a file");
    return out;
}

std::optional<AaInfo> SqliteIndex::aa(std::int64_t aa_id) {
    last_error_.clear();
    const std::string sql = std::string("SELECT ") + kAaColumns + kAaFrom + "WHERE aa.id = ?";
    Statement s(db_, sql.c_str());
    s.bind(1, aa_id);
    if (s.step()) return read_aa(s);
    if (!s.done()) failed(s.rc(), "an AA");
    return std::nullopt;
}

std::optional<AaInfo> SqliteIndex::find(std::string_view text) {
    last_error_.clear();
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const std::string_view number = text.substr(colon + 1);
    if (number.empty() || number.size() > 9 ||
        !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int ordinal = std::stoi(std::string(number));
    FileLocation location = FileLocation::parse(text.substr(0, colon));
    location.path = absolute_path(location.path);
    const std::string sql = std::string("SELECT ") + kAaColumns + kAaFrom +
                            "JOIN file ON file.id = aa.file_id WHERE file.path = ? AND file.member = ? AND "
                            "aa.ordinal = ? AND aa.id BETWEEN file.first_aa AND file.last_aa";
    Statement s(db_, sql.c_str());
    s.bind(1, location.path).bind(2, location.member).bind(3, ordinal);
    if (s.step()) return read_aa(s);
    if (!s.done()) failed(s.rc(), "finding an AA");
    return std::nullopt;
}

AaKey SqliteIndex::key_of(const AaInfo& aa) {
    return AaKey{location_of_file(aa.file_id), aa.ordinal, aa.hash};
}

std::optional<AaInfo> SqliteIndex::find(const AaKey& key) {
    if (auto at = find(key.location + ":" + std::to_string(key.ordinal)); at && at->hash == key.hash)
        return at;
    const std::string sql =
        std::string("SELECT ") + kAaColumns + kAaFrom + "WHERE aa.hash = ? ORDER BY aa.id LIMIT 1";
    Statement s(db_, sql.c_str());
    s.bind(1, static_cast<std::int64_t>(key.hash));
    if (s.step()) return read_aa(s);
    if (!s.done()) failed(s.rc(), "finding an AA");
    return std::nullopt;
}

// ---- reading an AA's text ----

bool SqliteIndex::text_of(const AaInfo& info, std::string& sjis_text, std::string& error) {
    sjis_text.clear();
    Statement s(
        db_,
        "SELECT file.path, file.member, file.size, file.mtime, file.format, file.encoding, aa.offset, "
        "aa.length, aa.hash, coalesce(node.size, -1), coalesce(node.mtime, 0) FROM aa JOIN file ON "
        "file.id = aa.file_id LEFT JOIN node ON node.location = file.path WHERE aa.id = ?");
    s.bind(1, info.id);
    if (!s.step()) {
        if (!s.done()) failed(s.rc(), "reading an AA");
        error = s.done() ? "the AA is no longer in the index" : last_error_;
        return false;
    }
    const std::string path = s.text(0), member = s.text(1);
    const std::int64_t size = s.int64(2), mtime = s.int64(3);
    const auto format = static_cast<AaFormat>(s.integer(4));
    const auto encoding = static_cast<TextEncoding>(s.integer(5));
    const auto offset = static_cast<std::size_t>(s.int64(6)), length = static_cast<std::size_t>(s.int64(7));
    const auto hash = static_cast<std::uint64_t>(s.int64(8));
    const std::int64_t zip_size = s.int64(9), zip_mtime = s.int64(10);
    const std::string shown = FileLocation{path, member}.display();
    const std::string changed = shown + " has changed since it was indexed; scan the collection again";

    std::string bytes;
    if (member.empty()) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            error = shown + ": " + errno_message(errno);
            return false;
        }
        struct stat st {};
        const bool same =
            ::fstat(fd, &st) == 0 && st.st_size == size &&
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec == mtime;
        if (!same) {
            ::close(fd);
            error = changed;
            return false;
        }
        bytes.resize(length);
        std::size_t done = 0;
        while (done < length) {
            const ssize_t n =
                ::pread(fd, bytes.data() + done, length - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ::close(fd);
        if (done != length) {
            error = changed;
            return false;
        }
    } else {
        const FileStamp zip = stamp_of(path);
        if (!zip.ok) {
            error = path + ": " + errno_message(zip.err);
            return false;
        }
        if (cached_zip_ != path || cached_member_ != member || cached_zip_mtime_ != zip.mtime ||
            cached_bytes_.size() != static_cast<std::size_t>(size)) {
            cached_zip_.clear();
            std::string why;
            auto archive = ZipArchive::open(path, why);
            const ZipMember* m = archive ? archive->find(member) : nullptr;
            if (archive == nullptr) {
                error = path + ": " + why;
                return false;
            }
            // The ZIP may have changed around an unchanged member: its size and CRC tell.
            if (m == nullptr || static_cast<std::int64_t>(m->size) != size ||
                static_cast<std::int64_t>(m->crc) != mtime) {
                error = changed;
                return false;
            }
            if (!archive->read(*m, kMaxAaFileBytes, cached_bytes_, why)) {
                error = shown + ": " + why;
                return false;
            }
            cached_zip_ = path;
            cached_member_ = member;
            cached_zip_mtime_ = zip.mtime;
        }
        (void)zip_size;
        (void)zip_mtime;
        if (offset > cached_bytes_.size() || length > cached_bytes_.size() - offset) {
            error = changed;
            return false;
        }
        bytes = cached_bytes_.substr(offset, length);
    }
    std::string text = decode_aa_bytes(bytes, format, encoding);
    if (content_hash(text) != hash) {
        error = changed;
        return false;
    }
    sjis_text = std::move(text);
    return true;
}

// ---- search ----

namespace {

struct Range {
    std::int64_t first = 0, last = 0;
};

// Ascending AA ids from one source.
class IdStream {
  public:
    virtual ~IdStream() = default;
    virtual bool next(std::int64_t& id) = 0;
};

class RangeStream final : public IdStream {
  public:
    explicit RangeStream(std::vector<Range> ranges) : ranges_(std::move(ranges)) {}
    bool next(std::int64_t& id) override {
        while (i_ < ranges_.size()) {
            if (at_ == 0) at_ = ranges_[i_].first;
            if (at_ <= ranges_[i_].last) {
                id = at_++;
                return true;
            }
            ++i_;
            at_ = 0;
        }
        return false;
    }

  private:
    std::vector<Range> ranges_;
    std::size_t i_ = 0;
    std::int64_t at_ = 0;
};

// The rows of aa_fts that match a query, optionally only within ranges: asked range by range when there are
// few of them, else filtered.
class FtsStream final : public IdStream {
  public:
    FtsStream(sqlite3* db, const std::string& query, std::optional<std::vector<Range>> ranges)
        : query_(query), ranges_(std::move(ranges)) {
        per_range_ = ranges_ && ranges_->size() <= kPerRangeLimit;
        stmt_ = Statement(db, per_range_
                                  ? "SELECT rowid FROM aa_fts WHERE aa_fts MATCH ? AND rowid BETWEEN ? AND ? "
                                    "ORDER BY rowid"
                                  : "SELECT rowid FROM aa_fts WHERE aa_fts MATCH ? ORDER BY rowid");
        if (!per_range_) stmt_.bind(1, query_);
    }
    bool next(std::int64_t& id) override {
        if (per_range_) {
            for (;;) {
                if (!open_) {
                    if (i_ >= ranges_->size()) return false;
                    stmt_.reset().bind(1, query_).bind(2, (*ranges_)[i_].first).bind(3, (*ranges_)[i_].last);
                    open_ = true;
                }
                if (stmt_.step()) {
                    id = stmt_.int64(0);
                    return true;
                }
                open_ = false;
                ++i_;
            }
        }
        while (stmt_.step()) {
            id = stmt_.int64(0);
            if (!ranges_ || inside(id)) return true;
        }
        return false;
    }
    int rc() const { return stmt_.rc(); }

  private:
    static constexpr std::size_t kPerRangeLimit = 32;
    bool inside(std::int64_t id) const {
        auto it = std::upper_bound(ranges_->begin(), ranges_->end(), id,
                                   [](std::int64_t v, const Range& r) { return v < r.first; });
        return it != ranges_->begin() && id <= std::prev(it)->last;
    }
    std::string query_;
    std::optional<std::vector<Range>> ranges_;
    bool per_range_ = false;
    bool open_ = false;
    std::size_t i_ = 0;
    Statement stmt_;
};

}  // namespace

std::vector<SearchHit> SqliteIndex::search(std::string_view words, int limit) {
    last_error_.clear();
    std::vector<SearchHit> hits;
    const std::vector<std::string> queries = fts_word_queries(words);
    if (queries.empty() || queries.size() > 16) return hits;
    const std::size_t k = queries.size();
    const unsigned all = (1u << k) - 1;

    // Files whose names and headings that match words: each word one bit of their masks.
    std::unordered_map<std::int64_t, unsigned> file_masks, heading_masks;
    for (const auto& [table, masks] :
         {std::pair{"file_fts", &file_masks}, std::pair{"heading_fts", &heading_masks}}) {
        Statement s(db_,
                    (std::string("SELECT rowid FROM ") + table + " WHERE " + table + " MATCH ?").c_str());
        for (std::size_t w = 0; w < k; ++w) {
            s.reset().bind(1, queries[w]);
            while (s.step()) (*masks)[s.int64(0)] |= 1u << w;
            if (!s.done()) {
                failed(s.rc(), "search");
                return hits;
            }
        }
    }
    // The AAs of each mask, as id ranges: a file's with the words of its names, and the AAs a heading
    // names with the words of the heading and of the names of its file. An AA in both has both, in the
    // heading's range.
    std::map<unsigned, std::vector<Range>> groups;
    {
        Statement s(db_, "SELECT first_aa, last_aa FROM file WHERE id = ? AND aa_count > 0");
        for (const auto& [file, mask] : file_masks) {
            s.reset().bind(1, file);
            if (s.step()) groups[mask].push_back({s.int64(0), s.int64(1)});
        }
        Statement h(db_, "SELECT first_aa, last_aa, file_id FROM heading WHERE id = ? AND first_aa > 0");
        for (const auto& [heading, mask] : heading_masks) {
            h.reset().bind(1, heading);
            if (!h.step()) continue;
            const auto file = file_masks.find(h.int64(2));
            groups[mask | (file == file_masks.end() ? 0u : file->second)].push_back({h.int64(0), h.int64(1)});
        }
    }
    std::vector<std::unique_ptr<IdStream>> streams;
    auto query_of = [&](unsigned mask) {
        std::string q;
        for (std::size_t w = 0; w < k; ++w) {
            if (mask & (1u << w)) continue;
            if (!q.empty()) q += " AND ";
            q += "(" + queries[w] + ")";
        }
        return q;
    };
    // An AA matches when the words its file's names do not match are all in its own words.
    streams.push_back(std::make_unique<FtsStream>(db_, query_of(0), std::nullopt));
    for (auto& [mask, ranges] : groups) {
        std::sort(ranges.begin(), ranges.end(),
                  [](const Range& a, const Range& b) { return a.first < b.first; });
        if (mask == all) {
            streams.push_back(std::make_unique<RangeStream>(std::move(ranges)));
        } else {
            streams.push_back(std::make_unique<FtsStream>(db_, query_of(mask), std::move(ranges)));
        }
    }

    using Head = std::pair<std::int64_t, std::size_t>;
    std::priority_queue<Head, std::vector<Head>, std::greater<>> heads;
    for (std::size_t i = 0; i < streams.size(); ++i)
        if (std::int64_t id; streams[i]->next(id)) heads.push({id, i});

    const std::string sql = std::string("SELECT ") + kAaColumns + kAaFrom + "WHERE aa.id = ?";
    Statement row(db_, sql.c_str());
    std::unordered_set<std::uint64_t> seen;
    std::int64_t last = 0;
    while (!heads.empty() && (limit <= 0 || static_cast<int>(hits.size()) < limit)) {
        const auto [id, i] = heads.top();
        heads.pop();
        if (std::int64_t next; streams[i]->next(next)) heads.push({next, i});
        if (id == last) continue;
        last = id;
        row.reset().bind(1, id);
        if (!row.step()) continue;
        AaInfo info = read_aa(row);
        if (!seen.insert(info.hash).second) continue;
        SearchHit hit;
        hit.aa = std::move(info);
        hits.push_back(std::move(hit));
    }
    for (const auto& stream : streams)
        if (const auto* fts = dynamic_cast<const FtsStream*>(stream.get());
            fts && fts->rc() != SQLITE_DONE && fts->rc() != SQLITE_ROW && fts->rc() != SQLITE_OK) {
            failed(fts->rc(), "search");
            break;
        }

    // Where each hit lives, and its copies elsewhere.
    std::unordered_map<std::int64_t, std::string> locations;
    auto location = [&](std::int64_t file) -> const std::string& {
        auto it = locations.find(file);
        if (it == locations.end()) it = locations.emplace(file, location_of_file(file)).first;
        return it->second;
    };
    Statement copies(db_,
                     "SELECT file_id, ordinal FROM aa WHERE hash = ? AND id <> ? ORDER BY id LIMIT 1000");
    for (SearchHit& hit : hits) {
        hit.location = location(hit.aa.file_id);
        copies.reset().bind(1, static_cast<std::int64_t>(hit.aa.hash)).bind(2, hit.aa.id);
        while (copies.step())
            hit.also_in.push_back(location(copies.int64(0)) + ":" + std::to_string(copies.integer(1)));
    }
    return hits;
}

}  // namespace glyphora::collection
