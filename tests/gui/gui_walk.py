#!/usr/bin/env python3
"""The workbook window walked as a user walks it, under Xvfb with openbox, keys and clicks by
xdotool: a route opened from the command line, 开始计算, 水准表 scrolled, the sheets switched
both ways by their tabs and by Ctrl+Page Up/Down, Ctrl+Home, screenshots whose pixels show the
frozen title rows of both sheets, and the file saved again byte for byte the one saved before the
walk; then 开始计算 again (by its side-bar button) and Ctrl+Z: the saved book equals the first one,
seed included (the same bytes), and Ctrl+Y brings the second back.

Usage: gui_walk.py LEVELBOOK SAMPLE.xlsx. Exits 77 (skipped) where no X server can be started
or a tool is missing."""

import hashlib
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77
WIDTH, HEIGHT = 1280, 900
# Where the maximized main window shows things on that screen: the sheet tabs, a cell of the
# grid, and a cell of each sheet's frozen column titles (filled light blue, #DDEBF7).
TAB_INPUT = (40, 886)
TAB_OUTPUT = (110, 886)
GRID_CELL = (700, 600)
CALCULATE_BUTTON = (WIDTH - 43, 144)  # the side bar's calculator, docked at the right edge
TITLE_INPUT = (60, 281)    # 数据输入, row 7
TITLE_OUTPUT = (70, 200)   # 水准表, rows 3 and 4
TITLE_FILL = (221, 235, 247)


def skip(why):
    print("skipped: " + why)
    sys.exit(SKIP)


def fail(why):
    print("FAILED: " + why)
    sys.exit(1)


