#include "render/render_line.h"

#include <algorithm>
#include <cstring>

namespace glyphora {

namespace {

bool x_less(const LineCell& c, int64_t x) {
    return c.x < x;
}

}  // namespace

int RenderLine::first_at_or_after(int64_t x) const {
    if (front_ > 0 && cells_[front_ - 1].x >= x)
        return static_cast<int>(std::lower_bound(cells_, cells_ + front_, x, x_less) - cells_);
    // At or just after the gap is the usual case: a part's next character, over what an earlier part left.
    const int near = std::min(end_, back_ + 4);
    int i = back_;
    while (i < near && cells_[i].x < x) ++i;
    if (i == end_ || cells_[i].x >= x) return front_ + (i - back_);
    const LineCell* it = std::lower_bound(cells_ + i, cells_ + end_, x, x_less);
    return front_ + static_cast<int>(it - (cells_ + back_));
}

void RenderLine::move_gap(int position) {
    if (position < front_) {
        const int n = front_ - position;
        back_ -= n;
        std::memmove(&cells_[back_], &cells_[position], static_cast<std::size_t>(n) * sizeof(LineCell));
        front_ = position;
    } else if (position > front_) {
        const int n = position - front_;
        std::memmove(&cells_[front_], &cells_[back_], static_cast<std::size_t>(n) * sizeof(LineCell));
        front_ = position;
        back_ += n;
    }
}

bool RenderLine::place_cell(int32_t code, int64_t x, int64_t width) {
    if (width <= 0 || x < 0) return false;
    const int n = size();
    // lo: the first cell the new one touches, which is the one straddling x if there is one.
    const int k = first_at_or_after(x);
    int lo = k;
    if (k > 0) {
        const LineCell& before = at(k - 1);
        if (before.x + before.width > x) lo = k - 1;
    }
    // It would go after the 1000th cell, which it does not touch: the line is full, nothing is inserted.
    if (lo == kCellsPerLine) return true;
    move_gap(lo);
    // The touched cells now follow the gap: the one straddling x, then those starting before the new
    // cell's end. Each is passed once and removed, so this stays cheap.
    const int64_t right = x + width;
    const int first_removed = back_;
    while (back_ < end_ && cells_[back_].x < right) ++back_;
    const int hi = lo + (back_ - first_removed);
    // The array that is compacted only afterwards still holds its cell 999 unless the new cell frees it;
    // then the line counts as full, and the shift that makes room pushes that last cell out.
    const bool full = n == kCellsPerLine && hi < kCellsPerLine;
    if (full) --end_;
    if (front_ == back_) {
        const int tail = end_ - back_;
        std::memmove(&cells_[kStorage - tail], &cells_[back_],
                     static_cast<std::size_t>(tail) * sizeof(LineCell));
        back_ = kStorage - tail;
        end_ = kStorage;
    }
    cells_[front_++] = LineCell{x, width, code};
    return full;
}

LineCell* RenderLine::cell_at(int64_t x) {
    const int k = first_at_or_after(x);
    if (k == size()) return nullptr;
    LineCell& cell = k < front_ ? cells_[k] : cells_[back_ + (k - front_)];
    return cell.x == x ? &cell : nullptr;
}

const LineCell* RenderLine::cells() {
    move_gap(size());
    return cells_;
}

int fill_gaps(const LineCell* cells, int count, LineCell* out, bool& no_room) {
    no_room = false;
    // One pass does what rescanning from the start after every insertion does: the cells before the
    // insertion point are unchanged, so a rescan would arrive at the same place with the same edge. Only
    // the cells at indices 0 to 998 are examined, as the array scan always did.
    constexpr int kLastScanned = kCellsPerLine - 2;
    int end = count;  // cells [i, end) of the input are still to come
    int i = 0;
    int j = 0;  // index in out, which is also the index of cells[i] in the line being filled
    int64_t edge = 0;
    while (j <= kLastScanned && i < end) {
        const LineCell& c = cells[i];
        if (c.x > edge) {
            if (j + (end - i) == kCellsPerLine) {
                no_room = true;
                --end;  // the inserted gap pushes the line's last cell out
            }
            out[j++] = LineCell{edge, c.x - edge, code_of(BlankCode::gap)};
            if (j > kLastScanned) break;
        }
        out[j++] = c;
        edge = c.x + c.width;
        ++i;
    }
    while (i < end) out[j++] = cells[i++];
    return j;
}

int merge_blanks(LineCell* cells, int count) {
    int n = 0;
    for (int i = 0; i < count; ++i) {
        if (n > 0 && is_blank_code(cells[n - 1].code) && is_blank_code(cells[i].code)) {
            cells[n - 1].width = cells[i].x + cells[i].width - cells[n - 1].x;
        } else {
            cells[n++] = cells[i];
        }
    }
    while (n > 0 && is_blank_code(cells[n - 1].code)) --n;
    return n;
}

}  // namespace glyphora
