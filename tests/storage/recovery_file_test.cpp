#include "storage/recovery_file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <thread>

#include "io/file_io.h"
#include "io/test_support.h"
#include "storage/page_file.h"
#include "storage/test_support.h"

// Large allocations fail while this is set: serialising a full book is one such allocation. Every
// ordinary form of new and delete is replaced, so that all of them agree on where memory comes from.
static std::atomic<bool> g_fail_large_allocations{false};

static void* allocate(std::size_t size) noexcept {
    if (g_fail_large_allocations && size >= (1u << 16)) return nullptr;
    return std::malloc(size ? size : 1);
}
void* operator new(std::size_t size) {
    if (void* p = allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
// The replaced operator new takes its memory from malloc, so free is the matching release.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace glyphora {
namespace {

namespace fs = std::filesystem;
using test::fill_part;

class RecoveryFile : public ::testing::Test {
  protected:
    fs::path dir = test::fresh_dir();
    std::unique_ptr<Documents> docs = make_documents();
    std::unique_ptr<Documents> other = make_documents();
    PreviewBook& book() { return docs->preview; }
    std::string path(const std::string& name) { return (dir / name).string(); }

    void fill_book(PreviewBook& b) {
        for (int page : {0, 12, 29})
            for (int slot : {0, 3, 49}) fill_part(b.pages[page].slots[slot], page * 50 + slot + 1);
        b.page_settings[12].renderdotflag = true;
        b.page_settings[29].rendernotrenspace = true;
        set_string(b.collection_name, "/home/aa/\x8A\xE7.aap");  // a Shift_JIS name ("顔")
    }
};

TEST_F(RecoveryFile, KeepsEveryPageTheirSettingsAndTheCollectionName) {
    fill_book(book());
    const std::string bytes = serialize_recovery(book());
    ASSERT_EQ(parse_recovery(bytes, other->preview), FileStatus::ok);
    EXPECT_EQ(serialize_collection(other->preview), serialize_collection(book()));
    EXPECT_EQ(get_string(other->preview.collection_name), get_string(book().collection_name));

    // Through a file, and with no collection name remembered yet.
    set_string(book().collection_name, "");
    ASSERT_TRUE(write_recovery(path("r"), book()).ok);
    ASSERT_EQ(read_recovery(path("r"), other->preview), FileStatus::ok);
    EXPECT_EQ(get_string(other->preview.collection_name), "");
    EXPECT_EQ(serialize_recovery(other->preview), serialize_recovery(book()));
}

TEST_F(RecoveryFile, ADamagedFileChangesNothing) {
    fill_book(book());
    const std::string bytes = serialize_recovery(book());
    fill_book(other->preview);
    set_string(other->preview.collection_name, "kept");
    const std::string before = serialize_recovery(other->preview);

    EXPECT_EQ(parse_recovery("", other->preview), FileStatus::wrong_magic);
    EXPECT_EQ(parse_recovery(serialize_collection(book()), other->preview), FileStatus::wrong_magic);
    // Cut anywhere after the header, including inside the name and inside the collection.
    for (std::size_t size :
         {std::size_t{23}, std::size_t{30}, std::size_t{60}, bytes.size() / 2, bytes.size() - 2})
        EXPECT_EQ(parse_recovery(bytes.substr(0, size), other->preview), FileStatus::cut_off) << size;
    // A name longer than a path can be.
    const std::string long_name = std::string(kRecoveryMagic) + '\0' + std::string(kPathCapacity, 'n') +
                                  '\0' + serialize_collection(book());
    EXPECT_EQ(parse_recovery(long_name, other->preview), FileStatus::cut_off);
    EXPECT_EQ(serialize_recovery(other->preview), before);

    EXPECT_EQ(read_recovery(path("missing"), other->preview), FileStatus::cannot_open_for_reading);
    EXPECT_EQ(serialize_recovery(other->preview), before);
}

TEST_F(RecoveryFile, AFailedWriteSaysWhyAndKeepsTheFileBefore) {
    ASSERT_TRUE(write_recovery(path("r"), book()).ok);
    const std::string first = test::file_content(dir / "r");
    fill_book(book());
    IoResult full_disk;
    {
        const FileSizeLimit limit(first.size() + 100);  // writes past it fail as on a full disk
        full_disk = write_recovery(path("r"), book());
    }
    EXPECT_FALSE(full_disk.ok);
    EXPECT_FALSE(full_disk.error.empty());
    EXPECT_EQ(test::file_content(dir / "r"), first);
    const IoResult no_folder = write_recovery(path("gone/r"), book());
    EXPECT_FALSE(no_folder.ok);
    EXPECT_FALSE(no_folder.error.empty());
}

// The autosave writes from a worker thread, where an exception would end the program: running out of
// memory while serialising is a failed write like any other, and the file before it stays.
TEST_F(RecoveryFile, RunningOutOfMemoryIsAFailedWriteNotACrash) {
    for (int page = 0; page < kPreviewPages; ++page)
        for (int slot = 0; slot < kPartsPerPage; ++slot) fill_part(book().pages[page].slots[slot], slot + 1);
    const std::string file = path("unsaved-pages.recovery");
    ASSERT_TRUE(write_file_atomically(file, "before").ok);
    IoResult result;
    std::thread worker([&] {
        g_fail_large_allocations = true;
        result = write_recovery(file, book());
        g_fail_large_allocations = false;
    });
    worker.join();
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("memory"), std::string::npos) << result.error;
    std::string back;
    ASSERT_TRUE(read_whole_file(file, back).ok);
    EXPECT_EQ(back, "before");
}

}  // namespace
}  // namespace glyphora
