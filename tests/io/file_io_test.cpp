#include "io/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "io/test_support.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

// Every change of the process's umask in this program is counted: the umask is process-wide, and a writer
// on a worker thread that changes it, even for a moment, gives files made meanwhile by other threads the
// wrong permissions.
static std::atomic<int> g_umask_calls{0};
extern "C" mode_t umask(mode_t mask) {
    ++g_umask_calls;
    using Real = mode_t (*)(mode_t);
    static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "umask"));
    return real(mask);
}

namespace glyphora {
namespace {

namespace fs = std::filesystem;

class FileIo : public ::testing::Test {
  protected:
    fs::path dir;
    void SetUp() override {
        // One folder per test: ctest runs the tests of this program in parallel.
        dir = fs::path(std::getenv("GLYPHORA_HOME")) /
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    std::vector<std::string> names() {
        std::vector<std::string> v;
        for (const auto& e : fs::directory_iterator(dir)) v.push_back(e.path().filename().string());
        return v;
    }
};

TEST_F(FileIo, WritesAndReadsBackBinaryContent) {
    const std::string path = (dir / "a.bin").string();
    const std::string content("\0\x81\x40\r\nend", 7);
    ASSERT_TRUE(write_file_atomically(path, content).ok);
    std::string back;
    ASSERT_TRUE(read_whole_file(path, back).ok);
    EXPECT_EQ(back, content);
    ASSERT_TRUE(write_file_atomically(path, "short").ok);
    ASSERT_TRUE(read_whole_file(path, back).ok);
    EXPECT_EQ(back, "short");
    EXPECT_EQ(names().size(), 1u);  // no temporary file left behind
}

TEST_F(FileIo, KeepsPermissionsOfTheReplacedFile) {
    const std::string path = (dir / "p.txt").string();
    ASSERT_TRUE(write_file_atomically(path, "x").ok);
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(write_file_atomically(path, "y").ok);
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(FileIo, ASymbolicLinkStaysALink) {
    const fs::path real = dir / "real.aal";
    const fs::path link = dir / "link.aal";
    ASSERT_TRUE(write_file_atomically(real.string(), "old").ok);
    fs::create_symlink(real, link);
    ASSERT_TRUE(write_file_atomically(link.string(), "new").ok);
    EXPECT_TRUE(fs::is_symlink(link));
    std::string back;
    ASSERT_TRUE(read_whole_file(real.string(), back).ok);
    EXPECT_EQ(back, "new");
}

TEST_F(FileIo, FailuresAreReportedAndLeaveTheOldFile) {
    std::string out;
    const IoResult missing = read_whole_file((dir / "none").string(), out);
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.error.find("none"), std::string::npos);
    EXPECT_FALSE(read_whole_file(dir.string(), out).ok);  // a folder is not a file

    EXPECT_FALSE(write_file_atomically((dir / "no" / "such" / "f").string(), "x").ok);

    // The target is a folder: the rename fails, nothing is left behind.
    fs::create_directories(dir / "target");
    const IoResult r = write_file_atomically((dir / "target").string(), "x");
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(names().size(), 1u);
}

TEST_F(FileIo, FullDiskLeavesThePreviousFileIntact) {
    const std::string path = (dir / "keep.txt").string();
    ASSERT_TRUE(write_file_atomically(path, "precious").ok);
    {
        // A file size limit makes write() fail part-way, as a full disk does.
        FileSizeLimit limit(1024);
        const IoResult r = write_file_atomically(path, std::string(100000, 'x'));
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.error.empty());
    }
    std::string back;
    ASSERT_TRUE(read_whole_file(path, back).ok);
    EXPECT_EQ(back, "precious");
    EXPECT_EQ(names().size(), 1u);
}

TEST_F(FileIo, ANewFileWrittenFromAnotherThreadHasTheUmasksModeAndLeavesTheUmaskAlone) {
    const mode_t before = ::umask(027);
    g_umask_calls = 0;
    const std::string path = (dir / "new.recovery").string();
    IoResult result;
    std::thread([&] { result = write_file_atomically(path, "pages"); }).join();
    EXPECT_EQ(g_umask_calls.load(), 0);
    ::umask(before);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(FileIo, ErrorTextsComeFromTheSystem) {
    EXPECT_EQ(errno_message(ENOSPC), std::strerror(ENOSPC));
    EXPECT_FALSE(errno_message(123456).empty());
}

}  // namespace
}  // namespace glyphora
