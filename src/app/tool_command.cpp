#include "app/command_groups.h"
#include "app/main_dialog.h"
#include "app/tool_dialog.h"

namespace glyphora {

void install_tool_command(MainDialog& dialog) {
    dialog.set_command(control_id::kTool, [&dialog] { run_tool_command(dialog); });
}

}  // namespace glyphora
