#pragma once
// One text line of a page being rendered: cells of characters and blanks at pixel positions, in ascending
// order, never overlapping, at most 1000. Parts are laid out in slot order and each new cell removes every
// earlier cell it touches.
//
// The cells are kept in a gap buffer: laying out a part places its characters one after another, so the
// next cell almost always goes where the last one went, and both the search and the insertion stay O(1)
// there. The observable behaviour, including what is lost when the line is full, is exactly that of the
// plain array of 1000 cells that is compacted after every change.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace glyphora {

constexpr int kCellsPerLine = 1000;

// Cell codes of the blank kinds; 0x20 (half-width space) and 0x8140 (full-width space) are blanks too.
enum class BlankCode : int32_t {
    wide = 0xFFF0,  // &ensp;, and the border margins of an always-opaque part
    nbsp = 0xFFF1,  // &nbsp;
    thin = 0xFFF2,  // &thinsp;
    fill = 0xFFF3,  // the rest of a line of an always-opaque part
    gap = 0xFFF4,   // empty pixels between cells
};

// The code a cell stores for the blank kind.
constexpr int32_t code_of(BlankCode blank) {
    return static_cast<int32_t>(blank);
}

constexpr bool is_blank_code(int32_t code) {
    return code == 0x20 || code == 0x8140 ||
           (code >= code_of(BlankCode::wide) && code <= code_of(BlankCode::gap));
}

// Cell codes of characters written as numeric references ("&#x2661;"): kReferenceCodeFirst plus the
// index of the cell's bytes in the rendering's ReferenceSpellings. Far above every Shift_JIS code and every
// BlankCode, so that no writer can take one for a character code or a blank.
constexpr int32_t kReferenceCodeFirst = 0x01000000;

constexpr bool is_reference_code(int32_t code) {
    return code >= kReferenceCodeFirst;
}

// The bytes of the reference cells of one rendering, each as it goes into the output: the reference as its
// part wrote it, with the ";" added when it had none, so that a digit or letter written after it on the
// line is never read into it. A cell holds one character of width; references of no width (a combining
// mark, a variation selector) ride along in the cell of the character beside them, so that they are
// written where they stood.
//
// A cell of one reference points into its part's text, which outlives the rendering; only a cell that
// joins several pieces keeps a copy of them.
class ReferenceSpellings {
  public:
    struct CellText {
        std::string_view bytes;
        bool semicolon = false;        // a ";" goes after them
        uint32_t references = 0;       // the references they hold
        uint32_t reference_bytes = 0;  // and the bytes those take in the output
        std::size_t size() const { return bytes.size() + (semicolon ? 1 : 0); }
    };

    void clear() {
        cells_.clear();
        joined_.clear();
        open_start_ = 0;
        open_ = {};
    }

    // A cell of one reference, with its code.
    int32_t add(std::string_view spelling, bool terminated) {
        const uint32_t size = static_cast<uint32_t>(spelling.size()) + (terminated ? 0 : 1);
        cells_.push_back(
            Cell{spelling.data(), 0, static_cast<uint32_t>(spelling.size()), !terminated, 1, size});
        return code_of_last();
    }

    // A joined cell is built piece by piece until close() gives it its code.
    void append(std::string_view bytes) { joined_.append(bytes); }
    void append_reference(std::string_view spelling, bool terminated) {
        joined_.append(spelling);
        if (!terminated) joined_.push_back(';');
        open_.references += 1;
        open_.reference_bytes += static_cast<uint32_t>(spelling.size() + (terminated ? 0 : 1));
    }
    // Appends what the cell `code` writes, for a joined cell that replaces it.
    void append_cell(int32_t code) {
        const CellText t = text(code);
        joined_.append(t.bytes);
        if (t.semicolon) joined_.push_back(';');
        open_.references += t.references;
        open_.reference_bytes += t.reference_bytes;
    }
    // Drops the joined cell being built.
    void discard() {
        joined_.resize(open_start_);
        open_ = {};
    }
    int32_t close() {
        cells_.push_back(Cell{nullptr, open_start_, static_cast<uint32_t>(joined_.size() - open_start_),
                              false, open_.references, open_.reference_bytes});
        open_start_ = joined_.size();
        open_ = {};
        return code_of_last();
    }

