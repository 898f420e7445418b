"""Checks what `cmake --install` and the Debian package put on a machine.

python3 check_install.py tree|package BUILD_DIR SOURCE_DIR VERSION

tree:    installs the build tree under /usr into a scratch root, then checks the layout, that the programs
         hold no test seam, the desktop entry, the metainfo, the icons, the man pages (against every
         command's --help) and the bash completion.
package: runs cpack on the build tree's own CPack configuration, checks the package's fields and dependencies,
         unpacks it into a scratch root, checks its layout and that its programs hold no test seam, and runs
         the unpacked glyphora-cli.
Nothing outside the scratch folder is touched.
"""
import os, re, shlex, shutil, struct, subprocess, sys, tempfile
import xml.etree.ElementTree as ET

APP_ID = "io.github.glyphora.Glyphora"
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
# Everything installed, under the prefix; anything else (a test program, a fuzzer) is a fault.
EXPECTED = {
    "bin/glyphora",
    "bin/glyphora-cli",
    f"share/applications/{APP_ID}.desktop",
    f"share/metainfo/{APP_ID}.metainfo.xml",
    f"share/icons/hicolor/scalable/apps/{APP_ID}.svg",
    *(f"share/icons/hicolor/{s}x{s}/apps/{APP_ID}.png" for s in ICON_SIZES),
    "share/man/man1/glyphora.1",
    "share/man/man1/glyphora-cli.1",
    "share/bash-completion/completions/glyphora-cli",
    "share/doc/glyphora/copyright",
}
# The libraries the binaries link and the font the rendering widths come from.
REQUIRED_DEPENDS = {"libqt6widgets6", "libqt6gui6", "libqt6core6", "libfreetype6", "libfontconfig1",
                    "libc6", "libstdc++6", "fonts-monapo"}
# Extensions each place of the command line completes to.
COMPLETED_KINDS = {
    ("render", ""): {"aap", "aat", "aal"},
    ("convert", ""): {"aap", "aat", "aal"},
    ("info", ""): {"aap", "aat", "aal"},
    ("export", ""): {"aap", "aat", "aal"},
    ("import", ""): {"txt", "mlt", "ast"},
    ("render", "-o"): {"txt", "html"},
    ("import", "-o"): {"aal"},
    ("export", "-o"): {"mlt", "ast"},
}
ALL_KINDS = {"aap", "aat", "aal", "txt", "html", "mlt", "ast", "ini"}

failures = []


def check(cond, message):
    if not cond:
        failures.append(message)
        print("FAILED: " + message, file=sys.stderr)
    return cond


def run(argv, **kw):
    kw.setdefault("capture_output", True)
    kw.setdefault("timeout", 60)
    return subprocess.run(argv, **kw)


def files_under(root):
    found = set()
    for folder, _, names in os.walk(root):
        for n in names:
            found.add(os.path.relpath(os.path.join(folder, n), root))
    return found


def check_layout(root):
    found = files_under(root)
    expected = {"usr/" + p for p in EXPECTED}
    check(not expected - found, f"not installed: {sorted(expected - found)}")
    check(not found - expected, f"installed but not expected: {sorted(found - expected)}")


def check_no_test_seam(usr):
    """The end-to-end tests' widget map is built into their own copy of the program, never into what is
    installed: with it, setting GLYPHORA_WIDGET_MAP would make the program write files."""
    for program in ("glyphora", "glyphora-cli"):
        path = os.path.join(usr, "bin", program)
        if os.path.exists(path):
            with open(path, "rb") as f:
                check(b"GLYPHORA_WIDGET_MAP" not in f.read(), f"the installed {program} has the widget map")


# --- the command-line tool's own account of itself ------------------------------------------------------
def cli_commands(cli):
    out = run([cli, "--help"], text=True).stdout
    commands = re.findall(r"^  ([a-z]+) ", out.split("Commands:", 1)[1], re.M)
    check(commands, "glyphora-cli --help lists no commands")
    return commands


def cli_options(cli, command):
    """The options a command's --help names (short ones too), without --help and -h."""
    out = run([cli, command, "--help"], text=True).stdout
    options = set(re.findall(r"(?<![\w-])(--?[a-z][a-z0-9-]*)", out))
    return sorted(options - {"--help", "-h"})


