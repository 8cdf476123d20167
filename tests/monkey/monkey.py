#!/usr/bin/env python3
"""The monkey's actions: chosen at random from a seed, carried out on the real program with xdotool.

    monkey.py prepare --gen QV-GEN --work DIR
        makes the work folder's history files and its one bad file.
    monkey.py run --xwin QV-XWIN --work DIR --pid PID --main WINDOW --log FILE [--trace FILE]
                  (--seed N --seconds S | --replay FILE)
        carries out the actions of the seed for S seconds (or every action of FILE), writing each one to
        the log before it is carried out (and to the trace, with the time and the top window's title),
        then closes every window but the main one with Escape.
        Exit status: 0 done, 10 the main window gave no answer to a ping within 5 s, 11 the program
        ended, 12 the monkey itself could not go on.
    monkey.py list --seed N --count K
        writes the first K actions of a seed.
    monkey.py check
        checks the choice of actions: the same for the same seed, every line read back as written, every
        file name inside the work folder, File > Exit never chosen.

The actions depend on the seed alone, never on what the program shows, so that a seed or a saved list
replays the same input. Where the input goes is decided when an action is carried out: the keyboard
focus is kept on the program's top window (as a window manager would), a file dialog only ever gets a
path inside the work folder or Escape, the mouse only goes to the main window or the report window
when that window is the top one, and a menu open over the main window that the action before did not
mean to leave open (random keys open one when the menu bar has the keyboard) gets Escape first, so that
no click, Return or text lands on File > Exit.
"""

import argparse
import json
import os
import random
import subprocess
import sys
import time

# The titles of the file dialogs, and of the message boxes they open (which take the dialog's title).
FILE_DIALOGS = {"Import Quorvex history files", "Export list", "Save image", "Save data"}
REPORT = "Report"

# The work folder's files (prepare makes them; the program loads them at start-up).
HISTORY_FILES = [
    # name, qv-gen seed, records, first ID number, years
    ("history-a.csv", 11, 1200, 0, "2024-2026"),
    ("history b é.csv", 12, 600, 1000, "2025-2026"),
    ("history-c.csv", 13, 200, 5000, "2026-2026"),
]
BAD_FILE = "bad lines.csv"

# The menus as the keyboard walks them: alt+letter opens one with its first item active, Up and Down
# move (wrapping, separators skipped), Left and Right go to the menu beside it.
MENUS = [
    ("f", ["import", "loaded", "export", "exit"]),
    ("s", ["search", "search", "search", "all"]),
    ("r", ["report", "report", "report", "report"]),
    ("v", ["toggle", "toggle"]),
]
# Letters of the items that have one (File: &Import, &Loaded files, &Export list, E&xit).
MNEMONICS = {("f", "i"): 0, ("f", "l"): 1, ("f", "e"): 2}

LIST_KEYS = ["Next", "Prior", "End", "Home", "Down", "Up", "Down", "Next"]
TYPE_AHEAD = "abcdefghijklmnopqrstuvwyz0123456789"
DIALOG_KEYS = ["Return", "Escape", "Tab", "shift+Tab", "space", "Up", "Down", "Left", "Right", "y", "n",
               "Home", "End", "BackSpace", "Delete"]
DATE_KEYS = ["Up", "Down", "Prior", "Next", "Tab", "shift+Tab", "Home", "End", "1", "2", "0", "9", "F4",
             "Return", "BackSpace"]
REPORT_KEYS = ["ctrl+minus", "ctrl+0", "minus", "plus", "Left", "Right", "Up", "Down", "Home", "End",
               "Prior", "Next"]

# Pieces of typed text.
NON_ASCII = ["é", "ü", "ß", "Ł", "ñ", "€", "漢", "字", "😀", "🎉", "Ω", "ж"]
FORMAT_CHARS = ["\u200e", "\u202e", "\ufeff", "\u200b", "\u2066"]
PRINTF = ["%s", "%n", "%d", "%%", "%1", "%p", "%s%s%s%n"]
ASCII = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 @._-,;:'\"!?()[]{}<>=+*&#$^|\\"
ID_CHARS = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"


