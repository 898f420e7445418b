#pragma once
// The output code's set-up from the settings in memory: the one place that says which setting a render
// command reads, for the desktop program and the command-line tool alike, so a new rendering setting is
// added here once.

#include "model/mirror_table.h"
#include "render/char_width_table.h"
#include "render/output.h"
#include "settings/settings.h"

namespace glyphora {

// The context points at `widths` and `mirrors`, which must outlive it.
RenderContext make_render_context(const Settings& settings, const CharWidthTable& widths,
                                  const MirrorTables& mirrors);

}  // namespace glyphora
