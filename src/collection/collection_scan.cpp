// Bringing the index up to date with the folders on disk: listing, reading the new and changed files on
// worker threads, and writing them in file order on the calling thread.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "collection/aa_analysis.h"
#include "collection/search_text.h"
#include "collection/sqlite_index.h"
#include "exchange/aa_formats.h"
#include "io/file_io.h"

namespace glyphora::collection {

namespace {

namespace fs = std::filesystem;

struct ListedNode {
    std::string location, parent, name;
    NodeKind kind = NodeKind::folder;
    std::string error;
};

struct ListedFile {
    std::string path, member;  // member: inside the ZIP at path
    std::string parent, name;
    std::string words;  // of the names from the root down
    AaFormat format = AaFormat::mlt;
    std::int64_t size = -1, mtime = 0;  // ZIP members: size and CRC
    std::string error;                  // cannot even be looked at
};

struct Listing {
    std::vector<ListedNode> nodes;
    std::vector<ListedFile> files;
};

std::string base_name(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool is_zip_name(const std::string& name) {
    if (name.size() < 4) return false;
    std::string ext = name.substr(name.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".zip";
}

class Lister {
  public:
    Lister(const std::string& root, Listing& out) : root_(root), out_(out) {}

    void run() {
        const FileStamp st = stamp_of(root_);
        ListedNode node{root_, "", base_name(root_), NodeKind::root, ""};
        if (node.name.empty()) node.name = root_;
        if (!st.ok) {
            node.error = errno_message(st.err);
            out_.nodes.push_back(std::move(node));
            return;
        }
        const std::string root_words = base_name(root_);
        if (st.directory) {
            const std::size_t at = out_.nodes.size();
            out_.nodes.push_back(std::move(node));
            folder(root_, root_words, at);
        } else {
            out_.nodes.push_back(node);
            zip(root_, root_words, out_.nodes.size() - 1);
        }
    }

  private:
    void folder(const std::string& dir, const std::string& words, std::size_t node_index) {
        DIR* d = ::opendir(dir.c_str());
        if (d == nullptr) {
            out_.nodes[node_index].error = errno_message(errno);
            return;
        }
        std::vector<std::string> names;
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(d);
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            const std::string path = dir + "/" + name;
            struct stat lst {};
            if (::lstat(path.c_str(), &lst) != 0) continue;
            // Folders are followed only when they are no links, which could loop.
            if (S_ISDIR(lst.st_mode)) {
                out_.nodes.push_back({path, dir, name, NodeKind::folder, ""});
                folder(path, words + "/" + name, out_.nodes.size() - 1);
                continue;
            }
            const bool zip_file = is_zip_name(name);
            const auto format = aa_format_of_path(name);
            if (!zip_file && !format) continue;
            const FileStamp st = stamp_of(path);
            if (zip_file) {
                if (st.ok && !st.regular) continue;
                out_.nodes.push_back({path, dir, name, NodeKind::zip, st.ok ? "" : errno_message(st.err)});
                if (st.ok) zip(path, words + "/" + name, out_.nodes.size() - 1);
                continue;
            }
            if (st.ok && !st.regular) continue;
            ListedFile f;
            f.path = path;
            f.parent = dir;
            f.name = name;
            f.words = words + "/" + name;
            f.format = *format;
            if (st.ok) {
                f.size = st.size;
                f.mtime = st.mtime;
            } else {
                f.error = errno_message(st.err);
            }
            out_.files.push_back(std::move(f));
        }
    }

    void zip(const std::string& path, const std::string& words, std::size_t node_index) {
        std::string error;
        const auto archive = ZipArchive::open(path, error);
        if (!archive) {
            out_.nodes[node_index].error = error;
            return;
        }
        std::map<std::string, bool> folders;
        for (const ZipMember& m : archive->members()) {
            const auto format = aa_format_of_path(m.name);
            if (!format) continue;
            // Its folders inside the ZIP, each once.
            std::string parent = path;
            std::size_t from = 0;
            for (std::size_t slash = m.name.find('/'); slash != std::string::npos;
                 slash = m.name.find('/', from)) {
                const std::string part = m.name.substr(from, slash - from);
                from = slash + 1;
                if (part.empty()) continue;
                const std::string location = FileLocation{path, m.name.substr(0, slash)}.display();
                if (!folders[location]) {
                    folders[location] = true;
                    out_.nodes.push_back({location, parent, part, NodeKind::folder, ""});
                }
                parent = location;
            }
            ListedFile f;
            f.path = path;
            f.member = m.name;
            f.parent = parent;
            f.name = m.name.substr(from);
            f.words = words + "/" + m.name;
            f.format = *format;
            f.size = static_cast<std::int64_t>(m.size);
            f.mtime = m.crc;
            out_.files.push_back(std::move(f));
        }
    }

    std::string root_;
    Listing& out_;
};

// What a worker made of one file.
struct FileResult {
    std::size_t file = 0;   // index into the listing
    bool gone = false;      // deleted before it could be read
    bool unstable = false;  // changed while it was read: to be read again next time
    std::int64_t size = -1, mtime = 0;
    std::string error;
    AnalysedFile analysed;
};

// One plain file, or the members of one ZIP that are to be read.
struct Task {
    std::vector<std::size_t> files;
};

void read_plain(const ListedFile& f, const CharWidthTable* widths, FileResult& r) {
    const int fd = ::open(f.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            r.gone = true;
        else
            r.error = errno_message(errno);
        return;
    }
    struct stat before {
    }, after{};
    std::string bytes;
    bool ok = ::fstat(fd, &before) == 0;
    if (ok && static_cast<std::uint64_t>(before.st_size) > kMaxAaFileBytes) {
        ::close(fd);
        r.size = before.st_size;
        r.mtime = static_cast<std::int64_t>(before.st_mtim.tv_sec) * 1000000000 + before.st_mtim.tv_nsec;
        r.error = "the file has more than " + std::to_string(kMaxAaFileBytes >> 20) + " MB";
        return;
    }
    if (ok) {
        bytes.resize(static_cast<std::size_t>(before.st_size));
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                r.error = errno_message(errno);
                ok = false;
                break;
            }
            if (n == 0) break;
            done += static_cast<std::size_t>(n);
        }
        // Shorter than it was: it changed under us.
        if (done != bytes.size()) {
            bytes.resize(done);
            r.unstable = true;
        }
    }
    if (::fstat(fd, &after) != 0) ok = false;
    ::close(fd);
    if (!ok) {
        if (r.error.empty()) r.error = errno_message(errno);
        return;
    }
    const auto ns = [](const struct stat& st) {
        return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    };
    r.size = before.st_size;
    r.mtime = ns(before);
    if (after.st_size != before.st_size || ns(after) != ns(before)) r.unstable = true;
    r.analysed = analyse_file(bytes, f.format, widths);
    if (!r.analysed.ok) r.error = r.analysed.error;
}

void read_task(const Task& task, const Listing& listing, const CharWidthTable* widths,
               std::vector<FileResult>& results) {
    const ListedFile& first = listing.files[task.files.front()];
    std::unique_ptr<ZipArchive> archive;
    std::string zip_error;
    bool zip_gone = false;
    if (!first.member.empty()) {
        archive = ZipArchive::open(first.path, zip_error);
        zip_gone = !archive && ::access(first.path.c_str(), F_OK) != 0;
    }
    for (const std::size_t i : task.files) {
        const ListedFile& f = listing.files[i];
        FileResult r;
        r.file = i;
        if (!f.error.empty()) {
            r.error = f.error;
        } else if (f.member.empty()) {
            read_plain(f, widths, r);
        } else if (zip_gone) {
            r.gone = true;
        } else if (!archive) {
            r.error = zip_error;
        } else if (const ZipMember* m = archive->find(f.member); m == nullptr) {
            r.gone = true;
        } else {
            r.size = static_cast<std::int64_t>(m->size);
            r.mtime = m->crc;
            std::string bytes, why;
            if (!archive->read(*m, kMaxAaFileBytes, bytes, why)) {
                r.error = why;
            } else {
                r.analysed = analyse_file(bytes, f.format, widths);
                if (!r.analysed.ok) r.error = r.analysed.error;
            }
        }
        results.push_back(std::move(r));
    }
}

struct DbFile {
    std::int64_t id = 0, size = 0, mtime = 0, widths = 0;
    bool seen = false;
};

std::string file_key(const std::string& path, const std::string& member) {
    std::string k = path;
    k += '\0';
    k += member;
    return k;
}

// The writes of a scan, with their statements prepared once.
class Writer {
  public:
    explicit Writer(SqliteIndex& index)
        : db_(index.db()),
          find_(db_, "SELECT id, first_aa, last_aa FROM file WHERE path = ? AND member = ?"),
          del_aa_(db_, "DELETE FROM aa WHERE id BETWEEN ? AND ?"),
          del_fts_(db_, "DELETE FROM aa_fts WHERE rowid BETWEEN ? AND ?"),
          del_headings_(db_, "DELETE FROM heading WHERE file_id = ?"),
          del_heading_fts_(
              db_, "DELETE FROM heading_fts WHERE rowid IN (SELECT id FROM heading WHERE file_id = ?)"),
          del_file_(db_, "DELETE FROM file WHERE id = ?"),
          del_file_fts_(db_, "DELETE FROM file_fts WHERE rowid = ?"),
          insert_file_(
              db_,
              "INSERT INTO file(path, member, parent, root, name, format, size, mtime, encoding, error, "
              "widths) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
          update_file_(
              db_,
              "UPDATE file SET parent = ?, root = ?, name = ?, format = ?, size = ?, mtime = ?, encoding = "
              "?, error = ?, widths = ?, first_aa = 0, last_aa = 0, aa_count = 0 WHERE id = ?"),
          insert_file_fts_(db_, "INSERT INTO file_fts(rowid, words) VALUES(?, ?)"),
          insert_heading_(db_, "INSERT INTO heading(file_id, text) VALUES(?, ?)"),
          insert_aa_(
              db_,
              "INSERT INTO aa(file_id, ordinal, offset, length, heading_id, title, width, lines, hash) "
              "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)"),
          insert_fts_(db_, "INSERT INTO aa_fts(rowid, words) VALUES(?, ?)"),
          set_heading_(db_, "UPDATE heading SET first_aa = ?, last_aa = ? WHERE id = ?"),
          insert_heading_fts_(db_, "INSERT INTO heading_fts(rowid, words) VALUES(?, ?)"),
          set_range_(db_, "UPDATE file SET first_aa = ?, last_aa = ?, aa_count = ? WHERE id = ?") {}

    bool ok() const { return rc_ == SQLITE_OK; }
    int rc() const { return rc_; }

    bool begin() {
        if (in_transaction_) return true;
        in_transaction_ = check(sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr));
        started_ = std::chrono::steady_clock::now();
        return in_transaction_;
    }
    bool commit() {
        if (!in_transaction_) return ok();
        in_transaction_ = false;
        if (!check(sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr))) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            return false;
        }
        return true;
    }
    void rollback() {
        if (in_transaction_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        in_transaction_ = false;
    }
    // Commits now and then, so that other connections see the scan's progress.
    bool commit_now_and_then() {
        if (in_transaction_ && std::chrono::steady_clock::now() - started_ > std::chrono::milliseconds(300))
            return commit() && begin();
        return ok();
    }

    // Removes a file and everything indexed from it.
    bool remove(const std::string& path, const std::string& member) {
        find_.reset().bind(1, path).bind(2, member);
        if (!find_.step()) return check_done(find_);
        const std::int64_t id = find_.int64(0), first = find_.int64(1), last = find_.int64(2);
        find_.reset();
        return clear_contents(id, first, last) && run(del_file_.reset().bind(1, id)) &&
               run(del_file_fts_.reset().bind(1, id));
    }

    // Writes what was read of a file, replacing what it had; returns the AAs written.
    int write(const ListedFile& f, const std::string& root, const FileResult& r, std::uint64_t widths) {
        find_.reset().bind(1, f.path).bind(2, f.member);
        std::int64_t id = 0;
        if (find_.step()) {
            id = find_.int64(0);
            const std::int64_t first = find_.int64(1), last = find_.int64(2);
            find_.reset();
            if (!clear_contents(id, first, last)) return 0;
        } else if (!check_done(find_)) {
            return 0;
        }
        const std::int64_t size = r.unstable ? -1 : r.size;
        const int encoding = static_cast<int>(r.analysed.encoding);
        const auto widths_value = static_cast<std::int64_t>(widths);
        if (id != 0) {
            update_file_.reset()
                .bind(1, f.parent)
                .bind(2, root)
                .bind(3, f.name)
                .bind(4, static_cast<int>(f.format));
            update_file_.bind(5, size)
                .bind(6, r.mtime)
                .bind(7, encoding)
                .bind(8, r.error)
                .bind(9, widths_value);
            if (!run(update_file_.bind(10, id))) return 0;
        } else {
            insert_file_.reset()
                .bind(1, f.path)
                .bind(2, f.member)
                .bind(3, f.parent)
                .bind(4, root)
                .bind(5, f.name);
            insert_file_.bind(6, static_cast<int>(f.format)).bind(7, size).bind(8, r.mtime).bind(9, encoding);
            if (!run(insert_file_.bind(10, r.error).bind(11, widths_value))) return 0;
            id = sqlite3_last_insert_rowid(db_);
            std::string words;
            append_runs(words, f.words);
            if (!run(insert_file_fts_.reset().bind(1, id).bind(2, words))) return 0;
        }
        if (!r.error.empty()) return 0;
        std::vector<std::int64_t> heading_ids;
        for (const std::string& heading : r.analysed.headings) {
            if (!run(insert_heading_.reset().bind(1, id).bind(2, heading))) return 0;
            heading_ids.push_back(sqlite3_last_insert_rowid(db_));
        }
        std::int64_t first = 0, last = 0;
        std::vector<std::pair<std::int64_t, std::int64_t>> named(heading_ids.size(), {0, 0});
        for (const AnalysedAa& aa : r.analysed.aas) {
            insert_aa_.reset().bind(1, id).bind(2, aa.ordinal).bind(3, static_cast<std::int64_t>(aa.offset));
            insert_aa_.bind(4, static_cast<std::int64_t>(aa.length));
            if (aa.heading >= 0) insert_aa_.bind(5, heading_ids[static_cast<std::size_t>(aa.heading)]);
            if (!aa.title.empty()) insert_aa_.bind(6, aa.title);
            insert_aa_.bind(7, aa.size.width_px)
                .bind(8, aa.size.lines)
                .bind(9, static_cast<std::int64_t>(aa.hash));
            if (!run(insert_aa_)) return 0;
            const std::int64_t aa_id = sqlite3_last_insert_rowid(db_);
            if (first == 0) first = aa_id;
            last = aa_id;
            if (aa.heading >= 0) {
                auto& range = named[static_cast<std::size_t>(aa.heading)];
                if (range.first == 0) range.first = aa_id;
                range.second = aa_id;
            }
            if (!aa.words.empty() && !run(insert_fts_.reset().bind(1, aa_id).bind(2, aa.words))) return 0;
        }
        // A heading is found by its words for the AAs after it, which are one range.
        for (std::size_t h = 0; h < heading_ids.size(); ++h) {
            if (named[h].first == 0) continue;
            if (!run(set_heading_.reset()
                         .bind(1, named[h].first)
                         .bind(2, named[h].second)
                         .bind(3, heading_ids[h])) ||
                !run(
                    insert_heading_fts_.reset().bind(1, heading_ids[h]).bind(2, r.analysed.heading_words[h])))
                return 0;
        }
        const int count = static_cast<int>(r.analysed.aas.size());
        if (!run(set_range_.reset().bind(1, first).bind(2, last).bind(3, count).bind(4, id))) return 0;
        return count;
    }

  private:
    bool clear_contents(std::int64_t id, std::int64_t first, std::int64_t last) {
        if (first > 0 && (!run(del_aa_.reset().bind(1, first).bind(2, last)) ||
                          !run(del_fts_.reset().bind(1, first).bind(2, last))))
            return false;
        return run(del_heading_fts_.reset().bind(1, id)) && run(del_headings_.reset().bind(1, id));
    }
    bool run(Statement& s) {
        s.step();
        const bool good = s.done();
        if (!good) rc_ = s.rc() == SQLITE_OK ? SQLITE_ERROR : s.rc();
        s.reset();
        return good;
    }
    bool check_done(Statement& s) {
        if (s.done()) return true;
        rc_ = s.rc();
        return false;
    }
    bool check(int rc) {
        if (rc != SQLITE_OK) rc_ = rc;
        return rc == SQLITE_OK;
    }

    sqlite3* db_;
    int rc_ = SQLITE_OK;
    bool in_transaction_ = false;
    std::chrono::steady_clock::time_point started_;
    Statement find_, del_aa_, del_fts_, del_headings_, del_heading_fts_, del_file_, del_file_fts_,
        insert_file_, update_file_, insert_file_fts_, insert_heading_, insert_aa_, insert_fts_, set_heading_,
        insert_heading_fts_, set_range_;
};

}  // namespace