def safe_text(text):
    """Typed text never names another folder, whatever window it reaches: no separator, no home."""
    text = "".join(c for c in text if c not in "/~\t\n\r" and (ord(c) >= 0x20))
    return "a" if text in ("", ".", "..") else text


def safe_name(name):
    """A file name inside the work folder."""
    name = safe_text(name)
    return name.lstrip()[:300] or "a"


class Chooser:
    """The stream of actions of one seed."""

    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.exported = []

    # ---- texts and names ----------------------------------------------------------------------------

    def text(self):
        r = self.rng
        kind = r.randrange(10)
        if kind >= 8:
            # Texts that many records hold, so that a search leaves rows to sort, show and export.
            return r.choice(["a", "e", "o", "0", "1", "7", "@", ".", "ex", "shop", "example", "é", "ó", "Ł",
                             "an", "er", "A", "B", "0A", "1B"])
        if kind == 0:
            return "".join(r.choice(ASCII) for _ in range(r.randint(1, 12)))
        if kind == 1:
            # The start of a transaction ID, or an ID-like text.
            return "".join(r.choice(ID_CHARS) for _ in range(r.randint(1, 17)))
        if kind == 2:
            # Long: up to beyond the search box's 255 characters.
            pieces = [ASCII, ID_CHARS, "".join(NON_ASCII)]
            return "".join(r.choice(r.choice(pieces)) for _ in range(r.randint(60, 300)))
        if kind == 3:
            return "".join(r.choice(NON_ASCII) for _ in range(r.randint(1, 8)))
        if kind == 4:
            return "".join(r.choice(FORMAT_CHARS + ["a", "b", "漢"]) for _ in range(r.randint(1, 8)))
        if kind == 5:
            return "".join(r.choice(PRINTF) for _ in range(r.randint(1, 4)))
        if kind == 6:
            return r.choice(["@", "example", "shop@", ".example", "Completed", "é", " ", "  a", "\"",
                             "\\", "'", ",", "%s"])
        return "".join(self.text() for _ in range(r.randint(2, 4)))[:320]

    def name(self, export):
        r = self.rng
        kind = r.randrange(10)
        if kind < 3 and not export:
            return r.choice([f for f, *_ in HISTORY_FILES] + [BAD_FILE])
        if kind < 4 and self.exported:
            return r.choice(self.exported)
        if kind == 4:
            name = r.choice(["list.csv", "list é ü.csv", "%s%n.csv", "a,b\"c.csv", "-dash.csv", " space.csv",
                             "漢字😀.csv", "\u202egnp.csv", "no suffix", "image.png", "data", "a*.csv",
                             "history-a.csv", BAD_FILE, "x" * 120 + ".csv", "y" * 300 + ".csv"])
        elif kind == 5:
            name = safe_name(self.text()) + r.choice([".csv", "", ".png", ".CSV"])
        else:
            name = "export-%d.csv" % r.randrange(6)
        name = safe_name(name)
        if export and name not in self.exported:
            self.exported.append(name)
        return name

    # ---- macros -------------------------------------------------------------------------------------

    def file_answer(self, export):
        """The answer to a file dialog: a name (or a few), or Escape."""
        r = self.rng
        if r.random() < 0.15:
            return [key("Escape")]
        count = 1 if export or r.random() < 0.8 else r.randint(2, 3)
        return [action("file", [self.name(export) for _ in range(count)])]

    def dialog_answer(self):
        r = self.rng
        out = []
        for _ in range(r.randint(1, 3)):
            kind = r.randrange(4)
            if kind == 0:
                out.append(action("text", safe_text(self.text())))
            else:
                out.append(key(*[r.choice(DIALOG_KEYS) for _ in range(r.randint(1, 3))]))
        out.append(key(r.choice(["Return", "Return", "Escape"])))
        return out

    def search_answer(self):
        r = self.rng
        if r.random() < 0.1:
            return self.dialog_answer()
        out = [action("text", safe_text(self.text()))]
        if r.random() < 0.2:
            out.append(key(*[r.choice(["BackSpace", "Left", "Home", "End", "Delete"])
                             for _ in range(r.randint(1, 4))]))
        out.append(key("Return" if r.random() < 0.85 else "Escape"))
        # The answer to "No records to be searched." when the list is empty, or to nothing.
        if r.random() < 0.3:
            out.append(key("Return"))
        # Search > All: every record again.
        if r.random() < 0.4:
            out += [key("alt+s", "Up"), key("Return")]
        return out

    def date_answer(self):
        r = self.rng
        out = [key(*[r.choice(DATE_KEYS) for _ in range(r.randint(1, 6))])]
        if r.random() < 0.3:
            out.append(key(*[r.choice(DATE_KEYS) for _ in range(r.randint(1, 6))]))
        out.append(key("Return" if r.random() < 0.8 else "Escape"))
        # The warning of a range that ends before it starts, or a first key to the report.
        out.append(key("Return" if r.random() < 0.5 else "Escape"))
        return out

    def report_session(self):
        r = self.rng
        out = []
        for _ in range(r.randint(2, 14)):
            kind = r.randrange(9)
            fx, fy = round(r.uniform(0.02, 0.98), 3), round(r.uniform(0.02, 0.98), 3)
            if kind <= 1:
                out.append(action("wheel", r.choice(["up", "down"]), r.randint(1, 6), fx, fy))
            elif kind == 2:
                out.append(key(*[r.choice(REPORT_KEYS) for _ in range(r.randint(1, 5))]))
            elif kind == 3:
                out.append(action("resize", "report", r.randint(100, 1800), r.randint(80, 1000)))
            elif kind == 4:
                out.append(action("drag", fx, fy, round(r.uniform(0.02, 0.98), 3),
                                  round(r.uniform(0.02, 0.98), 3)))
            elif kind == 5:
                out.append(action("hover", fx, fy))
            elif kind == 6:
                # The context menu: Reset zoom, Zoom out, Save image..., Save data...
                out.append(action("rclick", fx, fy))
                downs = r.randrange(5)
                if downs:
                    out.append(key(*["Down"] * downs))
                if r.random() < 0.8:
                    out.append(key("Return"))
                    if downs >= 3:
                        out += self.file_answer(export=True)
                else:
                    out.append(key("Escape"))
            elif kind == 7:
                out.append(key("ctrl+s"))
                out += self.file_answer(export=True)
            else:
                out.append(action("resize", "main", r.randint(320, 1900), r.randint(240, 1060)))
        if r.random() < 0.9:
            out.append(key("Escape"))
        return out

    def menu(self):
        """A walk through the menus, and what the item that it ends on asks for."""
        r = self.rng
        m = r.randrange(len(MENUS))
        item = 0
        keys = ["alt+" + MENUS[m][0]]
        triggered = False
        for _ in range(r.choice([0, 0, 1, 1, 2, 3, 5])):
            move = r.choice(["Down", "Down", "Up", "Left", "Right", "mnemonic"])
            if move == "mnemonic" and MENUS[m][0] == "f":
                letter = r.choice(["i", "l", "e"])
                keys.append(letter)
                item = MNEMONICS[("f", letter)]
                triggered = True
                break
            if move == "Down":
                item = (item + 1) % len(MENUS[m][1])
            elif move == "Up":
                item = (item - 1) % len(MENUS[m][1])
            elif move in ("Left", "Right"):
                m = (m + (1 if move == "Right" else -1)) % len(MENUS)
                item = 0
            else:
                continue
            keys.append(move)
        out = [key(*keys)]
        what = MENUS[m][1][item]
        if not triggered:
            if what == "exit" or r.random() < 0.1:
                # Escape twice: the first closes the menu, the second leaves the menu bar.
                out.append(key("Escape", "Escape"))
                return out
            out.append(key("Return"))
        if what == "import":
            out += self.file_answer(export=False)
        elif what == "export":
            out += self.file_answer(export=True)
        elif what == "loaded":
            # The loaded files window, closed again so that the keys after it go to the main window.
            out.append(key("Escape"))
        elif what == "search":
            out += self.search_answer()
        elif what == "report":
            out += self.date_answer()
            out += self.report_session()
        return out

    def list_flood(self):
        r = self.rng
        out = []
        if r.random() < 0.7:
            out.append(action("click", "list", round(r.uniform(0.02, 0.98), 3), round(r.random(), 3)))
        keys = []
        for _ in range(r.randint(5, 40)):
            keys.append(r.choice(LIST_KEYS) if r.random() < 0.6 else r.choice(TYPE_AHEAD))
        out.append(key(*keys))
        if r.random() < 0.2:
            out.append(key("ctrl+c"))
        return out

    def step(self):
        r = self.rng
        kind = r.choices(["menu", "search", "import", "header", "flood", "resize", "misc", "sleep"],
                         [30, 16, 6, 10, 14, 6, 5, 2])[0]
        if kind == "menu":
            return self.menu()
        if kind == "search":
            # Search > Transaction ID, From Email Address or Name.
            return [key("alt+s", *["Down"] * r.randrange(3)), key("Return")] + self.search_answer()
        if kind == "import":
            return [key("ctrl+o")] + self.file_answer(export=False)
        if kind == "header":
            return [action("click", "header", round(r.uniform(0.01, 0.99), 3))
                    for _ in range(r.randint(1, 3))]
        if kind == "flood":
            return self.list_flood()
        if kind == "resize":
            return [action("resize", "main", r.randint(320, 1900), r.randint(240, 1060))]
        if kind == "misc":
            return [key(r.choice(["Tab", "shift+Tab", "ctrl+c", "Escape", "Return", "space"]))]
        return [action("sleep", r.randint(50, 500))]

    def __iter__(self):
        while True:
            yield from self.step()