def main():
    if len(sys.argv) != 3:
        fail("usage: gui_walk.py LEVELBOOK SAMPLE.xlsx")
    program, sample = sys.argv[1], sys.argv[2]
    for tool in ("Xvfb", "openbox", "xdotool", "import", "convert"):
        if shutil.which(tool) is None:
            skip(tool + " is not installed")
    try:
        import openpyxl  # noqa: F401
    except ImportError:
        skip("python3-openpyxl is not installed")

    work = tempfile.mkdtemp(prefix="gui_walk_")
    display = ":%d" % random.randint(100, 899)
    env = dict(os.environ, DISPLAY=display, HOME=work, XDG_CONFIG_HOME=os.path.join(work, ".config"),
               XDG_RUNTIME_DIR=work)
    # libxkbcommon-x11 calls strndup on a keymap name that is bounded by its length, not by a NUL;
    # AddressSanitizer's strict string checks read past it and stop the program before its window
    # shows, a report about the system library rather than this program.
    if "ASAN_OPTIONS" in env:
        env["ASAN_OPTIONS"] = env["ASAN_OPTIONS"].replace("strict_string_checks=1", "strict_string_checks=0")
    env.pop("QT_QPA_PLATFORM", None)
    env.pop("WAYLAND_DISPLAY", None)
    started = []
    try:
        xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "%dx%dx24" % (WIDTH, HEIGHT), "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        started.append(xvfb)
        if not wait_for(lambda: subprocess.run(["xdotool", "getdisplaygeometry"], env=env, capture_output=True)
                        .returncode == 0, 10):
            skip("no X server could be started on " + display)
        started.append(subprocess.Popen(["openbox"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        time.sleep(0.5)
        route = os.path.join(work, "路线.xlsx")
        shutil.copy(sample, route)
        log = open(os.path.join(work, "levelbook.log"), "w")
        app = subprocess.Popen([program, route], env=env, stdout=log, stderr=subprocess.STDOUT)
        started.append(app)
        if not wait_for(lambda: window_id(env) is not None or app.poll() is not None, 15) or app.poll() is not None:
            log.flush()
            print("levelbook's output:")
            print(open(os.path.join(work, "levelbook.log"), encoding="utf-8", errors="replace").read())
            fail("the main window did not appear" if app.poll() is None else
                 "levelbook ended with %s before its window appeared" % app.returncode)
        try:
            walk(env, work, route)
        finally:
            if app.poll() is not None:
                print("levelbook ended with %s:" % app.returncode)
                print(open(os.path.join(work, "levelbook.log")).read())
        print("gui walk passed")
    finally:
        for process in reversed(started):
            process.terminate()
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()
        shutil.rmtree(work, ignore_errors=True)


def wait_for(condition, seconds):
    end = time.time() + seconds
    while time.time() < end:
        if condition():
            return True
        time.sleep(0.2)
    return False


def window_id(env):
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^普通水准表格$"], env=env,
                           capture_output=True, text=True)
    ids = found.stdout.split()
    return ids[0] if ids else None


def xdo(env, *args):
    subprocess.run(["xdotool", *args], env=env, check=True)
    time.sleep(0.25)


def click(env, at):
    xdo(env, "mousemove", str(at[0]), str(at[1]), "click", "1")


def keys(env, *names):
    xdo(env, "key", "--delay", "60", *names)


def pixel(env, work, at, name):
    shot = os.path.join(work, name + ".png")
    subprocess.run(["import", "-window", "root", shot], env=env, check=True)
    out = subprocess.run(["convert", shot, "-crop", "1x1+%d+%d" % at, "-depth", "8", "txt:-"],
                         env=env, capture_output=True, text=True, check=True).stdout
    values = out.splitlines()[1].split("(")[1].split(")")[0].split(",")
    return tuple(int(float(v)) for v in values[:3])


def expect_title(env, work, at, name):
    # The frozen rows paint a moment after the switch; give them a few tries.
    for _ in range(10):
        seen = pixel(env, work, at, name)
        if seen == TITLE_FILL:
            return
        time.sleep(0.3)
    fail("%s: the frozen title rows are not drawn at %s (saw %s)" % (name, at, seen))


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def book(path):
    import openpyxl
    sheet = openpyxl.load_workbook(path)["水准表"]
    return [[(c.value, c.number_format) for c in row] for row in sheet.iter_rows()]


def save(env, route, copy):
    before = os.path.getmtime(route)
    keys(env, "ctrl+s")
    if not wait_for(lambda: os.path.getmtime(route) != before, 10):
        fail("Ctrl+S did not save " + route)
    time.sleep(0.3)
    shutil.copy(route, copy)


def walk(env, work, route):
    # The window may be mapped again while it opens the file (maximised after the first show), so
    # it is activated once it has stayed found for a second.
    def settled():
        first = window_id(env)
        time.sleep(1)
        return first is not None and window_id(env) == first
    if not wait_for(settled, 20):
        fail("the main window did not stay on the screen")
    xdo(env, "windowactivate", "--sync", window_id(env))
    time.sleep(1)
    click(env, GRID_CELL)
    keys(env, "F9")
    time.sleep(1)
    first = os.path.join(work, "first.xlsx")
    save(env, route, first)

    # 水准表 scrolled by pages and by the wheel, then the sheets switched both ways.
    click(env, TAB_OUTPUT)
    click(env, GRID_CELL)
    keys(env, "Next", "Next", "Next")
    for _ in range(5):
        xdo(env, "click", "5")
    click(env, TAB_INPUT)
    expect_title(env, work, TITLE_INPUT, "input_after_tab")
    click(env, TAB_OUTPUT)
    expect_title(env, work, TITLE_OUTPUT, "output_after_tab")
    keys(env, "ctrl+Prior")
    expect_title(env, work, TITLE_INPUT, "input_after_ctrl_pgup")
    keys(env, "ctrl+Next")
    expect_title(env, work, TITLE_OUTPUT, "output_after_ctrl_pgdn")
    keys(env, "ctrl+Home")
    expect_title(env, work, TITLE_OUTPUT, "output_after_ctrl_home")
    # Saves are byte for byte repeatable, so looking around must leave the same file.
    walked = os.path.join(work, "walked.xlsx")
    save(env, route, walked)
    if digest(walked) != digest(first):
        fail("the file saved after the walk differs from the one saved before it")

    # Two books, then one undo: the saved book is the first again; one redo, the second.
    click(env, CALCULATE_BUTTON)
    time.sleep(1)
    click(env, GRID_CELL)
    second = os.path.join(work, "second.xlsx")
    save(env, route, second)
    keys(env, "ctrl+z")
    after_undo = os.path.join(work, "undone.xlsx")
    save(env, route, after_undo)
    if book(first) == book(second):
        fail("开始计算 drew the same book twice")
    if book(after_undo) != book(first):
        fail("after Ctrl+Z the saved 水准表 differs from the first book")
    if digest(after_undo) != digest(first):
        fail("after Ctrl+Z the saved file differs from the first one outside 水准表")
    keys(env, "ctrl+y")
    after_redo = os.path.join(work, "redone.xlsx")
    save(env, route, after_redo)
    if digest(after_redo) != digest(second):
        fail("after Ctrl+Y the saved file differs from the second book")


if __name__ == "__main__":
    main()
