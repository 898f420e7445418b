#include "storage/library_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "io/file_io.h"
#include "storage/page_file.h"
#include "storage/test_support.h"

namespace glyphora {
namespace {

namespace fs = std::filesystem;
using test::fill_part;
using test::stored;

class LibraryFile : public ::testing::Test {
  protected:
    fs::path dir = test::fresh_dir();
    std::unique_ptr<Documents> docs = make_documents();
    std::unique_ptr<Documents> other = make_documents();
    LibraryBook& lib() { return docs->library; }

    std::string path(const std::string& name) { return (dir / name).string(); }
    void save(const std::string& name, const std::string& bytes) {
        ASSERT_TRUE(write_file_atomically(path(name), bytes).ok);
    }
    // Named pages 0, 4 and 19 with parts in slots 0 and 49.
    void fill_library(LibraryBook& b) {
        for (int page : {0, 4, 19}) {
            set_string(b.page_names[page], "page name " + std::to_string(page));
            for (int slot : {0, 49}) fill_part(b.pages[page].slots[slot], page * 50 + slot + 1);
        }
    }
    void expect_same_library(const LibraryBook& a, const LibraryBook& b) {
        for (int p = 0; p < kLibraryPages; ++p) {
            EXPECT_EQ(get_string(a.page_names[p]), get_string(b.page_names[p])) << p;
            for (int s = 0; s < kPartsPerPage; ++s)
                ASSERT_EQ(stored(a.pages[p].slots[s]), stored(b.pages[p].slots[s])) << p << "/" << s;
        }
    }
};

TEST_F(LibraryFile, EmptyLibraryIs1056Bytes) {
    const std::string bytes = serialize_library(lib());
    ASSERT_EQ(bytes.size(), 1056u);
    EXPECT_EQ(bytes, std::string("Glyphora-Libr V003\0", 19) + std::string(20, '\0') +
                         std::string(1000, '\x04') + std::string("Glyphora-Endmark\0", 17));
    ASSERT_EQ(write_library(path("library.aal"), lib()), FileStatus::ok);
    EXPECT_EQ(fs::file_size(path("library.aal")), 1056u);
}

TEST_F(LibraryFile, RoundTripAndOlderVersions) {
    fill_library(lib());
    lib().path[0] = 'p';
    other->library.library_writable = false;
    ASSERT_EQ(write_library(path("a.aal"), lib()), FileStatus::ok);
    ASSERT_EQ(read_library(path("a.aal"), other->library), FileStatus::ok);
    expect_same_library(other->library, lib());
    EXPECT_FALSE(other->library.library_writable);  // left to the caller, as is the path
    EXPECT_EQ(get_string(other->library.path), "");

    for (int version : {1, 2}) {
        save("old.aal", test::library_bytes(lib(), version));
        ASSERT_EQ(read_library_all_or_nothing(path("old.aal"), other->library), FileStatus::ok) << version;
        EXPECT_EQ(other->library.pages[4].slots[49].border_left, 0);
        EXPECT_EQ(other->library.pages[4].slots[49].border_right, 0);
        EXPECT_EQ(get_string(other->library.pages[4].slots[49].text),
                  get_string(lib().pages[4].slots[49].text));
        EXPECT_EQ(serialize_library(other->library).substr(0, 19), std::string("Glyphora-Libr V003\0", 19));
    }
}

TEST_F(LibraryFile, LongPageNamesAreCutAndTheFollowingNamesStillLoad) {
    std::string bytes = serialize_library(lib());
    bytes.insert(19, std::string(40, 'L'));  // page 0's name
    bytes.insert(19 + 41, "second");         // page 1's name
    ASSERT_EQ(parse_library(bytes, lib()), FileStatus::ok);
    EXPECT_EQ(get_string(lib().page_names[0]), std::string(29, 'L'));
    EXPECT_EQ(get_string(lib().page_names[1]), "second");
    LibraryIndex index;
    ASSERT_EQ(parse_library_index(bytes, index), FileStatus::ok);
    EXPECT_EQ(get_string(index.page_names[0]), std::string(29, 'L'));
    EXPECT_EQ(get_string(index.page_names[1]), "second");
}

TEST_F(LibraryFile, CutOffLibrary) {
    fill_library(lib());
    const std::string file = serialize_library(lib());
    // Only 17 pages: page 4 ends with the part named n250, then come pages 5 to 16 of empty records.
    const std::size_t page4_end = file.find(std::string("n250\0", 5)) + 5;
    const std::string seventeen = file.substr(0, page4_end + 12 * 50);
    save("cut.aal", seventeen);
    fill_part(other->library.pages[2].slots[2], 2);
    const std::string untouched = serialize_library(other->library);
    EXPECT_EQ(read_library_all_or_nothing(path("cut.aal"), other->library), FileStatus::cut_off);
    EXPECT_EQ(serialize_library(other->library), untouched);
    EXPECT_EQ(read_library(path("cut.aal"), other->library), FileStatus::cut_off);
    EXPECT_EQ(stored(other->library.pages[4].slots[49]), stored(lib().pages[4].slots[49]));
    EXPECT_FALSE(other->library.pages[2].slots[2].in_use);
    EXPECT_EQ(get_string(other->library.page_names[19]), "page name 19");  // names come first

    EXPECT_EQ(read_library(path("none.aal"), other->library), FileStatus::cannot_open_for_reading);
    save("collection.aap", serialize_collection(docs->preview));
    EXPECT_EQ(read_library(path("collection.aap"), other->library), FileStatus::wrong_magic);
    EXPECT_EQ(get_string(other->library.page_names[19]), "page name 19");
}

// Every prefix of a small library, through every reader: 3 or 5, never a crash, and the all-or-nothing
// forms leave their targets as they were.
TEST_F(LibraryFile, EveryTruncationThroughEveryReader) {
    set_string(lib().page_names[1], "one");
    fill_part(lib().pages[1].slots[3], 8);
    const std::string file = serialize_library(lib());
    fill_library(other->library);
    fill_part(other->preview.pages[25].slots[0], 25);
    const std::string library_before = serialize_library(other->library);
    const std::string preview_before = serialize_collection(other->preview);
    const auto index = std::make_unique<LibraryIndex>();
    for (std::size_t n = 0; n + 1 < file.size(); ++n) {
        const std::string cut = file.substr(0, n);
        const FileStatus expected = n < 18 ? FileStatus::wrong_magic : FileStatus::cut_off;
        ASSERT_EQ(parse_library(cut, lib()), expected) << n;
        ASSERT_EQ(parse_library_index(cut, *index), expected) << n;
        ASSERT_EQ(parse_library_page(cut, 1, lib(), 2), expected) << n;
        ASSERT_EQ(parse_library_into_preview(cut, docs->preview), expected) << n;
        if (n % 7 != 0) continue;  // the file forms share the parsers; a sample of them is enough
        save("cut.aal", cut);
        ASSERT_EQ(read_library_all_or_nothing(path("cut.aal"), other->library), expected);
        ASSERT_EQ(read_library_page_all_or_nothing(path("cut.aal"), 1, other->library, 4), expected);
        ASSERT_EQ(read_library_into_preview_all_or_nothing(path("cut.aal"), other->preview), expected);
        ASSERT_EQ(serialize_library(other->library), library_before) << n;
        ASSERT_EQ(serialize_collection(other->preview), preview_before) << n;
    }
}

TEST_F(LibraryFile, IndexNamesTheUsedPages) {
    fill_library(lib());
    ASSERT_EQ(write_library(path("a.aal"), lib()), FileStatus::ok);
    LibraryIndex index;
    set_string(index.page_names[7], "stale");
    index.page_used[7] = true;
    ASSERT_EQ(read_library_index(path("a.aal"), index), FileStatus::ok);
    for (int p = 0; p < kLibraryPages; ++p) {
        EXPECT_EQ(index.page_used[p], p == 0 || p == 4 || p == 19) << p;
        EXPECT_EQ(get_string(index.page_names[p]), get_string(lib().page_names[p]));
    }
}

TEST_F(LibraryFile, ReadOnePageIntoAnotherLibrary) {
    fill_library(lib());
    ASSERT_EQ(write_library(path("a.aal"), lib()), FileStatus::ok);
    LibraryBook& dest = other->library;
    fill_part(dest.pages[9].slots[5], 99);
    fill_part(dest.pages[3].slots[0], 33);
    ASSERT_EQ(read_library_page(path("a.aal"), 4, dest, 9), FileStatus::ok);
    EXPECT_EQ(get_string(dest.page_names[9]), "page name 4");
    for (int s = 0; s < kPartsPerPage; ++s)
        EXPECT_EQ(stored(dest.pages[9].slots[s]), stored(lib().pages[4].slots[s]));
    EXPECT_TRUE(dest.pages[3].slots[0].in_use);  // other pages untouched

    EXPECT_EQ(read_library_page(path("a.aal"), 20, dest, 0), FileStatus::cannot_open_for_reading);
    EXPECT_EQ(read_library_page(path("a.aal"), 0, dest, -1), FileStatus::cannot_open_for_reading);

    // Cut after slot 0 of page 0: the plain form has replaced slot 0 and the name, not slot 49.
    const std::string file = serialize_library(lib());
    save("cut.aal", file.substr(0, file.find(std::string("n1\0", 3)) + 3));
    fill_part(dest.pages[9].slots[0], 90);
    fill_part(dest.pages[9].slots[49], 91);
    const std::string before = serialize_library(dest);
    EXPECT_EQ(read_library_page_all_or_nothing(path("cut.aal"), 0, dest, 9), FileStatus::cut_off);
    EXPECT_EQ(serialize_library(dest), before);
    EXPECT_EQ(read_library_page(path("cut.aal"), 0, dest, 9), FileStatus::cut_off);
    EXPECT_EQ(get_string(dest.page_names[9]), "page name 0");
    EXPECT_EQ(stored(dest.pages[9].slots[0]), stored(lib().pages[0].slots[0]));
    EXPECT_EQ(get_string(dest.pages[9].slots[49].name), "n91");
}

TEST_F(LibraryFile, PreviewThroughALibraryFile) {
    PreviewBook& preview = docs->preview;
    for (int p : {0, 19, 20, 29}) fill_part(preview.pages[p].slots[p], p + 1);
    preview.page_settings[0].renderdotflag = true;
    ASSERT_EQ(write_library_from_preview(path("p.aal"), preview), FileStatus::ok);
    LibraryIndex index;
    ASSERT_EQ(read_library_index(path("p.aal"), index), FileStatus::ok);
    EXPECT_EQ(get_string(index.page_names[0]), "page 0");
    EXPECT_EQ(get_string(index.page_names[19]), "page 19");

    PreviewBook& back = other->preview;
    fill_part(back.pages[25].slots[3], 7);
    back.page_settings[25].renderspbar = true;
    ASSERT_EQ(read_library_into_preview(path("p.aal"), back), FileStatus::ok);
    for (int p = 0; p < kPreviewPages; ++p) {
        EXPECT_EQ(back.page_settings[p], RenderSettings{});
        for (int s = 0; s < kPartsPerPage; ++s) {
            if (p < kLibraryPages)
                ASSERT_EQ(stored(back.pages[p].slots[s]), stored(preview.pages[p].slots[s]));
            else
                ASSERT_FALSE(back.pages[p].slots[s].in_use);
        }
    }
}

TEST_F(LibraryFile, AFailedWriteBackKeepsTheLibraryFile) {
    fill_library(lib());
    ASSERT_EQ(write_library(path("library.aal"), lib()), FileStatus::ok);
    const std::string before = test::file_content(path("library.aal"));
    set_text(lib().pages[10].slots[0], std::string(16383, 'q'));
    lib().pages[10].slots[0].in_use = true;
    {
        FileSizeLimit limit(before.size() + 1000);
        EXPECT_EQ(write_library(path("library.aal"), lib()), FileStatus::cannot_open_for_writing);
        EXPECT_EQ(write_library_from_preview(path("library.aal"), docs->preview), FileStatus::ok);
        EXPECT_EQ(write_library(path("library.aal"), lib()), FileStatus::cannot_open_for_writing);
    }
    EXPECT_EQ(test::file_content(path("library.aal")).size(), 1056u + 20 * 6 + 10);  // "page N" names
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    EXPECT_EQ(write_library(path("missing/library.aal"), lib()), FileStatus::cannot_open_for_writing);
}

}  // namespace
}  // namespace glyphora