    // What a reference cell writes; nothing for a code that is none of them.
    CellText text(int32_t code) const {
        if (!is_reference_code(code)) return {};
        const std::size_t i = static_cast<std::size_t>(code - kReferenceCodeFirst);
        if (i >= cells_.size()) return {};
        const Cell& c = cells_[i];
        const std::string_view bytes =
            c.data ? std::string_view(c.data, c.size) : std::string_view(joined_).substr(c.start, c.size);
        return {bytes, c.semicolon, c.references, c.reference_bytes};
    }
    // The bytes of a reference cell as they go into the output.
    std::string spelling(int32_t code) const {
        const CellText t = text(code);
        return std::string(t.bytes) + (t.semicolon ? ";" : "");
    }
    // No cell yet.
    bool empty() const { return cells_.empty(); }

  private:
    struct Count {
        uint32_t references = 0;
        uint32_t reference_bytes = 0;
    };
    struct Cell {
        const char* data;  // the part's bytes, or nullptr for joined_[start, start + size)
        std::size_t start;
        uint32_t size;
        bool semicolon;
        uint32_t references;
        uint32_t reference_bytes;
    };
    int32_t code_of_last() const { return kReferenceCodeFirst + static_cast<int32_t>(cells_.size() - 1); }

    std::vector<Cell> cells_;
    std::string joined_;          // the bytes of the joined cells
    std::size_t open_start_ = 0;  // where the joined cell being built starts
    Count open_;                  // its references
};

// Positions are 64-bit so that no part position or width, however large, can overflow.
struct LineCell {
    int64_t x = 0;
    int64_t width = 0;  // always positive
    int32_t code = 0;
    // What the browser's advance differs from width by, in 1/64 pixel: not 0 only for a character whose
    // advance is not a whole pixel (a reference such as "&#x2006;").
    int32_t fraction64 = 0;
};

class RenderLine {
  public:
    int32_t number = 0;  // 1 to 80

    void clear(int32_t line_number) {
        number = line_number;
        front_ = 0;
        back_ = end_ = kStorage;
    }
    int size() const { return front_ + (end_ - back_); }

    // Places a cell, removing every cell it touches. Cells of no width or left of pixel 0 are dropped.
    // Returns true when the line was full (the caller records ErrorKind::line_full); the last cell is then
    // lost.
    bool place_cell(int32_t code, int64_t x, int64_t width);

    // The cell that starts at x, or nullptr. The pointer is valid until the next change.
    LineCell* cell_at(int64_t x);

    // The cells in order, contiguous; valid until the next change.
    const LineCell* cells();

  private:
    // Room beyond the 1000 cells lets the buffer drop its last cell in place many times before it has to
    // move its tail to open the gap again.
    static constexpr int kStorage = 1280;

    const LineCell& at(int i) const { return i < front_ ? cells_[i] : cells_[back_ + (i - front_)]; }
    int first_at_or_after(int64_t x) const;
    void move_gap(int position);

    // Cells [0, front_) come first, then [back_, end_); the gap is [front_, back_).
    int front_ = 0;
    int back_ = kStorage;
    int end_ = kStorage;
    LineCell cells_[kStorage];
};

// Turns the empty pixels before and between the cells into BlankCode::gap cells, writing the result to out
// (room for kCellsPerLine cells). Sets no_room when a gap was inserted into a full line, which loses the
// line's last cell. Returns the number of cells in out.
int fill_gaps(const LineCell* cells, int count, LineCell* out, bool& no_room);

// Joins neighbouring blanks into one and drops the blanks at the end of the line. Returns the new count.
int merge_blanks(LineCell* cells, int count);

}  // namespace glyphora