def action(kind, *args):
    return kind + "".join(" " + json.dumps(a, ensure_ascii=False) for a in args)


def key(*keys):
    return action("key", *keys)


def parse(line):
    """An action line as its kind and arguments."""
    kind, _, rest = line.partition(" ")
    decoder = json.JSONDecoder()
    args = []
    rest = rest.strip()
    while rest:
        value, end = decoder.raw_decode(rest)
        args.append(value)
        rest = rest[end:].strip()
    return kind, args


# ---- carrying the actions out ---------------------------------------------------------------------------

class Stop(Exception):
    def __init__(self, status, why):
        super().__init__(why)
        self.status = status


class Runner:
    def __init__(self, opts):
        self.xwin = opts.xwin
        self.work = os.path.abspath(opts.work)
        self.pid = opts.pid
        self.main = int(opts.main, 0)
        self.top = (self.main, "")
        # The popups open over the main window (its menus above all) at the last settle, and whether the
        # last action was one that leaves a menu open for the next (a walk that alt+letter starts, a right
        # click, the Downs after one).
        self.popups = 0
        self.walking = False
        self.trace = None

    def alive(self):
        try:
            with open("/proc/%d/stat" % self.pid) as f:
                return f.read().rpartition(")")[2].split()[0] not in ("Z", "X")
        except OSError:
            return False

    def settle(self):
        """Waits for the program to handle what it was sent, and keeps the focus on its top window."""
        proc = subprocess.run([self.xwin, "settle", hex(self.main), str(self.pid), "5000"],
                              capture_output=True, text=True)
        if proc.returncode == 0:
            ident, popups, title = proc.stdout.rstrip("\n").split(" ", 2)
            self.top = (int(ident, 16), title)
            self.popups = int(popups)
            return
        if proc.returncode == 3:
            # The main window is gone: the program is ending (the sanitizer's leak check at its exit
            # can take seconds), and its end says how.
            deadline = time.monotonic() + 60
            while self.alive() and time.monotonic() < deadline:
                time.sleep(0.1)
        if not self.alive():
            raise Stop(11, "the program ended")
        if proc.returncode == 1:
            raise Stop(10, "the main window gave no answer to _NET_WM_PING within 5 s")
        raise Stop(12, "qv-xwin settle failed (%d): %s" % (proc.returncode, proc.stderr.strip()))

    def xdotool(self, *args):
        subprocess.run(["xdotool"] + [str(a) for a in args], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def geometry(self, window):
        proc = subprocess.run(["xdotool", "getwindowgeometry", "--shell", str(window)],
                              capture_output=True, text=True)
        values = dict(line.split("=", 1) for line in proc.stdout.split() if "=" in line)
        try:
            return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])
        except (KeyError, ValueError):
            return None

    def at(self, window, fx, fy):
        g = self.geometry(window)
        if g is None:
            return None
        x, y, w, h = g
        return x + min(w - 1, max(0, int(fx * w))), y + min(h - 1, max(0, int(fy * h)))

    def report_window(self):
        ident, title = self.top
        return ident if title == REPORT else None

    def close_stray_menus(self):
        """Escape for a menu over the main window that the action before did not mean to leave open.

        Random keys can open a menu behind the back of the actions (a letter while the menu bar has the
        keyboard, after an Escape that closed a menu but left its bar active), and a fixed-place click,
        a Return or a typed text would then go to the menu instead of the window below it: E&xit is one
        of its items. (Popups over other windows are left alone: a date's calendar takes the keys meant
        for it, and no other window has a way out of the program.)"""
        for _ in range(4):
            if not self.popups or self.walking or self.top[0] != self.main:
                return
            if self.trace:
                self.trace.write("        (Escape: a menu open over the main window that no action meant to"
                                 " leave open)\n")
            self.xdotool("key", "Escape")
            self.settle()

    def carry_out(self, line):
        kind, args = parse(line)
        self.close_stray_menus()
        # (A file dialog gets Escape for any key, so a walk never starts there.)
        self.walking = self.top[1] not in FILE_DIALOGS and (
            kind == "rclick" or kind == "key" and args[0].startswith("alt+") or
            self.walking and kind == "key" and all(a in ("Up", "Down") for a in args))
        if kind == "text" and self.top[0] == self.main:
            # A text meant for a dialog that did not open: the menu bar may have the keyboard, where
            # its letters are the menus' and items' own (f, then x, is File > Exit). Escape leaves it.
            self.xdotool("key", "Escape")
        ident, title = self.top
        on_main = ident == self.main
        if title in FILE_DIALOGS:
            # A file dialog takes a path inside the work folder or Escape, nothing else, so that it
            # never leaves the folder.
            if kind == "file":
                paths = [os.path.join(self.work, safe_name(n)) for n in args[0]]
                typed = paths[0] if len(paths) == 1 else " ".join('"%s"' % p for p in paths)
                self.xdotool("key", "ctrl+a")
                self.xdotool("type", "--delay", "4", "--", typed)
                self.xdotool("key", "Return")
            elif kind in ("key", "text"):
                self.xdotool("key", "Escape")
            elif kind == "resize" and args[0] == "main":
                self.xdotool("windowsize", self.main, args[1], args[2])
            elif kind == "sleep":
                time.sleep(args[0] / 1000)
            return
        if kind == "key":
            self.xdotool("key", "--delay", "20", *args)
        elif kind == "text":
            self.xdotool("type", "--delay", "6", "--", safe_text(args[0]))
        elif kind == "file":
            pass  # no file dialog opened
        elif kind == "sleep":
            time.sleep(args[0] / 1000)
        elif kind == "resize":
            window = self.main if args[0] == "main" else self.report_window()
            if window is not None:
                self.xdotool("windowsize", window, args[1], args[2])
        elif kind == "click" and on_main:
            g = self.geometry(self.main)
            if g is None:
                return
            x, y, w, h = g
            # Below the menu bar and the tool bar: the list's header, or its first rows.
            top = 95 if args[0] == "header" else 112 + int(args[2] * 80)
            if top < h:
                self.xdotool("mousemove", x + min(w - 1, int(args[1] * w)), y + top, "click", "1")
        elif kind in ("wheel", "rclick", "drag", "hover"):
            window = self.report_window()
            if window is None:
                return
            if kind == "wheel":
                point = self.at(window, args[2], args[3])
                if point:
                    self.xdotool("mousemove", *point, "click", "--repeat", args[1], "--delay", "30",
                                 "4" if args[0] == "up" else "5")
            elif kind == "rclick":
                point = self.at(window, args[0], args[1])
                if point:
                    self.xdotool("mousemove", *point, "click", "3")
            elif kind == "drag":
                start, end = self.at(window, args[0], args[1]), self.at(window, args[2], args[3])
                if start and end:
                    self.xdotool("mousemove", *start, "mousedown", "1", "mousemove", *end, "mouseup", "1")
            else:
                point = self.at(window, args[0], args[1])
                if point:
                    self.xdotool("mousemove", *point)
                    time.sleep(0.8)
        elif kind not in ("click",):
            raise Stop(12, "unknown action: " + line)

    def close_others(self):
        """Escape until the main window is the top one again, then once more for a menu."""
        for _ in range(60):
            self.settle()
            if self.top[0] == self.main:
                break
            self.xdotool("key", "Escape")
        else:
            raise Stop(12, "Escape did not close the window '%s'" % self.top[1])
        self.xdotool("key", "Escape")
        self.settle()
        if self.top[0] != self.main:
            self.close_others()