def cli_actions(cli, command):
    """The actions a command takes first ("collection index"), from its usage lines; [] when none."""
    out = run([cli, command, "--help"], text=True).stdout
    return re.findall(rf"^(?:Usage:)?\s+glyphora-cli {command} ([a-z]+) ", out, re.M)


# --- tree checks ----------------------------------------------------------------------------------------
def desktop_entry(path):
    entry = {}
    for line in open(path, encoding="utf-8"):
        if "=" in line and not line.startswith("#"):
            k, v = line.rstrip("\n").split("=", 1)
            entry[k] = v
    return entry


def check_desktop(usr):
    path = os.path.join(usr, f"share/applications/{APP_ID}.desktop")
    r = run(["desktop-file-validate", path], text=True)
    check(r.returncode == 0 and not r.stdout.strip(), f"desktop-file-validate: {r.stdout}{r.stderr}")
    e = desktop_entry(path)
    for key in ("Name", "Name[ja]", "GenericName", "GenericName[ja]", "Comment", "Comment[ja]"):
        check(e.get(key), f"desktop entry has no {key}")
    check(e.get("Name") == "Glyphora", "desktop entry Name is not Glyphora")
    check(os.path.exists(os.path.join(usr, "bin", shlex.split(e.get("Exec", "?"))[0])),
          f"desktop entry Exec={e.get('Exec')} names no installed program")
    icon = e.get("Icon", "")
    check(os.path.exists(os.path.join(usr, f"share/icons/hicolor/scalable/apps/{icon}.svg")) and
          os.path.exists(os.path.join(usr, f"share/icons/hicolor/48x48/apps/{icon}.png")),
          f"desktop entry Icon={icon} names no installed icon")


def check_metainfo(usr, source, version):
    path = os.path.join(usr, f"share/metainfo/{APP_ID}.metainfo.xml")
    r = run(["appstreamcli", "validate", "--no-net", path], text=True)
    check(r.returncode == 0, f"appstreamcli validate: {r.stdout}{r.stderr}")
    root = ET.parse(path).getroot()
    lang = "{http://www.w3.org/XML/1998/namespace}lang"
    check(root.findtext("id") == APP_ID, "metainfo id differs from the desktop entry's")
    check(root.findtext("launchable") == f"{APP_ID}.desktop", "metainfo launchable is not the desktop entry")
    check(any(s.get(lang) == "ja" for s in root.findall("summary")), "metainfo has no Japanese summary")
    check(any(p.get(lang) == "ja" for p in root.findall("description/p")),
          "metainfo has no Japanese description")
    releases = [r.get("version") for r in root.findall("releases/release")]
    check(version in releases, f"metainfo names no release {version} (has {releases})")
    for image in root.findall("screenshots/screenshot/image"):
        shot = re.sub(r"^.*?/main/", "", image.text.strip())
        check(os.path.isfile(os.path.join(source, shot)), f"the screenshot {shot} is not in the source tree")


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", head[16:24])


def check_icons(usr):
    base = os.path.join(usr, "share/icons/hicolor")
    for s in ICON_SIZES:
        path = os.path.join(base, f"{s}x{s}/apps/{APP_ID}.png")
        if os.path.exists(path):
            check(png_size(path) == (s, s), f"{s}x{s} icon is {png_size(path)}")
    svg = os.path.join(base, f"scalable/apps/{APP_ID}.svg")
    if os.path.exists(svg):
        check(ET.parse(svg).getroot().tag == "{http://www.w3.org/2000/svg}svg", "the scalable icon is no SVG")


def rendered_man(path):
    r = run(["groff", "-man", "-Tutf8", "-ww", "-z", path], text=True)
    check(r.returncode == 0 and not r.stderr.strip(), f"groff warns about {path}: {r.stderr}")
    env = dict(os.environ, MANWIDTH="200", LC_ALL="C.UTF-8")
    r = run(["man", "-l", path], env=env)
    check(r.returncode == 0 and r.stdout, f"man -l {path} failed: {r.stderr}")
    # Plain text: no overstrike, no terminal escapes.
    return re.sub(r".\x08|\x1b\[[0-9;]*m", "", r.stdout.decode())


