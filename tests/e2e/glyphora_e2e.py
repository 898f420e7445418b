"""Drives the real Glyphora under Xvfb + openbox with xdotool, one private display and home per scenario.

Controls are found through the program's widget map (GLYPHORA_WIDGET_MAP): the main dialog is laid out in
dialog units, so its pixel positions follow the font; the map gives each control's global rectangle by its
control id (or objectName / button text / menu item text), whatever the font and the window manager did.
"""
import contextlib, os, re, shutil, signal, subprocess, sys, tempfile, time

MAIN = "Glyphora"
PREVIEW = "プレビュー － Glyphora"
LIBRARY = "ライブラリ － Glyphora"
TOOLS = ("Xvfb", "openbox", "xdotool", "xclip", "import", "xprop")


class StepFailed(AssertionError):
    pass


def check_tools():
    """Exit 77 (skipped) when a tool is missing; under CI a missing tool is a failure."""
    missing = [t for t in TOOLS if not shutil.which(t)]
    if missing:
        print("missing tools: " + ", ".join(missing), file=sys.stderr)
        sys.exit(1 if os.environ.get("CI") else 77)


class Session:
    def __init__(self, scenario, glyphora, cli, build):
        check_tools()
        self.glyphora, self.cli, self.build = glyphora, cli, build
        self.scenario, self.step_name = scenario, "start"
        self.root = tempfile.mkdtemp(prefix="glyphora-e2e-")
        self.home = os.path.join(self.root, "home")
        os.mkdir(self.home)
        self.map_path = os.path.join(self.root, "widgets.txt")
        self.procs, self.app = [], None

    # --- set-up and tear-down ---------------------------------------------------------------------------
    def __enter__(self):
        try:
            r, w = os.pipe()
            self.procs.append(subprocess.Popen(
                ["Xvfb", "-displayfd", str(w), "-screen", "0", "1600x1200x24", "-nolisten", "tcp"],
                pass_fds=(w,), stderr=subprocess.DEVNULL))
            os.close(w)
            with os.fdopen(r) as f:
                self.display = ":" + f.readline().strip()
            self.env = dict(os.environ, DISPLAY=self.display, GLYPHORA_HOME=self.home,
                            GLYPHORA_WIDGET_MAP=self.map_path, QT_QPA_PLATFORM="xcb",
                            LANG="C.UTF-8", LC_ALL="C.UTF-8", TMPDIR=self.root)
            for k in ("QT_IM_MODULE", "XMODIFIERS", "WAYLAND_DISPLAY"):
                self.env.pop(k, None)
            self.procs.append(subprocess.Popen(["openbox", "--sm-disable"], env=self.env,
                                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
            self.wait(lambda: "window id" in self.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"],
                                                      check=False), 10, "openbox running")
        except BaseException:
            self.__exit__(*sys.exc_info())
            raise
        return self

    def __exit__(self, *exc):
        for p in ([self.app] if self.app else []) + self.procs[::-1]:
            if p.poll() is None:
                p.send_signal(signal.SIGTERM)
                try:
                    p.wait(3)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        shutil.rmtree(self.root, ignore_errors=True)
        return False

    def run(self, argv, check=True, **kw):
        out = subprocess.run(argv, env=self.env, capture_output=True, timeout=20, **kw)
        if check and out.returncode:
            raise StepFailed(f"{argv} failed: {out.stderr.decode(errors='replace')}")
        return out.stdout.decode(errors="replace")

    def seed_settings(self, text=""):
        """A settings file naming a library in the home, so no start-up dialog asks for one."""
        lib = os.path.join(self.home, "library.aal")
        # The library canvas goes to the right, clear of the preview canvas and the main dialog.
        ini = f"[file]\r\nlibrary_filename={lib}\r\n[window1]\r\nx=1100\r\ny=16\r\n" + text
        with open(self.path("glyphora.ini"), "wb") as f:
            f.write(ini.encode("cp932"))

    def start(self, wait_main=True):
        self.app = subprocess.Popen([self.glyphora], env=self.env, cwd=self.home,
                                    stdout=subprocess.DEVNULL, stderr=open(self.path("../stderr.txt"), "w"))
        if wait_main:
            self.control(MAIN, "id:2")
            self.settle()

    def settle(self, quiet=0.5, timeout=10):
        """Waits until the widget map stays unchanged for `quiet` seconds: the window manager has placed
        and framed the new windows, so the rectangles are where clicks will land."""
        last = [None, time.monotonic()]
        def quiet_enough():
            content = self.widgets()
            if content != last[0]:
                last[:] = [content, time.monotonic()]
            return time.monotonic() - last[1] >= quiet
        self.wait(quiet_enough, timeout, "the windows to settle")

    def path(self, name):
        return os.path.join(self.home, name)

    # --- steps ------------------------------------------------------------------------------------------
    @contextlib.contextmanager
    def step(self, name):
        self.step_name = name
        try:
            yield
        except Exception as e:
            shot = os.path.join(self.build, "e2e-failures", f"{self.scenario}-{name}.png".replace(" ", "_"))
            os.makedirs(os.path.dirname(shot), exist_ok=True)
            self.screenshot(shot)
            raise StepFailed(f"[{self.scenario}] step '{name}' failed: {e} (screenshot {shot})") from e

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", path], env=self.env, capture_output=True, timeout=20)

    def wait(self, cond, timeout, what):
        end = time.monotonic() + timeout
        while True:
            value = cond()
            if value:
                return value
            if time.monotonic() > end:
                raise StepFailed(f"timed out after {timeout}s waiting for {what}")
            if self.app and self.app.poll() not in (None, 0):
                raise StepFailed(f"glyphora ended with status {self.app.returncode} waiting for {what}")
            time.sleep(0.05)

    # --- windows and controls ---------------------------------------------------------------------------
    def widgets(self):
        try:
            with open(self.map_path, encoding="utf-8") as f:
                lines = f.read().splitlines()
        except FileNotFoundError:
            return {}
        found = {}  # (title, key) -> ((x, y, w, h), shown text)
        for line in lines:
            title, key, rect, text = line.split("\t")
            found.setdefault((title, key), (tuple(int(v) for v in rect.split()), text))
            if title.endswith(" *"):  # the main dialog marks unsaved pages
                title = title[:-2]
                found.setdefault((title, key), found[(title + " *", key)])
            if title.startswith(MAIN + " - "):  # the main dialog names the saved collection in its title
                found.setdefault((MAIN, key), found[(title, key)])
        return found

    def control(self, title, key, timeout=10):
        """The global rectangle (x, y, w, h) of a visible control, waiting until it shows and stays put: a
        window that just opened may still be placed by the window manager, and the map is written every
        200 ms."""
        seen = []
        first_seen = getattr(self, "_first_seen", {})
        self._first_seen = first_seen

        def settled():
            entry = self.widgets().get((title, key))
            if not entry:
                first_seen.pop(title, None)
                return None
            since = first_seen.setdefault(title, time.monotonic())
            seen.append(entry[0])
            if time.monotonic() - since > 1.0:
                return entry  # a window that has shown for a while is where it is
            return entry if len(seen) >= 6 and all(r == entry[0] for r in seen[-6:]) else None
        return self.wait(settled, timeout, f"'{key}' in window '{title}'")[0]

    def text(self, title, key, timeout=10):
        self.control(title, key, timeout)
        return self.widgets()[(title, key)][1]

    def focused(self, title):
        """The key of the focus widget when it is in that window, else None."""
        entry = self.widgets().get((title, "@focus"))
        return entry[1] if entry else None

    def gone(self, title, key="@client", timeout=10):
        self.wait(lambda: (title, key) not in self.widgets(), timeout, f"window '{title}' to close")
        getattr(self, "_first_seen", {}).pop(title, None)  # when it opens again, it is placed again

    def titles(self):
        return {t for t, k in self.widgets() if k == "@client"}

    def window_id(self, title, timeout=10):
        pattern = "^" + re.sub(r"([.^$*+?()\[\]{}|\\])", r"\\\1", title) + "$"  # the title, literally
        return self.wait(lambda: self.run(["xdotool", "search", "--onlyvisible", "--name", pattern], check=False).split(),
                         timeout, f"X window named '{title}'")[0]

    def window_name(self, wid):
        return self.run(["xdotool", "getwindowname", wid]).strip()

    # --- input ------------------------------------------------------------------------------------------
    def click_at(self, x, y, button=1, repeat=1, mods=()):
        cmd = ["xdotool"]
        for m in mods:
            cmd += ["keydown", m]
        # No --sync: it waits for a motion that never comes when the pointer is already there.
        cmd += ["mousemove", str(x), str(y), "sleep", "0.05", "click", "--repeat", str(repeat), "--delay", "80",
                str(button)]
        for m in mods:
            cmd += ["keyup", m]
        self.run(cmd)

    def click(self, title, key, dx=None, dy=None, **kw):
        """Clicks a control, at its centre or at (dx, dy) inside it."""
        x, y, w, h = self.control(title, key)
        self.click_at(x + (w // 2 if dx is None else dx), y + (h // 2 if dy is None else dy), **kw)

    def canvas_point(self, dx, dy, title=PREVIEW):
        x, y, _, _ = self.control(title, "@client")
        return x + dx, y + dy

    def key(self, *keys):
        self.run(["xdotool", "key", "--delay", "60", *keys])

    def tab_to(self, title, key, nth=1, limit=40):
        """Presses Tab until the focus is on the nth widget `key` in that window met on the way (each press
        waits for the focus to move)."""
        for _ in range(limit):
            now = self.widgets().get((title, "@focus"))  # rectangle too: several fields share a key
            if now and now[1] == key:
                nth -= 1
                if nth == 0:
                    return
            self.key("Tab")
            self.wait(lambda: self.widgets().get((title, "@focus")) != now, 3, f"Tab to move the focus from {now}")
        raise StepFailed(f"Tab never reached {key} in '{title}'")

    def key_down(self, key):
        self.run(["xdotool", "keydown", key])

    def key_up(self, key):
        self.run(["xdotool", "keyup", key])

    def type(self, text):
        # Kana need time: xdotool remaps a spare keycode per character, and Qt drops characters sent faster.
        delay = "120" if any(ord(c) > 127 for c in text) else "40"
        self.run(["xdotool", "type", "--delay", delay, text])

    def drag(self, x1, y1, x2, y2, steps=4):
        cmd = ["xdotool", "mousemove", str(x1), str(y1), "sleep", "0.05", "mousedown", "1"]
        for i in range(1, steps + 1):
            cmd += ["sleep", "0.05", "mousemove", str(x1 + (x2 - x1) * i // steps), str(y1 + (y2 - y1) * i // steps)]
        self.run(cmd + ["sleep", "0.1", "mouseup", "1"])

    def focus(self, title):
        self.run(["xdotool", "windowactivate", "--sync", self.window_id(title)], check=False)

    def clipboard(self):
        return self.run(["xclip", "-o", "-selection", "clipboard", "-t", "UTF8_STRING"], check=False)

    def wait_clipboard(self, expected, timeout=5):
        self.wait(lambda: self.clipboard() == expected, timeout, f"clipboard {expected!r} (is {self.clipboard()!r})")

    def set_clipboard(self, text):
        # xclip keeps serving the selection in the background until someone else takes it.
        p = subprocess.Popen(["xclip", "-selection", "clipboard", "-i"], env=self.env, stdin=subprocess.PIPE,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        p.communicate(text.encode())
        self.wait(lambda: self.clipboard() == text, 5, "clipboard to be set")

    # --- files ------------------------------------------------------------------------------------------
    def wait_file(self, name, timeout=10, predicate=lambda data: True):
        def ready():
            try:
                with open(self.path(name), "rb") as f:
                    data = f.read()
            except FileNotFoundError:
                return None
            return data if predicate(data) else None
        return self.wait(ready, timeout, f"file {name}")

    def setting(self, section, key):
        """A value of glyphora.ini (Shift_JIS) as text, or None."""
        try:
            with open(self.path("glyphora.ini"), "rb") as f:
                text = f.read().decode("cp932")
        except FileNotFoundError:
            return None
        current = None
        for line in text.splitlines():
            line = line.strip()
            if line.startswith("["):
                current = line[1:-1]
            elif current == section and line.split("=", 1)[0] == key:
                return line.split("=", 1)[1]
        return None

    def cli_render(self, collection, *args):
        out = subprocess.run([self.cli, "render", "--settings", self.path("glyphora.ini"), *args, collection],
                             capture_output=True, timeout=30)
        if out.returncode:
            raise StepFailed(f"glyphora-cli render failed: {out.stderr.decode(errors='replace')}")
        return out.stdout

    def save_collection(self, name):
        """"セーブ" through the file dialog by keyboard: a full path and Return, then the "正常終了" box."""
        self.click(MAIN, "id:1006")
        self.file_dialog(self.path(name))
        self.wait_file(name)
        self.dismiss_message()
        return self.path(name)

    def file_dialog(self, path):
        """Types a full path into the file dialog that opens and presses Return."""
        self.wait(lambda: any(k == "fileNameEdit" for t, k in self.widgets()), 10, "a file dialog")
        self.key("ctrl+a")
        self.type(path)
        self.key("Return")

    def dismiss_message(self, timeout=10):
        """Waits for a message box (a window with a button 'OK') and presses Return in it."""
        hit = self.wait(lambda: [t for (t, k) in self.widgets() if k in ("button:OK", "button:了解")],
                        timeout, "a message box")
        self.key("Return")
        self.wait(lambda: not [t for (t, k) in self.widgets() if t == hit[0] and k.startswith("button:OK")],
                  5, "the message box to close")

    def exit_program(self, answer="Return"):
        """"終了", then the answer to "Glyphoraを終了します"."""
        self.click(MAIN, "id:2")
        self.wait(lambda: any(k.startswith("button:") and ("Yes" in k or "はい" in k)
                              for (t, k) in self.widgets()), 10, "the exit question")
        self.key(answer)
        if answer == "Return":
            self.wait(lambda: self.app.poll() is not None, 10, "glyphora to end")
