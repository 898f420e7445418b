#include "tools/page_shift.h"

namespace glyphora {

namespace {

constexpr int kLastPage = kPreviewPages - 1;

bool valid_page(int page) {
    return page >= 0 && page <= kLastPage;
}

}  // namespace

bool shift_pages_back(PreviewBook& book, int from) {
    if (!valid_page(from)) return false;
    for (int k = kLastPage - 1; k >= from; --k) copy_page(book.pages[k + 1], book.pages[k]);
    clear_page(book.pages[from]);
    return true;
}

bool shift_pages_forward(PreviewBook& book, int from) {
    if (!valid_page(from)) return false;
    for (int k = from; k < kLastPage; ++k) copy_page(book.pages[k], book.pages[k + 1]);
    clear_page(book.pages[kLastPage]);
    return true;
}

}  // namespace glyphora
