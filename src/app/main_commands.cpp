#include "app/command_groups.h"
#include "app/main_dialog.h"

namespace glyphora {

void install_main_commands(MainDialog& /*dialog*/) {}

}  // namespace glyphora
