#pragma once
// Moving the preview pages from a given page on by one page. Only the parts move: every page index keeps
// its own rendering settings, and the book's current page stays where it is.

#include "model/books.h"

namespace glyphora {

// Pages from..28 move to from+1..29 (the old page 29 is lost) and page `from` is cleared. False (nothing
// changed) for a page out of range.
bool shift_pages_back(PreviewBook& book, int from);

// Pages from+1..29 move to from..28 (the old page `from` is lost) and page 29 is cleared. False (nothing
// changed) for a page out of range.
bool shift_pages_forward(PreviewBook& book, int from);

}  // namespace glyphora