def check_man(usr, cli, version):
    texts = {}
    for page in ("glyphora", "glyphora-cli"):
        path = os.path.join(usr, f"share/man/man1/{page}.1")
        th = re.search(r'^\.TH \S+ 1 \S+ "Glyphora ([^"]+)"', open(path, encoding="utf-8").read(), re.M)
        check(th and th.group(1) == version, f"{page}.1 is for version {th and th.group(1)}, not {version}")
        texts[page] = rendered_man(path)
    # Every command and each option its --help names has its place in the man page: in the command's own
    # subsection, which ends at the next subsection or section heading.
    sections = re.split(r"\n(?=\S|   \S)", texts["glyphora-cli"])
    for command in cli_commands(cli):
        if command == "help":
            continue
        # A command with actions has a section per action; its options are described across them.
        section = "\n".join(s for s in sections if s.startswith(f"   {command} ")) or None
        if not check(section, f"glyphora-cli.1 has no section for '{command}'"):
            continue
        for option in cli_options(cli, command):
            check(re.search(rf"(?<![\w-]){re.escape(option)}(?![\w-])", section),
                  f"glyphora-cli.1 does not describe '{command} {option}'")


COMPLETE = r"""
source "$1"; shift
complete_line() {  # one query: the words, the last being the word under the cursor
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}; COMPREPLY=()
    _glyphora_cli 2>/dev/null
    printf '%s\t' "${COMPREPLY[@]}"; printf '\n'
}
while IFS= read -r line; do eval "complete_line $line"; done
"""


def completions(script, folder, queries):
    """COMPREPLY for each query (a list of words), from one bash run in `folder`."""
    lines = "".join(" ".join(shlex.quote(w) for w in ["glyphora-cli", *q]) + "\n" for q in queries)
    r = run(["bash", "--norc", "--noprofile", "-c", COMPLETE, "complete", script], input=lines, text=True,
            cwd=folder)
    check(r.returncode == 0, f"the completion script failed: {r.stderr}")
    out = r.stdout.split("\n")
    return [set(filter(None, out[i].split("\t"))) if i < len(out) else set() for i in range(len(queries))]


def check_completion(usr, cli, scratch):
    script = os.path.join(usr, "share/bash-completion/completions/glyphora-cli")
    folder = os.path.join(scratch, "files")
    os.makedirs(os.path.join(folder, "sub"))
    for kind in ALL_KINDS:
        open(os.path.join(folder, f"x.{kind}"), "w").close()
    commands = [c for c in cli_commands(cli) if c != "help"]
    # A command with actions completes its options after the action: each action's replies count.
    actions = {c: cli_actions(cli, c) or [None] for c in commands}
    option_queries = [[c, *([a] if a else []), "-"] for c in commands for a in actions[c]]
    queries = [["re"], [""]] + option_queries + [[c, *([o, ""] if o else [""])] for c, o in COMPLETED_KINDS]
    got = completions(script, folder, queries)
    check(got[0] == {"render"}, f"'glyphora-cli re<TAB>' gives {got[0]}")
    check(set(commands) <= got[1], f"commands not completed: {set(commands) - got[1]}")
    replies = iter(got[2:])
    for c in commands:
        reply = set().union(*(next(replies) for _ in actions[c]))
        missing = set(cli_options(cli, c)) - reply
        check(not missing, f"options of '{c}' not completed: {sorted(missing)}")
    for (c, o), reply in zip(COMPLETED_KINDS, got[2 + len(option_queries):]):
        want = {f"x.{k}" for k in COMPLETED_KINDS[(c, o)]} | {"sub"}
        check(reply == want, f"'glyphora-cli {c} {o} <TAB>' gives {sorted(reply)}, not {sorted(want)}")


def tree(build, source, version, scratch):
    root = os.path.join(scratch, "root")
    r = run(["cmake", "--install", build, "--prefix", "/usr"], env=dict(os.environ, DESTDIR=root))
    if not check(r.returncode == 0, f"cmake --install failed: {r.stderr.decode()}"):
        return
    usr = os.path.join(root, "usr")
    cli = os.path.join(usr, "bin/glyphora-cli")
    check_layout(root)
    check_no_test_seam(usr)
    r = run([cli, "--version"], text=True)
    check(r.stdout.strip() == f"glyphora-cli {version}", f"installed glyphora-cli --version: {r.stdout}")
    check_desktop(usr)
    check_metainfo(usr, source, version)
    check_icons(usr)
    check_man(usr, cli, version)
    check_completion(usr, cli, scratch)


