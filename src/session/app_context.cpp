#include "session/app_context.h"

#include "settings/render_setup.h"
#include "system/font_metrics.h"

namespace glyphora {

bool build_widths_from_font(CharWidthTable& table, const Settings& settings, std::string& error) {
    return build_width_table_from_font(table, settings.fontface, settings.fontpoint, error);
}

AppContext::AppContext(UiServices& ui_services)
    : ui(ui_services),
      docs(make_documents()),
      mirrors(std::make_unique<MirrorTables>()),
      widths(std::make_unique<CharWidthTable>()) {}

bool AppContext::ensure_width_table() {
    if (widths->built) return true;
    if (width_table_failed) return false;
    if (build_widths && build_widths(*widths, settings, width_table_error) && widths->built &&
        widths->line_height > 0)
        return true;
    // Without a measured font nothing can be placed, and a line height of 0 would divide by zero.
    width_table_failed = true;
    widths->built = false;
    widths->count = 0;
    widths->line_height = 0;
    return false;
}

void AppContext::report_width_table_failure() {
    if (!width_table_failed || width_table_failure_reported) return;
    width_table_failure_reported = true;
    ui.show_message(nullptr, "描画フォントを読み込めません\n" + width_table_error);
}

RenderContext AppContext::render_context() const {
    return make_render_context(settings, *widths, *mirrors);
}

void AppContext::preview_modified() {
    docs->preview.modified = true;
    ++preview_edits;
    if (modified_hook) modified_hook();
}

void AppContext::preview_saved() {
    docs->preview.modified = false;
    if (modified_hook) modified_hook();
}

void AppContext::invalidate_undo() {
    take_snapshot(docs->undo, UndoKind::none, preview_page(), library_page(), 0);
}

}  // namespace glyphora
