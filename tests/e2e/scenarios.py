"""End-to-end scenarios: python3 scenarios.py NAME GLYPHORA GLYPHORA_CLI BUILD_DIR (one ctest test each)."""
import os, re, subprocess, sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from glyphora_e2e import LIBRARY, MAIN, PREVIEW, Session, StepFailed  # noqa: E402

SCENARIOS = {}
# Main dialog controls by control id.
LOAD, SAVE, RENDER, TOOL, EXIT = "id:1005", "id:1006", "id:1014", "id:1044", "id:2"
REGISTER, LIB_REGISTER, PAGE_LABEL, PAGE_SCROLL = "id:1027", "id:1028", "id:1054", "id:1052"
UP, DOWN, LEFT, RIGHT = "id:1007", "id:1008", "id:1010", "id:1009"


def scenario(fn):
    SCENARIOS[fn.__name__] = fn
    return fn


def expect(cond, message):
    if not cond:
        raise StepFailed(message)


def quick_part(s, x, y, text, confirm="Return"):
    """A part through the quick text box: double click on empty preview canvas, type, Return."""
    s.click_at(*s.canvas_point(x, y), repeat=2)
    s.wait(lambda: s.focused("") == "class:QComboBox", 5, "the quick text box")
    s.type(text)
    s.key(confirm)
    s.gone("", timeout=5)


def part_dialog(s, title, name, text):
    """Fills the part detail dialog by keyboard: name, Tab past the comment to the text, Tab to OK, Return."""
    s.wait(lambda: s.focused(title) == "class:QLineEdit", 5, "the name field")
    s.type(name)
    s.tab_to(title, "class:QPlainTextEdit", nth=2)  # past the comment to the part text
    s.type(text)
    s.tab_to(title, "button:OK")
    s.key("Return")
    s.gone(title)


def rendering_options(s):
    """Opens the rendering-only options sheet from the preview canvas's menu; returns its title."""
    s.click_at(*s.canvas_point(300, 300), button=3)
    s.click("", "action:レンダリングオプション")
    return s.wait(lambda: [t for t in s.titles() if t not in (PREVIEW, LIBRARY, "", MAIN, MAIN + " *")], 5,
                  "the options sheet")[0]


def parts(s, collection):
    """{page: [(x, y, name), ...]} of a saved file, from glyphora-cli info."""
    out = subprocess.run([s.cli, "info", collection], capture_output=True, timeout=30)
    expect(out.returncode == 0, f"glyphora-cli info failed: {out.stderr!r}")
    pages, page = {}, None
    for line in out.stdout.decode("cp932", errors="replace").splitlines():
        m = re.match(r"\s*page (\d+)", line)
        if m:
            page = int(m.group(1))
            pages[page] = []
        m = re.search(r"\(\s*(-?\d+),\s*(-?\d+)\)(.*)", line)
        if m and page is not None:
            pages[page].append((int(m.group(1)), int(m.group(2)), m.group(3).strip()))
    return pages


@scenario
def first_start(s):
    with s.step("library dialog proposes library.aal"):
        s.start(wait_main=False)
        s.wait(lambda: s.focused("ライブラリ格納ファイル") == "class:QLineEdit", 10, "the focus in the dialog")
        expect(s.text("ライブラリ格納ファイル", "class:QLineEdit") == s.path("library.aal"), "proposal")
    with s.step("confirm"):
        s.settle()
        s.key("Return")
        s.control(MAIN, EXIT)
        s.settle()
        expect(s.setting("file", "library_filename") == s.path("library.aal"), "library_filename not stored")
    with s.step("exit writes an empty library"):
        s.exit_program()
        expect(len(s.wait_file("library.aal")) == 1056, "library.aal is not 1,056 bytes")


