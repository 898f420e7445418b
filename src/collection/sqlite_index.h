#pragma once
// The SQLite side of CollectionIndex, shared by its two source files (queries, and the scan).

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "collection/collection_index.h"
#include "collection/zip_archive.h"

namespace glyphora::collection {

// The schema this build writes; a database with another is rebuilt.
constexpr int kSchemaVersion = 1;

// A prepared statement, reset for reuse by each bind-and-step round.
class Statement {
  public:
    Statement() = default;
    Statement(sqlite3* db, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    Statement(Statement&& other) noexcept : stmt_(other.stmt_) { other.stmt_ = nullptr; }
    Statement& operator=(Statement&& other) noexcept;

    bool valid() const { return stmt_ != nullptr; }
    Statement& reset();
    Statement& bind(int i, std::int64_t v);
    Statement& bind(int i, int v) { return bind(i, static_cast<std::int64_t>(v)); }
    Statement& bind(int i, std::string_view v);
    Statement& bind(int i, const std::string& v) { return bind(i, std::string_view(v)); }
    Statement& bind(int i, const char* v) { return bind(i, std::string_view(v)); }
    Statement& bind_null(int i);
    // True while there is a row; rc() then tells SQLITE_DONE from an error.
    bool step();
    int rc() const { return rc_; }
    bool done() const { return rc_ == SQLITE_DONE; }
    std::int64_t int64(int col) const { return sqlite3_column_int64(stmt_, col); }
    int integer(int col) const { return sqlite3_column_int(stmt_, col); }
    std::string text(int col) const;

  private:
    sqlite3_stmt* stmt_ = nullptr;
    int rc_ = SQLITE_OK;
};

// The kinds of the tree's nodes as the node table keeps them.
enum class NodeKind { root = 0, folder = 1, zip = 2 };

class SqliteIndex final : public CollectionIndex {
  public:
    explicit SqliteIndex(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}
    ~SqliteIndex() override;

    void set_widths(const CharWidthTable* widths) override { widths_ = widths; }
    std::vector<std::string> roots() override;
    bool add_root(const std::string& path, std::string& error) override;
    bool remove_root(const std::string& path, std::string& error) override;
    ScanResult scan(ScanProgress& progress) override;
    std::vector<TreeNode> children(const std::string& parent_location) override;
    std::vector<AaInfo> aas_of_file(std::int64_t file_id) override;
    std::optional<AaInfo> aa(std::int64_t aa_id) override;
    std::string location_of_file(std::int64_t file_id) override;
    std::vector<SearchHit> search(std::string_view words, int limit) override;
    bool text_of(const AaInfo& aa, std::string& sjis_text, std::string& error) override;
    std::optional<AaInfo> find(std::string_view file_colon_ordinal) override;
    AaKey key_of(const AaInfo& aa) override;
    std::optional<AaInfo> find(const AaKey& key) override;
    std::string last_error() override { return last_error_; }

    sqlite3* db() { return db_; }
    // Runs SQL without results; false (and last_error) on failure.
    bool exec(const char* sql);
    // The message of the connection's last failure, with what was being done.
    std::string db_error(std::string_view doing);
    // Notes a failure; a damaged database is marked so that the next open rebuilds it.
    void failed(int rc, std::string_view doing);
    // A 64-bit fingerprint of the widths the AAs are measured with (0 without a table).
    std::uint64_t widths_signature() const;

  private:
    // The columns of an aa row, as aa_columns lists them.
    AaInfo read_aa(const Statement& s) const;
    bool file_is_current(std::int64_t file_id, std::string& path, std::string& member, int& format,
                         int& encoding, std::string& error);

    sqlite3* db_;
    std::string path_;
    const CharWidthTable* widths_ = nullptr;
    std::string last_error_;
    // The ZIP member last read, for the thumbnails of one file shown one after the other.
    std::string cached_zip_, cached_member_;
    std::int64_t cached_zip_mtime_ = 0;
    std::string cached_bytes_;
};

// The columns read_aa takes, in order.
inline constexpr const char* kAaColumns =
    "aa.id, aa.file_id, aa.ordinal, coalesce(heading.text, ''), coalesce(aa.title, ''), aa.width, aa.lines, "
    "aa.hash";
inline constexpr const char* kAaFrom = " FROM aa LEFT JOIN heading ON heading.id = aa.heading_id ";

// File times as the index keeps them: nanoseconds.
struct FileStamp {
    bool ok = false;
    int err = 0;
    bool directory = false;
    bool regular = false;
    std::int64_t size = 0;
    std::int64_t mtime = 0;
};
FileStamp stamp_of(const std::string& path);

// The path made absolute and without "." and ".." parts or a trailing slash.
std::string absolute_path(const std::string& path);

// The marker beside a database that a damaged one leaves, for the next open to rebuild it.
std::string damage_marker(const std::string& database_path);

}  // namespace glyphora::collection
