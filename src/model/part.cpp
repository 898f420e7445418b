#include "model/part.h"

#include <cstdio>

namespace glyphora {

const std::array<const char*, RenderSettings::kCount> kRenderFlagKeys = {
    "render_linenumber", "renderdotflag",     "rendernotsp",   "renderspbar",
    "renderhancode",     "renderhantenzmode", "rendersetsize", "rendernotrenspace",
};

namespace {
constexpr bool RenderSettings::*kFlagMembers[RenderSettings::kCount] = {
    &RenderSettings::render_linenumber, &RenderSettings::renderdotflag,
    &RenderSettings::rendernotsp,       &RenderSettings::renderspbar,
    &RenderSettings::renderhancode,     &RenderSettings::renderhantenzmode,
    &RenderSettings::rendersetsize,     &RenderSettings::rendernotrenspace,
};
}  // namespace

bool& RenderSettings::flag(int i) {
    return this->*kFlagMembers[i];
}
bool RenderSettings::flag(int i) const {
    return this->*kFlagMembers[i];
}

RenderSettings default_global_render_settings() {
    RenderSettings s;
    s.renderhantenzmode = true;
    s.rendersetsize = true;
    return s;
}

void clear_slot(Part& part) {
    part.selected = false;
    part.in_use = false;
    part.is_label = false;
    part.icon = false;
    part.always_opaque = true;
    part.no_space_click_select = false;
    part.flip_h = false;
    part.flip_v = false;
    part.no_mirror_table = false;
    part.border_left = 0;
    part.border_right = 0;
    part.x = 0;
    part.y = 0;
    part.box = Box{};
    part.text[0] = '\0';
    part.comment[0] = '\0';
    part.name[0] = '\0';
}

void reset_box(Part& part) {
    part.box = Box{};
}

void set_text(Part& part, std::string_view text) {
    set_string(part.text, text);
}
void set_comment(Part& part, std::string_view comment) {
    set_string(part.comment, comment);
}
void set_name(Part& part, std::string_view name) {
    set_string(part.name, name);
}

void set_text_from_clipboard(Part& part, std::string_view clipboard_text) {
    set_text(part, clipboard_text);
}

void replace_content(Part& destination, const Part& source) {
    destination.selected = source.selected;
    destination.in_use = source.in_use;
    destination.is_label = source.is_label;
    destination.icon = source.icon;
    destination.always_opaque = source.always_opaque;
    destination.no_space_click_select = source.no_space_click_select;
    destination.border_left = source.border_left;
    destination.border_right = source.border_right;
    set_string(destination.text, get_string(source.text));
    set_string(destination.comment, get_string(source.comment));
    set_string(destination.name, get_string(source.name));
    reset_box(destination);
}

std::string list_label(const Part& part) {
    char buf[kListLabelCapacity];
    const std::string name(get_string(part.name));
    const std::string comment(get_string(part.comment));
    if (!part.in_use) {
        // Half-width katakana middle dot.
        return std::string("\xA5");
    }
    if (part.is_label) {
        std::snprintf(buf, sizeof buf, "*%s", name.c_str());
    } else if (!comment.empty()) {
        std::snprintf(buf, sizeof buf, "  (%3d,%3d)%s[%s]", part.x, part.y, name.c_str(), comment.c_str());
    } else {
        std::snprintf(buf, sizeof buf, "  (%3d,%3d)%s", part.x, part.y, name.c_str());
    }
    return std::string(buf);
}

}  // namespace glyphora
