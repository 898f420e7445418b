#pragma once
// The two sides of the program: the preview (the 30 pages being composed) and the library (20 pages of
// reusable parts). Each side has its list in the main dialog and its canvas; a change names the sides it
// touched, and whatever shows a side refreshes itself.

#include <cstdint>

namespace glyphora {

enum class Side : std::uint8_t { preview, library };

// A set of sides, for "these sides changed".
class Sides {
  public:
    constexpr Sides() = default;
    constexpr Sides(Side side) : bits_(bit(side)) {}  // one side is a set of one
    static constexpr Sides both() { return Sides(Side::preview) | Sides(Side::library); }

    constexpr bool has(Side side) const { return (bits_ & bit(side)) != 0; }
    constexpr bool empty() const { return bits_ == 0; }
    friend constexpr Sides operator|(Sides a, Sides b) {
        Sides out;
        out.bits_ = static_cast<std::uint8_t>(a.bits_ | b.bits_);
        return out;
    }
    friend constexpr bool operator==(Sides, Sides) = default;

  private:
    static constexpr std::uint8_t bit(Side side) { return side == Side::preview ? 1 : 2; }
    std::uint8_t bits_ = 0;
};

// 0 for the preview, 1 for the library: the index of a side's entry in per-side tables and its number in
// the settings file's section names ("window0", "window1").
constexpr int index_of(Side side) {
    return side == Side::preview ? 0 : 1;
}

constexpr Side other_side(Side side) {
    return side == Side::preview ? Side::library : Side::preview;
}

}  // namespace glyphora
