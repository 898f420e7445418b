// Shifting the preview pages back and forward: which pages move, which are lost, which one is cleared,
// and that the per-page settings and the current page stay where they are.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "storage/test_support.h"
#include "tools/page_shift.h"

namespace glyphora {
namespace {

using test::fill_part;
using test::stored;

std::string page_bytes(const Page& page) {
    std::string out;
    for (const Part& part : page.slots) out += stored(part) + (part.selected ? "S" : "-");
    return out;
}

class PageShiftTest : public ::testing::Test {
  protected:
    void SetUp() override {
        before.clear();
        settings_before.clear();
        clear_preview(*book);
        // Every page is told apart by its parts; page k uses slots 0 and k (the last slot on page 29 is 49).
        for (int k = 0; k < kPreviewPages; ++k) {
            fill_part(book->pages[k].slots[0], 10 * k + 1);
            fill_part(book->pages[k].slots[k == kPreviewPages - 1 ? kPartsPerPage - 1 : k], 10 * k + 2);
            book->pages[k].slots[0].selected = k % 2 == 0;
            book->page_settings[k].flag(k % RenderSettings::kCount) = true;
            book->page_settings[k].rendersetsize = k >= 15;
        }
        book->current_page = 10;
        set_string(book->collection_name, "/tmp/pages.aap");
        for (int k = 0; k < kPreviewPages; ++k) {
            before.push_back(page_bytes(book->pages[k]));
            settings_before.push_back(book->page_settings[k]);
        }
        clear_page(*empty);
    }

    std::string page(int k) const { return page_bytes(book->pages[k]); }
    std::string empty_page() const { return page_bytes(*empty); }

    void expect_unmoved_settings_and_place() const {
        for (int k = 0; k < kPreviewPages; ++k) EXPECT_EQ(book->page_settings[k], settings_before[k]) << k;
        EXPECT_EQ(book->current_page, 10);
        EXPECT_EQ(get_string(book->collection_name), "/tmp/pages.aap");
    }

    std::unique_ptr<PreviewBook> book = std::make_unique<PreviewBook>();
    std::unique_ptr<Page> empty = std::make_unique<Page>();
    std::vector<std::string> before;
    std::vector<RenderSettings> settings_before;
};

TEST_F(PageShiftTest, BackFromPageTenMovesTheRestBackAndClearsPageTen) {
    ASSERT_TRUE(shift_pages_back(*book, 10));
    for (int k = 0; k < 10; ++k) EXPECT_EQ(page(k), before[k]) << k;
    EXPECT_EQ(page(10), empty_page());
    for (int k = 11; k < kPreviewPages; ++k) EXPECT_EQ(page(k), before[k - 1]) << k;
    expect_unmoved_settings_and_place();
}

TEST_F(PageShiftTest, BackAtEitherEnd) {
    ASSERT_TRUE(shift_pages_back(*book, 0));
    EXPECT_EQ(page(0), empty_page());
    for (int k = 1; k < kPreviewPages; ++k) EXPECT_EQ(page(k), before[k - 1]) << k;

    SetUp();
    ASSERT_TRUE(shift_pages_back(*book, kPreviewPages - 1));
    for (int k = 0; k < kPreviewPages - 1; ++k) EXPECT_EQ(page(k), before[k]) << k;
    EXPECT_EQ(page(kPreviewPages - 1), empty_page());
    expect_unmoved_settings_and_place();
}

TEST_F(PageShiftTest, ForwardFromPageTenDropsItAndClearsTheLastPage) {
    ASSERT_TRUE(shift_pages_forward(*book, 10));
    for (int k = 0; k < 10; ++k) EXPECT_EQ(page(k), before[k]) << k;
    for (int k = 10; k < kPreviewPages - 1; ++k) EXPECT_EQ(page(k), before[k + 1]) << k;
    EXPECT_EQ(page(kPreviewPages - 1), empty_page());
    expect_unmoved_settings_and_place();
}

TEST_F(PageShiftTest, ForwardAtEitherEnd) {
    // On the last page only that page is cleared.
    ASSERT_TRUE(shift_pages_forward(*book, kPreviewPages - 1));
    for (int k = 0; k < kPreviewPages - 1; ++k) EXPECT_EQ(page(k), before[k]) << k;
    EXPECT_EQ(page(kPreviewPages - 1), empty_page());

    SetUp();
    ASSERT_TRUE(shift_pages_forward(*book, 0));
    for (int k = 0; k < kPreviewPages - 1; ++k) EXPECT_EQ(page(k), before[k + 1]) << k;
    EXPECT_EQ(page(kPreviewPages - 1), empty_page());
    expect_unmoved_settings_and_place();
}

TEST_F(PageShiftTest, BackThenForwardRestoresAllButTheLostLastPage) {
    ASSERT_TRUE(shift_pages_back(*book, 5));
    ASSERT_TRUE(shift_pages_forward(*book, 5));
    for (int k = 0; k < kPreviewPages - 1; ++k) EXPECT_EQ(page(k), before[k]) << k;
    EXPECT_EQ(page(kPreviewPages - 1), empty_page());
}

TEST_F(PageShiftTest, PagesOutOfRangeChangeNothing) {
    for (int from : {-1, kPreviewPages, 1000}) {
        EXPECT_FALSE(shift_pages_back(*book, from));
        EXPECT_FALSE(shift_pages_forward(*book, from));
    }
    for (int k = 0; k < kPreviewPages; ++k) EXPECT_EQ(page(k), before[k]) << k;
    expect_unmoved_settings_and_place();
}

}  // namespace
}  // namespace glyphora