# --- package checks -------------------------------------------------------------------------------------
def depends_names(field):
    return {re.split(r"[\s(:]", alt.strip())[0] for dep in field.split(",") for alt in dep.split("|")
            if alt.strip()}


def package(build, source, version, scratch):
    out = os.path.join(scratch, "package")
    r = run(["cpack", "-G", "DEB", "--config", os.path.join(build, "CPackConfig.cmake"), "-B", out],
            timeout=120)
    debs = [f for f in os.listdir(out) if f.endswith(".deb")] if os.path.isdir(out) else []
    if not check(r.returncode == 0 and len(debs) == 1, f"cpack made {debs}: {r.stdout.decode()}"
                                                       f"{r.stderr.decode()}"):
        return
    deb = os.path.join(out, debs[0])
    check(re.fullmatch(rf"glyphora_{re.escape(version)}_\w+\.deb", debs[0]), f"package file name {debs[0]}")
    fields = {}
    for name in ("Package", "Version", "Section", "Maintainer", "Description", "Depends"):
        fields[name] = run(["dpkg-deb", "-f", deb, name], text=True).stdout.strip()
    check(fields["Package"] == "glyphora", f"Package: {fields['Package']}")
    check(fields["Version"] == version, f"Version: {fields['Version']}")
    check(fields["Section"] == "graphics", f"Section: {fields['Section']}")
    check(re.search(r"<[^@\s]+@[^>\s]+>", fields["Maintainer"]), f"Maintainer: {fields['Maintainer']}")
    check(len(fields["Description"].splitlines()) > 1, "the package has no long description")
    depends = depends_names(fields["Depends"])
    check(REQUIRED_DEPENDS <= depends, f"Depends lacks {sorted(REQUIRED_DEPENDS - depends)}")
    # The programs run here, so every package they depend on must be one this machine has installed.
    for name in sorted(depends):
        status = run(["dpkg-query", "-W", "-f=${Status}", name], text=True).stdout
        check(status.endswith("installed"), f"Depends names '{name}', which no installed package is")

    root = os.path.join(scratch, "unpacked")
    r = run(["dpkg-deb", "-x", deb, root])
    if not check(r.returncode == 0, f"dpkg-deb -x failed: {r.stderr.decode()}"):
        return
    check_layout(root)
    usr = os.path.join(root, "usr")
    check_no_test_seam(usr)
    ldd = run(["ldd", os.path.join(usr, "bin/glyphora")], text=True).stdout
    check("not found" not in ldd, f"the packaged glyphora misses libraries:\n{ldd}")
    cli = os.path.join(usr, "bin/glyphora-cli")
    r = run([cli, "--version"], text=True)
    check(r.stdout.strip() == f"glyphora-cli {version}", f"packaged glyphora-cli --version: {r.stdout}")

    # The packaged tool renders a page collection as the build's own tool does.
    settings = os.path.join(scratch, "empty.ini")
    open(settings, "w").close()
    args = ["render", "--utf8", "--settings", settings, "--metrics",
            os.path.join(source, "tests/data/test_metrics.txt"), os.path.join(source, "tests/install/tour.aap")]
    packaged = run([cli, *args])
    built = run([os.path.join(build, "bin/glyphora-cli"), *args])
    check(packaged.returncode == 0, f"packaged glyphora-cli render failed: {packaged.stderr.decode()}")
    text = packaged.stdout.decode("utf-8", errors="replace")
    check("パーツを並べて描こう！" in text and "（　´∀｀）" in text, f"rendered text lacks the picture:\n{text}")
    check(packaged.stdout == built.stdout, "the packaged glyphora-cli renders otherwise than the built one")


TOOLS = ("cmake", "cpack", "dpkg-deb", "dpkg-query", "ldd", "desktop-file-validate", "appstreamcli", "groff",
         "man", "bash")


def main():
    mode, build, source, version = sys.argv[1:5]
    missing = [t for t in TOOLS if not shutil.which(t)]
    if missing:  # skipped where the tools are not installed ('make deps' installs them), failed under CI
        print("missing tools: " + ", ".join(missing), file=sys.stderr)
        sys.exit(1 if os.environ.get("CI") else 77)
    with tempfile.TemporaryDirectory(prefix=f"glyphora-install-{mode}-") as scratch:
        {"tree": tree, "package": package}[mode](build, source, version, scratch)
    print(f"install {mode}: {len(failures)} failed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
