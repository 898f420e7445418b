// Starts the program with a small sample collection in the preview and the library, to look at it under a
// real or virtual display (the load command is not there yet). Usage: glyphora_look [seconds]; with a
// number it ends by itself after that many seconds. It never writes the library back.

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include "app/application.h"
#include "app/main_dialog.h"
#include "canvas/canvas_window.h"
#include "model/test_support.h"
#include "platform/qt_ui_services.h"

using namespace glyphora;

namespace {

// "　 ∧＿∧⏎　（　´∀｀）⏎　（　　　　）⏎　｜ ｜　|⏎　（_＿）＿）"
constexpr const char* kMona =
    "\x81@ "
    "\x81\xC8\x81Q\x81\xC8\x0D\x0A\x81@\x81i\x81@\x81L\x81\xCD\x81M\x81j\x0D\x0A\x81@\x81i\x81@\x81@\x81@"
    "\x81@\x81j\x0D\x0A\x81@\x81"
    "b \x81"
    "b\x81@|\x0D\x0A\x81@\x81i_\x81Q\x81j\x81Q\x81j";
// "ｷﾀ━━━━(ﾟ∀ﾟ)━━━━!!"
constexpr const char* kKita =
    "\xB7\xC0\x84\xAA\x84\xAA\x84\xAA\x84\xAA(\xDF\x81\xCD\xDF)\x84\xAA\x84\xAA\x84\xAA\x84\xAA!!";
// "　 ∧∧⏎　(ﾟーﾟ*)⏎　ﾉ つつ⏎～(＿＿_ｿ"
constexpr const char* kGiko =
    "\x81@ \x81\xC8\x81\xC8\x0D\x0A\x81@(\xDF\x81[\xDF*)\x0D\x0A\x81@\xC9 "
    "\x82\xC2\x82\xC2\x0D\x0A\x81`(\x81Q\x81Q_\xBF";
// "　　 ,.,.,.,.⏎　 (;;;;;;;;;;;)⏎　　(;;;;;;;;)⏎　　　 ||⏎＿＿＿||＿＿"
constexpr const char* kTree =
    "\x81@\x81@ ,.,.,.,.\x0D\x0A\x81@ (;;;;;;;;;;;)\x0D\x0A\x81@\x81@(;;;;;;;;)\x0D\x0A\x81@\x81@\x81@ "
    "||\x0D\x0A"
    "\x81Q\x81Q\x81Q||\x81Q\x81Q";
// "　∧＿∧⏎（　´_ゝ`）⏎/　　 ＼"
constexpr const char* kOmae =
    "\x81@\x81\xC8\x81Q\x81\xC8\x0D\x0A\x81i\x81@\x81L_\x81T`\x81j\x0D\x0A/\x81@\x81@ \x81_";
constexpr const char* kMonaName = "\x83\x82\x83i\x81[";  // "モナー"
constexpr const char* kGikoName = "\x83M\x83R";          // "ギコ"
constexpr const char* kTreeName = "\x96\xD8";            // "木"
constexpr const char* kKitaName = "\x83L\x83^\x81[";     // "キター"
constexpr const char* kOmaeName = "\x97\xAC\x90\xCE";    // "流石"
constexpr const char* kFacesPage = "\x8A\xE7";           // "顔"
constexpr const char* kSceneryPage = "\x95\x97\x8Ci";    // "風景"
constexpr const char* kIconComment = "\xD3\xC5\xB0";     // "ﾓﾅｰ"
constexpr const char* kTitleName =
    "\x83^\x83"
    "C\x83g\x83\x8B";  // "タイトル"

Part& place(Page& page, int slot, int x, int y, const char* name, const char* text,
            const char* comment = "") {
    Part& part = test::put_part(page, slot, x, y, text, name);
    set_comment(part, comment);
    return part;
}

void fill_sample(AppContext& ctx) {
    Page& preview = ctx.docs->preview.pages[0];
    place(preview, 0, 8, 54, kTreeName, kTree);
    place(preview, 1, 150, 36, kKitaName, kKita);
    place(preview, 2, 130, 72, kMonaName, kMona).selected = true;
    place(preview, 3, 280, 108, kGikoName, kGiko);
    place(preview, 4, 40, 200, kOmaeName, kOmae, "AA");
    place(preview, 5, 0, 0, kTitleName, "").is_label = true;

    LibraryBook& library = ctx.docs->library;
    set_string(library.page_names[0], kFacesPage);
    set_string(library.page_names[1], kSceneryPage);
    place(library.pages[0], 0, 10, 36, kMonaName, kMona);
    place(library.pages[0], 1, 150, 36, kGikoName, kGiko);
    place(library.pages[0], 2, 10, 150, kOmaeName, kOmae);
    place(library.pages[0], 3, 300, 36, kMonaName, kMona, kIconComment).icon = true;
    place(library.pages[1], 0, 10, 36, kTreeName, kTree);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication qt_application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const char* home = std::getenv("GLYPHORA_HOME");
    if (!home || !*home) {
        std::fprintf(stderr, "glyphora_look: set GLYPHORA_HOME to a folder of its own\n");
        return 2;
    }
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 0;

    QtUiServices ui;
    Application program(ui);
    if (program.start(StartupEnvironment::current()) != StartResult::running) return 1;
    fill_sample(program.context());
    program.main_dialog()->refresh_lists(Sides::both());
    program.main_dialog()->fill_page_combo();
    program.preview_canvas()->request_redraw(true);
    program.library_canvas()->request_redraw(true);
    if (seconds > 0)
        QTimer::singleShot(seconds * 1000, program.main_dialog(),
                           [&] { program.main_dialog()->end_dialog(); });
    program.run();
    program.shut_down();
    return 0;
}
