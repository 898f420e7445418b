#include "app/command_groups.h"
#include "app/main_dialog.h"

namespace glyphora {

void install_tool_command(MainDialog& /*dialog*/) {}

}  // namespace glyphora
