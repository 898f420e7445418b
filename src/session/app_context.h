#pragma once
// The session: what the windows of the program share for the whole run (the model, the settings in memory
// and their file, the mirror tables, the character width table, the UI services, the program-wide flags)
// and the calls through which a window tells the others what changed. Made once by the Application; the
// windows keep a reference to it.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "model/books.h"
#include "model/mirror_table.h"
#include "model/side.h"
#include "platform/ui_services.h"
#include "render/char_width_table.h"
#include "render/output.h"
#include "settings/settings.h"
#include "settings/settings_file.h"

namespace glyphora {

// Fills the width table; false (with a message for the user) when no font could be measured.
using WidthTableBuilder =
    std::function<bool(CharWidthTable& table, const Settings& settings, std::string& error)>;

// Measures the font the settings name (fontface, fontpoint).
bool build_widths_from_font(CharWidthTable& table, const Settings& settings, std::string& error);

struct AppContext {
    explicit AppContext(UiServices& ui_services);

    UiServices& ui;
    std::unique_ptr<Documents> docs;
    Settings settings;
    std::optional<SettingsFile> settings_file;  // bound in the first step of start-up
    std::unique_ptr<MirrorTables> mirrors;
    std::unique_ptr<CharWidthTable> widths;
    std::string program_directory;  // where the settings and the default library live, with a trailing '/'
    // The library file in use. The book keeps a copy cut to its capacity; this one is never cut, so the
    // library is always written back where it was read from.
    std::string library_path;
    bool options_open = false;  // the options sheet is open: several commands and the close request wait

    WidthTableBuilder build_widths = build_widths_from_font;
    // Builds the width table the first time it is needed; false when no font could be measured (the
    // table then stays unbuilt and is not tried again).
    bool ensure_width_table();
    // Tells the user, once, why the width table could not be built.
    void report_width_table_failure();
    bool width_table_failed = false;
    bool width_table_failure_reported = false;
    std::string width_table_error;

    // "These sides changed": their lists and canvases show the model again (a temporary rendering on
    // display ends). Every command that changes parts says so through this one call; the main dialog
    // installs what it does.
    // A change of what is stored (parts, texts, positions, flags) marks the preview modified; a change of
    // what is only shown (the selection) does not.
    enum class Change { content, display };
    void changed(Sides sides, Change what = Change::content) {
        if (what == Change::content && sides.has(Side::preview)) preview_modified();
        if (changed_hook) changed_hook(sides);
    }
    std::function<void(Sides)> changed_hook;

    // The preview's modified flag: set by every change of its pages or their settings, cleared when the
    // collection is saved or loaded whole. preview_edits counts the changes, for the autosave.
    void preview_modified();
    void preview_saved();
    std::uint64_t preview_edits = 0;
    // Called whenever the flag may have changed or the preview was modified again (the main dialog's
    // title, the autosave); installed by the program.
    std::function<void()> modified_hook;
    // The main dialog's undo command, which the canvases' menus offer too; installed by the main dialog.
    std::function<void()> undo;

    // The output code's set-up for the settings in memory.
    RenderContext render_context() const;

    SettingsFile& file() { return *settings_file; }
    Page& preview_page() { return docs->preview.pages[docs->preview.current_page]; }
    Page& library_page() { return docs->library.pages[docs->library.current_page]; }
    // Invalidates the undo snapshot (after a page change, file operations and the like).
    void invalidate_undo();
};

}  // namespace glyphora
