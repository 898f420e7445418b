#pragma once
// The fixed-size document model: parts, pages and the rendering settings stored with them.
// Every string is a NUL-terminated Shift_JIS byte string of fixed capacity; storing a longer value cuts
// it at capacity - 1 bytes (the cut counts bytes and may split a double-byte character).

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace glyphora {

constexpr int kPartsPerPage = 50;
constexpr int kPreviewPages = 30;
constexpr int kLibraryPages = 20;
constexpr std::size_t kTextCapacity = 16384;
constexpr std::size_t kCommentCapacity = 50;
constexpr std::size_t kNameCapacity = 30;
constexpr std::size_t kPathCapacity = 260;
constexpr std::size_t kListLabelCapacity = 256;

struct Box {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool is_zero() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
    friend bool operator==(const Box&, const Box&) = default;
};

struct Point {
    int32_t x = 0, y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Part {
    bool selected = false;
    bool in_use = false;
    bool is_label = false;
    bool icon = false;
    bool always_opaque = true;
    bool no_space_click_select = false;
    bool flip_h = false;
    bool flip_v = false;
    bool no_mirror_table = false;
    int32_t border_left = 0;
    int32_t border_right = 0;
    int32_t x = 0;
    int32_t y = 0;
    Box box;
    Point drag_origin;  // transient: where the part was when the current canvas drag began
    char text[kTextCapacity] = {};
    char comment[kCommentCapacity] = {};
    char name[kNameCapacity] = {};
};

// Copies value into a fixed buffer, cut at capacity - 1 bytes, always NUL-terminated.
template <std::size_t N>
void set_string(char (&dst)[N], std::string_view value) {
    const std::size_t n = value.size() < N - 1 ? value.size() : N - 1;
    value.copy(dst, n);
    dst[n] = '\0';
}

// The string held by a fixed buffer (up to its NUL, never past its capacity).
template <std::size_t N>
std::string_view get_string(const char (&src)[N]) {
    std::size_t n = 0;
    while (n < N && src[n] != '\0') ++n;
    return {src, n};
}

// The eight rendering flags, in the order page files store them.
struct RenderSettings {
    bool render_linenumber = false;
    bool renderdotflag = false;
    bool rendernotsp = false;
    bool renderspbar = false;
    bool renderhancode = false;
    bool renderhantenzmode = false;
    bool rendersetsize = false;
    bool rendernotrenspace = false;

    static constexpr int kCount = 8;
    bool& flag(int i);
    bool flag(int i) const;
    friend bool operator==(const RenderSettings&, const RenderSettings&) = default;
};

// Settings-file keys of the flags, in stored order.
extern const std::array<const char*, RenderSettings::kCount> kRenderFlagKeys;

// The global copy's defaults (per-page copies start all false).
RenderSettings default_global_render_settings();

struct Page {
    Part slots[kPartsPerPage];
};

void clear_slot(Part& part);
void reset_box(Part& part);
void set_text(Part& part, std::string_view text);
void set_comment(Part& part, std::string_view comment);
void set_name(Part& part, std::string_view name);

// The part's text becomes clipboard_text (cut to capacity); an empty string when the clipboard holds none.
void set_text_from_clipboard(Part& part, std::string_view clipboard_text);

// Copies the look of source onto destination, keeping the destination's place and flips; resets its box.
void replace_content(Part& destination, const Part& source);

// The list row of a slot (at most 255 bytes).
std::string list_label(const Part& part);

}  // namespace glyphora
