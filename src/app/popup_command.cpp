#include "app/command_groups.h"
#include "app/main_dialog.h"
#include "app/page_image_commands.h"
#include "app/post_dialog.h"
#include "app/posting_session.h"
#include "canvas/canvas_window.h"
#include "canvas/count_strip.h"
#include "canvas/popup_commands.h"
#include "canvas/popup_menu.h"
#include "options/options_sheet.h"

namespace glyphora {

void run_popup_command(MainDialog& dialog, CanvasWindow& canvas, const PopupItem& item) {
    AppContext& ctx = dialog.context();
    const bool preview = !canvas.is_library();
    switch (item.command) {
        case PopupCommand::separator:
            break;
        case PopupCommand::update_library:
            update_library_file(ctx, canvas);
            break;
        case PopupCommand::register_from_library:
            register_from_library(ctx, &dialog);
            break;
        case PopupCommand::toggle_frames:
            toggle_frames(ctx, canvas);
            break;
        case PopupCommand::temporary_rendering:
        case PopupCommand::temporary_rendering_clipboard:
            if (!preview) break;
            // Only a rendering made here is worth rendering again; until then "←" and "→" end any display.
            if (!dialog.temporary_rendering_repeat())
                dialog.set_temporary_rendering_repeat(
                    [&ctx, &canvas] { temporary_rendering(ctx, canvas, TempRenderMode::repeat); });
            temporary_rendering(ctx, canvas,
                                item.command == PopupCommand::temporary_rendering
                                    ? TempRenderMode::display
                                    : TempRenderMode::clipboard);
            break;
        case PopupCommand::rendering_options:
            if (preview) run_options_sheet(ctx, OptionsSheetKind::rendering_only, &canvas);
            break;
        case PopupCommand::posts:
            if (preview) run_post_dialog(dialog, &canvas);
            break;
        case PopupCommand::save_image:
        case PopupCommand::save_image_double:
            if (preview)
                save_current_page_image(dialog, item.command == PopupCommand::save_image_double ? 2 : 1,
                                        &canvas);
            break;
        case PopupCommand::toggle_blank_colouring:
            toggle_blank_colouring(canvas);
            break;
        case PopupCommand::align_horizontally:
            align_horizontally(ctx, canvas);
            break;
        case PopupCommand::undo:
            if (ctx.undo) ctx.undo();
            break;
        case PopupCommand::menu_character:
            if (preview) add_menu_character_part(ctx, canvas, item.menu_index);
            break;
    }
}

void install_popup_commands(MainDialog& dialog) {
    for (CanvasWindow* canvas : {&dialog.preview_canvas(), &dialog.library_canvas()})
        canvas->set_popup_handler(
            [&dialog](CanvasWindow& on, const PopupItem& item) { run_popup_command(dialog, on, item); });

    // The temporary rendering is counted as the current board counts it.
    CountStrip* strip = dialog.preview_canvas().count_strip();
    PostingSession& session = PostingSession::of(dialog);
    strip->set_counter([&session](std::string_view rendered) {
        PageCountLine line = page_count_line(rendered, session.current());
        return TempCount{std::move(line.text), line.over};
    });
    QObject::connect(&session, &PostingSession::profile_changed, strip, &CountStrip::recount);
}

}  // namespace glyphora