ScanResult SqliteIndex::scan(ScanProgress& progress) {
    ScanResult result;
    last_error_.clear();
    const std::vector<std::string> root_list = roots();
    if (!last_error_.empty()) {
        result.error = last_error_;
        return result;
    }
    // What is on disk.
    Listing listing;
    std::vector<std::size_t> root_of_file;  // index into root_list
    std::vector<std::pair<std::size_t, std::size_t>> node_ranges;
    for (std::size_t r = 0; r < root_list.size(); ++r) {
        const std::size_t nodes = listing.nodes.size(), files = listing.files.size();
        Lister(root_list[r], listing).run();
        node_ranges.push_back({nodes, listing.nodes.size()});
        root_of_file.resize(listing.files.size(), r);
        (void)files;
        if (progress.cancel) break;
    }
    // What the index holds.
    std::unordered_map<std::string, DbFile> indexed;
    {
        Statement s(db_, "SELECT path, member, id, size, mtime, widths FROM file");
        while (s.step())
            indexed[file_key(s.text(0), s.text(1))] =
                DbFile{s.int64(2), s.int64(3), s.int64(4), s.int64(5), false};
        if (!s.done()) {
            failed(s.rc(), "scan");
            result.error = last_error_;
            return result;
        }
    }
    for (const ListedNode& node : listing.nodes)
        if (!node.error.empty() && result.failures.size() < ScanResult::kListedFailures)
            result.failures.push_back(node.location + ": " + node.error);
    const std::uint64_t signature = widths_signature();
    Writer writer(*this);
    auto fail = [&](std::string_view doing) {
        writer.rollback();
        failed(writer.rc(), doing);
        result.ok = false;
        result.error = last_error_;
        return result;
    };

    // The tree's folders, and the files that are gone, at once.
    std::vector<std::size_t> to_read;
    for (std::size_t i = 0; i < listing.files.size(); ++i) {
        const ListedFile& f = listing.files[i];
        auto it = indexed.find(file_key(f.path, f.member));
        if (it != indexed.end()) {
            it->second.seen = true;
            const bool same_widths =
                signature == 0 || it->second.widths == static_cast<std::int64_t>(signature);
            if (f.error.empty() && it->second.size == f.size && it->second.mtime == f.mtime && same_widths) {
                ++result.files_unchanged;
                continue;
            }
        }
        to_read.push_back(i);
    }
    if (!writer.begin()) return fail("scan");
    {
        Statement del(db_, "DELETE FROM node WHERE root = ?");
        Statement ins(db_,
                      "INSERT OR REPLACE INTO node(location, parent, root, name, kind, error) VALUES(?, ?, "
                      "?, ?, ?, ?)");
        for (std::size_t r = 0; r < node_ranges.size(); ++r) {
            del.reset().bind(1, root_list[r]).step();
            for (std::size_t n = node_ranges[r].first; n < node_ranges[r].second; ++n) {
                const ListedNode& node = listing.nodes[n];
                ins.reset()
                    .bind(1, node.location)
                    .bind(2, node.parent)
                    .bind(3, root_list[r])
                    .bind(4, node.name);
                ins.bind(5, static_cast<int>(node.kind)).bind(6, node.error).step();
                if (!ins.done()) return fail("scan");
            }
        }
        // Files of roots no longer in the collection, and files no longer on disk.
        std::vector<std::pair<std::string, std::string>> gone;
        {
            Statement s(db_, "SELECT path, member FROM file");
            while (s.step()) {
                const auto it = indexed.find(file_key(s.text(0), s.text(1)));
                if (it == indexed.end() || !it->second.seen) gone.emplace_back(s.text(0), s.text(1));
            }
        }
        // A root whose listing was cut short by cancelling keeps its files.
        if (progress.cancel) gone.clear();
        for (const auto& [path, member] : gone) {
            if (!writer.remove(path, member)) return fail("scan");
            ++result.files_removed;
        }
    }
    if (!writer.commit()) return fail("scan");
    if (progress.listed) progress.listed();
    if (!writer.begin()) return fail("scan");

    // The files to read: a ZIP's members together, on one worker.
    std::vector<Task> tasks;
    std::map<std::string, std::size_t> zip_task;
    for (const std::size_t i : to_read) {
        const ListedFile& f = listing.files[i];
        if (f.member.empty()) {
            tasks.push_back(Task{{i}});
            continue;
        }
        auto [it, added] = zip_task.emplace(f.path, tasks.size());
        if (added) tasks.push_back(Task{});
        tasks[it->second].files.push_back(i);
    }
    progress.files_total = to_read.size();
    progress.files_done = 0;

    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::size_t, std::vector<FileResult>> ready;
    std::size_t next_task = 0, written = 0;
    bool stop = false;
    constexpr std::size_t kWindow = 16;  // tasks read ahead of the writer, to bound the memory
    const CharWidthTable* widths = widths_;
    auto worker = [&] {
        for (;;) {
            std::size_t t;
            {
                std::unique_lock lock(mutex);
                changed.wait(
                    lock, [&] { return stop || next_task >= tasks.size() || next_task < written + kWindow; });
                if (stop || next_task >= tasks.size()) return;
                t = next_task++;
            }
            std::vector<FileResult> results;
            if (!progress.cancel) read_task(tasks[t], listing, widths, results);
            {
                std::lock_guard lock(mutex);
                ready[t] = std::move(results);
            }
            changed.notify_all();
        }
    };
    const unsigned hw = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t worker_count = std::min<std::size_t>({hw, 4, std::max<std::size_t>(tasks.size(), 1)});
    std::vector<std::thread> workers;
    for (std::size_t i = 0; i < worker_count && !tasks.empty(); ++i) workers.emplace_back(worker);
    auto stop_workers = [&] {
        {
            std::lock_guard lock(mutex);
            stop = true;
        }
        changed.notify_all();
        for (std::thread& w : workers) w.join();
        workers.clear();
    };

    bool write_failed = false;
    for (std::size_t t = 0; t < tasks.size(); ++t) {
        std::vector<FileResult> results;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return ready.count(t) > 0; });
            results = std::move(ready[t]);
            ready.erase(t);
        }
        if (progress.cancel) {
            result.cancelled = true;
            break;
        }
        for (FileResult& r : results) {
            const ListedFile& f = listing.files[r.file];
            if (r.gone) {
                if (!writer.remove(f.path, f.member)) write_failed = true;
                ++result.files_removed;
            } else {
                const int aas = writer.write(f, root_list[root_of_file[r.file]], r, signature);
                if (!writer.ok()) write_failed = true;
                progress.aas += static_cast<std::uint64_t>(aas);
                if (r.error.empty()) {
                    ++result.files_read;
                } else {
                    ++result.files_failed;
                    if (result.failures.size() < ScanResult::kListedFailures)
                        result.failures.push_back(FileLocation{f.path, f.member}.display() + ": " + r.error);
                }
            }
            ++progress.files_done;
            if (write_failed) break;
        }
        {
            std::lock_guard lock(mutex);
            written = t + 1;
        }
        changed.notify_all();
        if (write_failed || !writer.commit_now_and_then()) {
            write_failed = true;
            break;
        }
    }
    stop_workers();
    if (write_failed) return fail("scan");
    if (progress.cancel) result.cancelled = true;

    // The AAs below each folder.
    {
        std::unordered_map<std::string, std::pair<std::string, std::int64_t>>
            counts;  // location: parent, AAs
        for (const ListedNode& n : listing.nodes) counts[n.location] = {n.parent, 0};
        Statement s(db_, "SELECT parent, aa_count FROM file WHERE aa_count > 0");
        while (s.step()) {
            const std::int64_t n = s.int64(1);
            for (std::string at = s.text(0); !at.empty();) {
                auto it = counts.find(at);
                if (it == counts.end()) break;
                it->second.second += n;
                at = it->second.first;
            }
        }
        Statement set(db_, "UPDATE node SET aa_count = ? WHERE location = ?");
        for (const auto& [location, value] : counts) {
            set.reset().bind(1, value.second).bind(2, location).step();
            if (!set.done()) return fail("scan");
        }
    }
    if (!writer.commit()) return fail("scan");
    sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    result.ok = true;
    return result;
}

bool SqliteIndex::remove_root(const std::string& given, std::string& error) {
    const std::string path = absolute_path(given);
    last_error_.clear();
    Writer writer(*this);
    std::vector<std::pair<std::string, std::string>> files;
    {
        Statement s(db_, "SELECT path, member FROM file WHERE root = ?");
        s.bind(1, path);
        while (s.step()) files.emplace_back(s.text(0), s.text(1));
    }
    bool ok = writer.begin();
    for (const auto& [p, m] : files) ok = ok && writer.remove(p, m);
    if (ok) {
        Statement n(db_, "DELETE FROM node WHERE root = ?");
        n.bind(1, path).step();
        Statement r(db_, "DELETE FROM root WHERE path = ?");
        r.bind(1, path).step();
        ok = n.done() && r.done();
    }
    if (!ok || !writer.commit()) {
        writer.rollback();
        failed(writer.rc() != SQLITE_OK ? writer.rc() : sqlite3_errcode(db_), "removing a folder");
        error = last_error_;
        return false;
    }
    return true;
}

}  // namespace glyphora::collection