@scenario
def quick_text_box(s):
    s.seed_settings()
    s.start()
    with s.step("ascii part confirmed with Return"):
        quick_part(s, 100, 100, "abc")
        s.wait(lambda: s.setting("text", "mru0") == "abc", 5, "mru0 = abc")
    with s.step("japanese part typed slowly"):
        quick_part(s, 100, 200, "あいう")
        s.wait(lambda: s.setting("text", "mru0") == "あいう", 5, "mru0 = あいう")
        expect(s.setting("text", "mru1") == "abc", "mru1 is not the older text")
    with s.step("the new part is on the canvas"):
        s.click_at(*s.canvas_point(104, 198 // 18 * 18 + 9))
        s.wait_clipboard("あいう")
    with s.step("keypad Enter confirms"):
        quick_part(s, 100, 300, "kp", confirm="KP_Enter")
        s.wait(lambda: s.setting("text", "mru0") == "kp", 5, "mru0 = kp")
    with s.step("a recent text picked from the list, then Return"):
        s.click_at(*s.canvas_point(250, 100), repeat=2)
        s.wait(lambda: s.focused("") == "class:QComboBox", 5, "the quick text box")
        s.key("alt+Down")  # the list opens on the most recent text
        s.settle()
        s.key("Down", "Return")  # the next one, "あいう"; picking does not confirm
        s.settle()
        expect(s.focused("") == "class:QComboBox", "the box closed when a row was picked")
        s.key("Return")
        s.gone("", timeout=5)
        s.wait(lambda: s.setting("text", "mru0") == "あいう", 5, "mru0 = あいう")
        expect(s.setting("text", "mru1") == "kp", "mru1 is not kp")


@scenario
def register_by_keyboard(s):
    s.seed_settings()
    s.start()
    with s.step("tab to 登録"):
        s.focus(MAIN)
        s.tab_to(MAIN, REGISTER)
        s.key("Return")
    with s.step("type the part"):
        part_dialog(s, "プレビューに登録", "kbd", "typed by keys")
    with s.step("saved part"):
        got = parts(s, s.save_collection("kbd.aap"))
        expect(got == {0: [(0, 0, "kbd")]}, f"parts {got}")


@scenario
def selection(s):
    s.seed_settings()
    s.start()
    quick_part(s, 20, 20, "aaa")
    quick_part(s, 20, 100, "bbb")
    a, b = s.canvas_point(26, 27), s.canvas_point(26, 99)
    with s.step("click selects one part"):
        s.click_at(*b)
        s.wait_clipboard("bbb")
        s.click_at(*a)
        s.wait_clipboard("aaa")
    with s.step("shift adds, ↓ moves both"):
        s.click_at(*b, mods=["shift"])
        s.click(MAIN, DOWN)
    with s.step("shift+ctrl takes one away, → moves the other"):
        s.click_at(b[0], b[1] + 18, mods=["shift", "ctrl"])
        s.wait_clipboard("aaa")
        s.click(MAIN, RIGHT)
    with s.step("ctrl alone selects one"):
        s.click_at(b[0], b[1] + 18, mods=["ctrl"])
        s.wait_clipboard("bbb")
    with s.step("saved positions"):
        got = parts(s, s.save_collection("sel.aap"))
        expect(got == {0: [(21, 36, "aaa"), (20, 108, "bbb")]}, f"parts {got}")


@scenario
def space_drag(s):
    s.seed_settings()
    s.start()
    quick_part(s, 20, 20, "aaa")
    quick_part(s, 200, 200, "bbb")
    x, y = s.canvas_point(26, 27)
    with s.step("space held in the canvas, 7 px stays on its line"):
        s.click_at(*s.canvas_point(300, 350))
        s.key_down("space")
        s.drag(x, y, x + 10, y + 7)
        s.key_up("space")
    with s.step("space held in the canvas, 20 px is one line"):
        s.key_down("space")
        s.drag(x + 10, y, x + 30, y + 20)
        s.key_up("space")
    with s.step("space held in the main dialog"):
        s.click(MAIN, PAGE_LABEL)
        s.key_down("space")
        s.drag(x + 30, y + 18, x + 30, y + 18 + 40)
        s.key_up("space")
    with s.step("saved positions"):
        got = parts(s, s.save_collection("drag.aap"))
        expect(got == {0: [(50, 72, "aaa"), (200, 198, "bbb")]}, f"parts {got}")


@scenario
def fine_movement(s):
    s.seed_settings()
    s.start()
    quick_part(s, 50, 50, "aaa")
    with s.step("select"):
        s.click_at(*s.canvas_point(56, 45))
        s.wait_clipboard("aaa")
    with s.step("arrows"):
        for key in (DOWN, DOWN, UP, LEFT, LEFT, LEFT, RIGHT):
            s.click(MAIN, key)
    with s.step("saved position"):
        got = parts(s, s.save_collection("fine.aap"))
        expect(got == {0: [(48, 54, "aaa")]}, f"parts {got}")


@scenario
def temporary_rendering(s):
    s.seed_settings()
    s.start()
    quick_part(s, 40, 20, "abc")
    quick_part(s, 10, 60, "ｱｲｳ")
    with s.step("plain temporary rendering"):
        s.click_at(*s.canvas_point(300, 300), button=3)
        s.click("", "action:一時レンダリング")
        s.gone("", timeout=5)
    with s.step("temporary rendering to the clipboard"):
        s.click_at(*s.canvas_point(300, 300), button=3)
        s.click("", "action:一時レンダリング＆クリップボード送")
        s.wait(lambda: "abc" in s.clipboard(), 5, "the rendering on the clipboard")
        shown = s.clipboard()
    with s.step("equal to glyphora-cli render --page 0"):
        rendered = s.cli_render(s.save_collection("temp.aap"), "--page", "0").decode("cp932")
        expect(shown == rendered.rstrip("\0"), f"clipboard {shown!r} != rendered {rendered!r}")


@scenario
def options_sheet_modeless(s):
    s.seed_settings()
    s.start()
    with s.step("open the rendering options"):
        sheet = rendering_options(s)
    with s.step("the page scroll bar still turns the page"):
        x, y, w, h = s.control(MAIN, PAGE_SCROLL)
        s.click_at(x + w - h // 2, y + h // 2)
        s.wait(lambda: s.text(MAIN, PAGE_LABEL) == "1", 5, "page label 1")
        expect(sheet in s.titles(), "the options sheet closed")


@scenario
def files(s):
    s.seed_settings()
    s.start()
    quick_part(s, 40, 20, "abc")
    quick_part(s, 10, 60, "ｱｲｳえお")
    with s.step("save sets the title"):
        saved = s.save_collection("work.aap")
        expect(s.window_name(s.window_id(f"Glyphora - {saved}")), "title")
    with s.step("render equals glyphora-cli"):
        s.click(MAIN, RENDER)
        s.file_dialog(s.path("out.txt"))
        data = s.wait_file("out.txt")
        s.control("レンダリング終了", "@client")
        expect(data == s.cli_render(saved), "rendered file differs from glyphora-cli render")
    with s.step("load restores the collection"):
        s.key("Escape")
        s.gone("レンダリング終了")
        s.click_at(*s.canvas_point(46, 27))
        s.click(MAIN, "id:1002")  # cut
        s.click(MAIN, LOAD)
        s.file_dialog(saved)
        s.dismiss_message()
        again = s.save_collection("again.aap")
        expect(open(again, "rb").read() == open(saved, "rb").read(), "loaded collection differs")


@scenario
def tool_page_shift(s):
    s.seed_settings()
    s.start()
    quick_part(s, 40, 20, "abc")
    saved = s.save_collection("before.aap")
    with s.step("shift back"):
        s.window_id(f"{MAIN} - {saved}")
        s.click(MAIN, TOOL)
        s.click("Glyphoraツール", "shift_back")
        s.wait(lambda: any("Yes" in k or "はい" in k for t, k in s.widgets()), 5, "the question")
        s.key("Return")
        s.gone("Glyphoraツール")
    with s.step("a page shift is an unsaved change"):
        s.window_id(f"{MAIN} - {saved} *")
    with s.step("the part is on page 1"):
        got = parts(s, s.save_collection("shift.aap"))
        expect(got == {1: [(40, 18, "abc")]}, f"parts {got}")


@scenario
def exit_writes_library(s):
    s.seed_settings()
    s.start()
    with s.step("register in the library"):
        s.click(MAIN, LIB_REGISTER)
        part_dialog(s, "ライブラリに登録", "libpart", "(o_o)")
    with s.step("exit, Yes"):
        s.exit_program()
    with s.step("library.aal holds the part"):
        got = parts(s, s.path("library.aal"))
        expect(got == {0: [(0, 0, "libpart")]}, f"parts {got}")


@scenario
def crash_recovery(s):
    s.seed_settings()
    s.start()
    recovery = s.path("unsaved-pages.recovery")
    quick_part(s, 40, 20, "abc")
    quick_part(s, 10, 60, "ｱｲｳ")
    with s.step("unsaved pages are marked and written for recovery"):
        s.wait(lambda: s.window_name(s.window_id(MAIN + " *")), 5, "the title's unsaved mark")
        s.wait(lambda: os.path.exists(recovery), 10, "the recovery file")
    with s.step("a save, then one more change written for recovery"):
        before = parts(s, s.save_collection("before.aap"))
        expect(not os.path.exists(recovery), "the recovery file outlived the save")
        s.click_at(*s.canvas_point(46, 27))
        s.wait_clipboard("abc")
        s.click(MAIN, RIGHT)
        s.wait(lambda: os.path.exists(recovery), 10, "the recovery file to be written again")
    with s.step("kill -9, start again, restore"):
        s.app.kill()
        s.app.wait()
        s.start(wait_main=False)
        s.wait(lambda: any("前回の作業が保存されていません" in k for t, k in s.widgets()), 10, "the question")
        s.key("Return")
        s.control(MAIN, "id:2")
        s.wait(lambda: s.window_name(s.window_id(MAIN + " - " + s.path("before.aap") + " *")), 5,
               "the restored collection's name with the unsaved mark")
    with s.step("the saved pages are the pages before the kill"):
        after = parts(s, s.save_collection("after.aap"))
        moved = {p: [(x + 1, y, n) if n == "abc" else (x, y, n) for x, y, n in v] for p, v in before.items()}
        expect(after == moved, f"restored {after}, expected {moved}")


@scenario
def save_then_kill(s):
    s.seed_settings()
    s.start()
    recovery = s.path("unsaved-pages.recovery")
    quick_part(s, 40, 20, "abc")
    with s.step("the first change is written for recovery"):
        s.wait(lambda: os.path.exists(recovery), 10, "the recovery file")
    with s.step("one more change, saved at once, kill -9"):
        quick_part(s, 10, 60, "xyz")
        saved = s.save_collection("w.aap")
        s.app.kill()
        s.app.wait()
        expect(not os.path.exists(recovery), "the recovery file outlived the save")
    with s.step("the next start asks nothing and shows nothing unsaved"):
        s.start()
        s.settle(quiet=1.0)
        asked = [k for t, k in s.widgets() if "前回の作業" in k]
        expect(not asked, f"asked {asked}")
        expect(s.window_name(s.window_id(MAIN)) == MAIN, "the main dialog's title")
        expect((MAIN + " *", "@client") not in s.widgets(), "the title's unsaved mark")
    with s.step("the saved file holds the last change"):
        names = sorted(n for _, _, n in parts(s, saved).get(0, []))
        expect(names == ["abc", "xyz"], f"saved parts {names}")
        s.exit_program()


@scenario
def second_instance(s):
    s.seed_settings()
    s.start()
    with s.step("second instance refused"):
        env = dict(s.env, GLYPHORA_WIDGET_MAP=s.map_path + "2")
        second = subprocess.Popen([s.glyphora], env=env, cwd=s.home, stderr=subprocess.DEVNULL)
        first_map, s.map_path = s.map_path, env["GLYPHORA_WIDGET_MAP"]
        try:
            s.control(MAIN, "label:Glyphoraはすでに起動しています")
            s.key("Return")
            expect(second.wait(10) == 0, "second instance status")
        finally:
            s.map_path = first_map
            if second.poll() is None:
                second.kill()
    with s.step("the first still runs"):
        expect(s.app.poll() is None, "first instance ended")
        s.exit_program()


@scenario
def aa_files(s):
    s.seed_settings()
    # A template collection saved as UTF-8 from a browser: its spacing is the web's no-break space.
    with open(s.path("faces.mlt"), "wb") as f:
        f.write("(ﾟ∀ﾟ)\r\n[SPLIT]\r\n\u00a0(´･ω･`)\r\n".encode("utf-8"))
    s.start()
    with s.step("import into the library"):
        s.click(MAIN, TOOL)
        s.click("Glyphoraツール", "import_aa_file")
        s.file_dialog(s.path("faces.mlt"))
        s.dismiss_message()
        s.gone("Glyphoraツール")
    with s.step("paste AA copied from a board: Shift+登録 in the library"):
        s.set_clipboard("|\u2009|")
        s.key_down("shift")
        try:
            s.click(MAIN, LIB_REGISTER)
        finally:
            s.key_up("shift")
        s.wait(lambda: s.focused("ライブラリに登録") == "class:QLineEdit", 5, "the name field")
        s.type("bars")
        s.tab_to("ライブラリに登録", "button:OK")
        s.key("Return")
        s.gone("ライブラリに登録")
    with s.step("export the rendered preview"):
        quick_part(s, 40, 20, "abc")
        saved = s.save_collection("work.aap")
        s.click(MAIN, TOOL)
        s.click("Glyphoraツール", "export_aa_file")
        s.file_dialog(s.path("pages.mlt"))
        s.dismiss_message()
        exported = s.wait_file("pages.mlt")
        s.run([s.cli, "export", "--settings", s.path("glyphora.ini"), saved, "-o", s.path("cli.mlt")])
        expect(exported == open(s.path("cli.mlt"), "rb").read(), f"exported {exported!r}")
    with s.step("the library holds the AAs and the pasted part"):
        s.exit_program()
        s.run([s.cli, "export", s.path("library.aal"), "-o", s.path("library.ast")])
        got = open(s.path("library.ast"), "rb").read().decode("cp932")
        want = "[AA][(ﾟ∀ﾟ)]\r\n(ﾟ∀ﾟ)\r\n[AA][(´･ω･`)]\r\n&nbsp;(´･ω･`)\r\n[AA][bars]\r\n|&thinsp;|\r\n"
        expect(got == want, f"library {got!r}")


@scenario
def exact_fill_option(s):
    s.seed_settings()
    s.start()
    # "A" (10 px) leaves a 3-px run before it and a 5-px run after it: the classic fill drifts there.
    quick_part(s, 3, 20, "A")
    quick_part(s, 18, 20, "B")
    with s.step("check the option on the rendering options sheet"):
        sheet = rendering_options(s)
        s.click(sheet, "button:ずれを最小にする空白（実験的）", dx=8)  # on the box, not the blank beside the caption
        s.click(sheet, "button:OK")
        s.gone(sheet)
        s.wait(lambda: s.setting("option", "renderexactfill") == "1", 5, "renderexactfill=1 in glyphora.ini")
    with s.step("レンダリング writes what glyphora-cli renders with the flag"):
        saved = s.save_collection("exact.aap")
        s.click(MAIN, RENDER)
        s.file_dialog(s.path("out.txt"))
        data = s.wait_file("out.txt")
        s.control("レンダリング終了", "@client")
        expect(data == s.cli_render(saved), "rendered file differs from glyphora-cli render")
        expect(data != s.cli_render(saved, "--set", "renderexactfill=0"), "the flag changed nothing")


@scenario
def pasted_references(s):
    s.seed_settings()
    s.start()
    shots = os.path.join(s.build, "e2e-screenshots")
    os.makedirs(shots, exist_ok=True)
    title = "プレビューに登録"
    with s.step("paste a heart and a four-per-em space: Shift+登録 in the preview"):
        s.set_clipboard("A\u2661\u2005B")
        s.key_down("shift")
        try:
            s.click(MAIN, REGISTER)
        finally:
            s.key_up("shift")
        s.wait(lambda: s.focused(title) == "class:QLineEdit", 5, "the name field")
        s.type("heart")
        s.tab_to(title, "class:QLineEdit", nth=2)  # the position: x, then y
        s.key("ctrl+a")
        s.type("20")
        s.key("Tab")
        s.key("ctrl+a")
        s.type("36")
        s.settle()
        # The text field shows the characters themselves (looked at by hand).
        s.run(["import", "-window", s.window_id(title), os.path.join(shots, "pasted_references-dialog.png")])
        s.tab_to(title, "button:OK")
        s.key("Return")
        s.gone(title)
    with s.step("the saved part holds the characters as decimal references"):
        saved = s.save_collection("refs.aap")
        expect(parts(s, saved).get(0) == [(20, 36, "heart")], f"parts {parts(s, saved)}")
        expect(b"A&#9825;&#8197;B" in open(saved, "rb").read(), "the part text in the saved file")
    with s.step("the preview canvas draws the heart, not its reference"):
        s.settle()
        s.run(["import", "-window", s.window_id(PREVIEW), os.path.join(shots, "pasted_references-preview.png")])
        s.exit_program()


@scenario
def unicode_fill_option(s):
    s.seed_settings()
    s.start()
    # "A" (10 px) leaves a 3-px run before it, which only a Unicode space fills exactly.
    quick_part(s, 3, 20, "A")
    quick_part(s, 18, 20, "B")
    with s.step("check both boxes on the rendering options sheet, the Unicode one enabled by the exact one"):
        sheet = rendering_options(s)
        s.click(sheet, "button:Unicodeの空白も使う（文字参照）", dx=8)  # disabled: nothing happens
        s.click(sheet, "button:ずれを最小にする空白（実験的）", dx=8)
        s.click(sheet, "button:Unicodeの空白も使う（文字参照）", dx=8)
        s.click(sheet, "button:OK")
        s.gone(sheet)
        s.wait(lambda: s.setting("option", "renderunicodefill") == "1", 5, "renderunicodefill=1 in glyphora.ini")
        expect(s.setting("option", "renderexactfill") == "1", "renderexactfill=1 in glyphora.ini")
    with s.step("レンダリング writes what glyphora-cli renders with both flags"):
        saved = s.save_collection("unicode.aap")
        s.click(MAIN, RENDER)
        s.file_dialog(s.path("out.txt"))
        data = s.wait_file("out.txt")
        s.control("レンダリング終了", "@client")
        want = s.cli_render(saved, "--set", "renderexactfill=1", "--set", "renderunicodefill=1")
        expect(data == want, f"rendered {data!r}, glyphora-cli {want!r}")
        expect(b"&#" in data, "no Unicode space in the output")
        expect(data != s.cli_render(saved, "--set", "renderunicodefill=0"), "the flag changed nothing")



COLLECTION = "AAコレクション － Glyphora"


@scenario
def collection_browser(s):
    # The windows apart, so that a drop on the preview canvas lands on it alone.
    s.seed_settings("[dialog]\r\nx=16\r\ny=640\r\ncx=1\r\ncy=1\r\n"
                    "[collection]\r\nx=480\r\ny=16\r\ncx=600\r\ncy=520\r\nzoom=96\r\n")
    folder = s.path("templates")
    os.makedirs(os.path.join(folder, "cats"))
    with open(os.path.join(folder, "faces.mlt"), "wb") as f:
        f.write("【やる夫・笑顔】\r\n[SPLIT]\r\n(ﾟ∀ﾟ) HELLO\r\n[SPLIT]\r\n(´･ω･`)\r\n".encode("cp932"))
    with open(os.path.join(folder, "cats", "zebra.txt"), "wb") as f:
        f.write("ZEBRA ♥\r\n".encode("utf-8"))  # UTF-8, with a character Shift_JIS lacks
    s.start()
    with s.step("Ctrl+Shift+A opens the collection window"):
        s.focus(MAIN)
        s.key("ctrl+shift+a")
        s.control(COLLECTION, "collection_search")
        s.settle()
    with s.step("add the folder through the folder dialog"):
        s.click(COLLECTION, "collection_add_folder")
        s.file_dialog(folder)
        s.wait(lambda: "変更なし" in s.text(COLLECTION, "collection_status"), 20, "the first reading to end")
        expect(s.setting("collection", "folder0") == folder, "the folder is not in the settings")
    with s.step("type a search and insert the first result with Enter"):
        s.click(COLLECTION, "collection_search")
        s.type("hello")
        s.key("Return")
        s.wait(lambda: (MAIN + " *", "@client") in s.widgets(), 10, "the preview to be modified")
    with s.step("drag another onto the preview canvas"):
        s.click(COLLECTION, "collection_search")
        s.key("ctrl+a")
        s.type("zebra")
        s.wait(lambda: s.text(COLLECTION, "collection_status") == "1 件", 10, "one result")
        x, y, _, _ = s.control(COLLECTION, "collection_results")
        s.drag(x + 50, y + 50, *s.canvas_point(200, 200), steps=8)
        s.wait(lambda: "に入れました" in s.text(COLLECTION, "collection_status"), 10, "the drop to insert the AA")
        shot = os.path.join(s.build, "e2e-collection_browser.png")
        s.screenshot(shot)
    with s.step("save, and both parts are where they were put"):
        saved = s.save_collection("work.aap")
        # glyphora-cli info prints the names as UTF-8.
        out = subprocess.run([s.cli, "info", saved], capture_output=True, timeout=30)
        expect(out.returncode == 0, f"glyphora-cli info failed: {out.stderr!r}")
        got = [(int(m.group(1)), int(m.group(2)), m.group(3).strip())
               for m in re.finditer(r"\(\s*(-?\d+),\s*(-?\d+)\)(.*)", out.stdout.decode("utf-8"))]
        expect(len(got) == 2, f"parts {got}")
        expect(got[0][:2] == (0, 0) and "やる夫・笑顔" in got[0][2], f"first part {got[0]}")
        x, y, name = got[1]
        expect(x == 200 and 200 - 40 < y <= 200 and "ZEBRA" in name, f"dropped part {got[1]}")
    s.exit_program()


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    expect(head[:8] == b"\x89PNG\r\n\x1a\n", f"{path} is no PNG")
    return int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24], "big")


@scenario
def posting(s):
    # A board of 100 bytes and 4 lines; without the size line the page's lines are the parts' own.
    with open(s.path("boards.txt"), "w", encoding="utf-8") as f:
        f.write("[tiny]\nbytes=100\nlines=4\n")
    s.seed_settings("[option]\r\nboardprofile=tiny\r\nrendersetsize=0\r\n")
    s.start()
    shots = os.path.join(s.build, "e2e-screenshots")
    os.makedirs(shots, exist_ok=True)
    # Lines 1, 3 and 5 of the page: five lines, over the budget of four, with blank lines to break at.
    for y, text in ((4, "ABCDEFGHIJ"), (40, "KLMNOPQRST"), (76, "UVWXYZ")):
        quick_part(s, 0, y, text)
    page = s.cli_render(s.save_collection("post.aap"), "--page", "0").decode("cp932").rstrip("\0")
    lines = page.split("\r\n")
    if lines and lines[-1] == "":
        lines.pop()
    expect(len(lines) == 5, f"rendered lines {lines!r}")
    # Counted as the server counts: Shift_JIS bytes, 6 for each line break (the last one too: it is posted).
    breaks = page.count("\r\n")
    budget_bytes = len(page.encode("cp932")) - 2 * breaks + 6 * breaks
    with s.step("the strip under the temporary rendering counts the page, over budget"):
        s.click_at(*s.canvas_point(300, 300), button=3)
        s.click("", "action:一時レンダリング")
        want = f"{budget_bytes:,} / 100 バイト · 5 / 4 行 · 2 投稿に分割"
        s.wait(lambda: s.widgets().get((PREVIEW, "count_strip"), (None, ""))[1] == want, 5,
               f"the strip to read {want!r} (it reads {s.widgets().get((PREVIEW, 'count_strip'))!r})")
        s.settle()
        s.run(["import", "-window", s.window_id(PREVIEW), os.path.join(shots, "posting-strip.png")])
    title = "投稿 － ページ 0"
    with s.step("the 投稿 dialog from the canvas menu"):
        s.click_at(*s.canvas_point(300, 300), button=3)
        s.click("", "action:投稿")
        s.control(title, "posts")
        s.settle()
        s.run(["import", "-window", s.window_id(title), os.path.join(shots, "posting-dialog.png")])
    with s.step("copy post 1, then post 2"):
        s.click(title, "copy_post")
        s.wait(lambda: "1 / 2" in s.text(title, "status"), 5, "post 1 copied")
        first = s.clipboard()
        s.key("Return")  # the next post is selected and コピー is the default button
        s.wait(lambda: "2 / 2" in s.text(title, "status"), 5, "post 2 copied")
        second = s.clipboard()
        expect(first and second and first != second, f"posts {first!r}, {second!r}")
        expect(first + "\r\n" + second == page, f"{first!r} + {second!r} is not the page {page!r}")
        for post in (first, second):
            n = post.count("\r\n")
            expect(len(post.encode("cp932")) - 2 * n + 6 * n <= 100 and n + 1 <= 4, f"post over budget: {post!r}")
    with s.step("画像として保存 writes the page as a PNG, at 1x and 2x"):
        s.click(title, "button:画像として保存(S)…")
        s.file_dialog(s.path("page.png"))
        s.wait_file("page.png")
        width, height = png_size(s.path("page.png"))
        expect(height == 5 * 18 + 16 and width > 16 + 60, f"page.png is {width}x{height}")
        s.key("Escape")
        s.gone(title)
        s.click_at(*s.canvas_point(300, 300), button=3)
        s.click("", "action:画像として保存（2倍）")
        s.file_dialog(s.path("page2.png"))
        s.wait_file("page2.png")
        expect(png_size(s.path("page2.png")) == (2 * width, 2 * height), f"page2.png is {png_size(s.path('page2.png'))}")


if __name__ == "__main__":
    name, glyphora, cli, build = sys.argv[1:5]
    with Session(name, glyphora, cli, build) as session:
        SCENARIOS[name](session)
    print(f"{name}: passed")