def run(opts):
    runner = Runner(opts)
    if opts.replay:
        with open(opts.replay, encoding="utf-8") as f:
            stream = [line.rstrip("\n") for line in f if line.strip() and not line.startswith("#")]
        deadline = None
    else:
        stream = Chooser(opts.seed)
        deadline = time.monotonic() + opts.seconds
    count = 0
    started = time.monotonic()
    trace = open(opts.trace or os.devnull, "w", encoding="utf-8")
    with open(opts.log, "w", encoding="utf-8") as log, trace:
        runner.trace = trace
        log.write("# seed %s\n" % (opts.seed if not opts.replay else "replay of " + opts.replay))
        try:
            runner.settle()
            for line in stream:
                if deadline is not None and time.monotonic() >= deadline:
                    break
                log.write(line + "\n")
                log.flush()
                trace.write("%7.2f [%s] %s\n" % (time.monotonic() - started, runner.top[1], line))
                trace.flush()
                runner.carry_out(line)
                count += 1
                runner.settle()
            runner.close_others()
        except Stop as stop:
            print("monkey: %s (after %d actions)" % (stop, count), file=sys.stderr)
            return stop.status
    print("monkey: %d actions" % count)
    return 0


def prepare(opts):
    for name, seed, records, first, years in HISTORY_FILES:
        subprocess.run([opts.gen, "--seed", str(seed), "--records", str(records), "--first-id", str(first),
                        "--years", years, "--out", os.path.join(opts.work, name)],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # Bad amounts and quantities, bytes that are not UTF-8, a lone CR, a zero byte and a quote left open.
    fields = lambda **f: ",".join('"%s"' % f.get("c%d" % c, "") for c in range(42)).encode() + b"\r\n"
    with open(os.path.join(opts.work, BAD_FILE), "wb") as f:
        f.write(b'"Date","Time","Time Zone","Name","Type","Status","Gross"\r\n')
        f.write(fields(c0="1/2/2026", c6="abc", c11="BADGROSS1"))
        f.write(fields(c0="3/4/2026", c6="1.00", c11="BADQTY01", c30="many"))
        f.write(fields(c0="5/6/2026", c3="\xff\xfe", c6="2.50", c11="BADBYTES1").replace(b"\xc3\xbf\xc3\xbe",
                                                                                         b"\xff\xfe"))
        f.write(b'"7/8/2026","12:00:00","UTC","lone\rcr","x","Completed","1.00"\r\n')
        f.write(b'"9/9/2026","\x00","' + b"A" * 5000 + b'\r\n')
        f.write(b'"unterminated')
    return 0


def check(_opts):
    """The choice of actions: deterministic, readable back, inside the work folder, never File > Exit."""
    problems = []
    for seed in range(100):
        first = [a for _, a in zip(range(1500), Chooser(seed))]
        again = [a for _, a in zip(range(1500), Chooser(seed))]
        if first != again:
            problems.append("seed %d: two choices differ" % seed)
        for line in first:
            kind, args = parse(line)
            if action(kind, *args) != line:
                problems.append("seed %d: %r does not read back" % (seed, line))
            if kind == "file":
                for name in args[0]:
                    path = os.path.normpath(os.path.join("/work-folder", safe_name(name)))
                    if os.path.dirname(path) != "/work-folder" or name != safe_name(name):
                        problems.append("seed %d: %r leaves the folder" % (seed, name))
            if kind == "text" and args[0] != safe_text(args[0]):
                problems.append("seed %d: text %r is not safe" % (seed, args[0]))
        # Walk the menus again, by the sizes that forms/Frm_main.ui gives them (File: Import, Loaded files,
        # Export list, Exit; Search: four; Report: four; View: two): Enter on Exit, or x in a menu, ends the
        # program.
        for line, after in zip(first, first[1:]):
            kind, keys = parse(line)
            if kind != "key" or not keys[0].startswith("alt+"):
                continue
            menu, item, sizes = "fsrv".index(keys[0][4]), 0, [4, 4, 4, 2]
            for move in keys[1:]:
                if move in ("Down", "Up"):
                    item = (item + (1 if move == "Down" else -1)) % sizes[menu]
                elif move in ("Left", "Right"):
                    menu, item = (menu + (1 if move == "Right" else -1)) % 4, 0
                elif move in ("x", "X"):
                    problems.append("seed %d: %r presses x in a menu" % (seed, line))
            if (menu, item) == (0, 3) and parse(after) == ("key", ["Return"]):
                problems.append("seed %d: %r then Enter is File > Exit" % (seed, line))
        seen = {parse(a)[0] for a in first}
        for wanted in ("key", "text", "file", "click", "resize"):
            if wanted not in seen:
                problems.append("seed %d: no %s action in 1500" % (seed, wanted))
    if list(zip(range(50), Chooser(1))) == list(zip(range(50), Chooser(2))):
        problems.append("seeds 1 and 2 choose the same actions")
    for p in problems[:20]:
        print(p, file=sys.stderr)
    print("monkey check: %d problems" % len(problems))
    return 1 if problems else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("prepare")
    p.add_argument("--gen", required=True)
    p.add_argument("--work", required=True)
    p = sub.add_parser("run")
    p.add_argument("--xwin", required=True)
    p.add_argument("--work", required=True)
    p.add_argument("--pid", type=int, required=True)
    p.add_argument("--main", required=True)
    p.add_argument("--log", required=True)
    p.add_argument("--trace")
    p.add_argument("--seed", type=int, default=0)
    p.add_argument("--seconds", type=float, default=60)
    p.add_argument("--replay")
    p = sub.add_parser("list")
    p.add_argument("--seed", type=int, required=True)
    p.add_argument("--count", type=int, default=100)
    sub.add_parser("check")
    opts = parser.parse_args()
    if opts.command == "prepare":
        return prepare(opts)
    if opts.command == "run":
        return run(opts)
    if opts.command == "list":
        for _, line in zip(range(opts.count), Chooser(opts.seed)):
            print(line)
        return 0
    return check(opts)


if __name__ == "__main__":
    sys.exit(main())
