#include "settings/render_setup.h"

namespace glyphora {

RenderContext make_render_context(const Settings& settings, const CharWidthTable& widths,
                                  const MirrorTables& mirrors) {
    RenderContext rc;
    rc.widths = &widths;
    rc.mirror_h = &mirrors.horizontal;
    rc.mirror_v = &mirrors.vertical;
    rc.global_settings = settings.render;
    rc.render_pageflag = settings.render_pageflag;
    rc.exact_fill = settings.renderexactfill;
    rc.unicode_fill = settings.renderunicodefill;
    rc.fontface = settings.fontface;
    return rc;
}

}  // namespace glyphora
