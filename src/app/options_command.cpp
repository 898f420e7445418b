#include "app/command_groups.h"
#include "app/main_dialog.h"
#include "options/options_sheet.h"

namespace glyphora {

void install_options_command(MainDialog& dialog) {
    dialog.set_command(control_id::kOptions,
                       [&dialog] { run_options_sheet(dialog.context(), OptionsSheetKind::full, &dialog); });
}

}  // namespace glyphora
