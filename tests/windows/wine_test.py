#!/usr/bin/env python3
"""The 64-bit Windows stub under Wine, with the sample setup program built for Windows.

  wine_test.py run     STUB SAMPLE WORKDIR   the main path and a damaged package, no display
  wine_test.py window  STUB SAMPLE WORKDIR   under Xvfb: a screenshot of the progress window
                                             (kept as WORKDIR/progress-window.png), the window
                                             gone before the child starts and before the
                                             failure message box (which the test dismisses)

Runs through cmake/wine-run (private prefix: $SFXKIT_WINEPREFIX, WINEDEBUG=-all). Exits 77
(skipped) when Wine, Xvfb or the X tools are missing, 1 on a failed check.
"""
import getpass
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(os.path.dirname(HERE))
WINE_RUN = os.path.join(SOURCE_DIR, "cmake", "wine-run")
sys.path.insert(0, HERE)
import make_package  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "support"))
from script_checks import SKIP, check, finish  # noqa: E402


def prefix():
    return os.environ.get("SFXKIT_WINEPREFIX", os.path.join(SOURCE_DIR, "build", "wineprefix"))


def wait_for_wineserver():
    """Waits until the prefix's wineserver from an earlier run has gone: a run started while it
    is still up would join its desktop, which may belong to another X display or to none."""
    if os.path.isdir(prefix()):
        subprocess.run(["/usr/lib/wine/wineserver", "-w"], env=dict(os.environ, WINEPREFIX=prefix()),
                       timeout=120)


def wine_temp_dir():
    """The prefix's temporary directory (GetTempPathA under Wine), on the host side."""
    return os.path.join(prefix(), "drive_c", "users", getpass.getuser(), "Temp")


def host_path(windows_path):
    """C:\\a\\b in the prefix as a host path."""
    if windows_path[:3].upper() != "C:\\":
        return None
    return os.path.join(prefix(), "drive_c", *windows_path[3:].split("\\"))


def windows_path(host):
    return "Z:" + os.path.abspath(host).replace("/", "\\")


def build_package(workdir, name, stub, sample, extra, damaged=False):
    """stub + stored entries: the sample as setup program, then the extra files."""
    entries = b""
    paths = [sample] + extra
    for index, path in enumerate(paths):
        with open(path, "rb") as f:
            data = f.read()
        entry = make_package.stored_entry(os.path.basename(path), data,
                                          make_package.dos_time(os.stat(path).st_mtime))
        if damaged and index == len(paths) - 1:
            entry = entry[:-1] + bytes([entry[-1] ^ 0xFF])  # the last file's CRC no longer holds
        entries += entry
    entries += b"\x60\xea\x00\x00"
    out = os.path.join(workdir, name)
    with open(stub, "rb") as f, open(out, "wb") as o:
        o.write(f.read() + make_package.scramble(entries))
    return out


def parse_report(path):
    values, files = {}, []
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            key, _, value = line.rstrip("\r\n").partition(": ")
            if key == "file":
                files.append(value.split(" ")[0])
            else:
                values[key] = value
    return values, files


def environment(report, hold_ms=0):
    env = dict(os.environ)
    env["WINEDEBUG"] = "-all"
    env["SFXKIT_REPORT"] = windows_path(report)
    if hold_ms:
        env["SFXKIT_SAMPLE_HOLD_MS"] = str(hold_ms)
    return env


def leftovers(names):
    temp = wine_temp_dir()
    return [n for n in names if os.path.exists(os.path.join(temp, n))]


def clear_temp(names):
    for n in names:
        try:
            os.remove(os.path.join(wine_temp_dir(), n))
        except OSError:
            pass


def data_file(workdir):
    path = os.path.join(workdir, "notes.txt")
    with open(path, "wb") as f:
        f.write(b"unpacked next to the setup program\r\n")
    os.utime(path, (1623752430, 1623752430))  # 2021-06-15 10:20:30 UTC
    return path


def test_run(stub, sample, workdir):
    notes = data_file(workdir)
    names = ["setup.exe", "notes.txt"]
    clear_temp(names)

    # The main path: the child runs in the temporary directory (no trailing backslash), with no
    # arguments, sees the unpacked files; afterwards they are gone.
    package = build_package(workdir, "package.exe", stub, sample, [notes])
    report = os.path.join(workdir, "report.txt")
    if os.path.exists(report):
        os.remove(report)
    done = subprocess.run([WINE_RUN, package], env=environment(report), timeout=300,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    check(done.returncode == 0, f"exit code {done.returncode}")
    if check(os.path.exists(report), "the setup program did not run"):
        values, files = parse_report(report)
        cwd = values.get("cwd", "")
        check(not cwd.endswith("\\"), f"working directory {cwd!r} ends in a backslash")
        check(host_path(cwd) and os.path.samefile(host_path(cwd), wine_temp_dir()),
              f"working directory {cwd!r} is not the temporary directory")
        check(values.get("argc") == "1", f"argc {values.get('argc')}")
        check(values.get("argv[0]", "").lower() == (cwd + "\\setup.exe").lower(),
              f"argv[0] {values.get('argv[0]')!r}")
        check({"setup.exe", "notes.txt"} <= set(files), f"files seen: {files}")
        with open(report) as f:
            text = f.read()
        size = os.path.getsize(notes)
        check(f"file: notes.txt size={size} " in text and "mtime=2021-06-15 10:20:30" in text,
              f"notes.txt not seen with its size and time:\n{text}")
    check(not leftovers(names), f"left behind: {leftovers(names)}")

    # A damaged package: no child, exit code 0, nothing left behind.
    os.remove(report)
    damaged = build_package(workdir, "damaged.exe", stub, sample, [notes], damaged=True)
    done = subprocess.run([WINE_RUN, damaged], env=environment(report), timeout=300,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    check(done.returncode == 0, f"damaged package: exit code {done.returncode}")
    check(not os.path.exists(report), "damaged package: the setup program ran")
    check(not leftovers(names), f"damaged package left behind: {leftovers(names)}")


def xdotool(*args):
    done = subprocess.run(["xdotool", *args], capture_output=True, text=True, timeout=60)
    return done.stdout.split()


def wait_for_window(name, process, seconds=120):
    deadline = time.time() + seconds
    while time.time() < deadline and process.poll() is None:
        found = xdotool("search", "--name", f"^{name}$")
        if found:
            return found[0]
        time.sleep(0.05)
    return None


def read_ppm(data):
    """(width, height, rows of (r, g, b)) of a binary PPM."""
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    width, height = int(fields[1]), int(fields[2])
    pixels = data[pos + 1:]
    return width, height, [[tuple(pixels[(y * width + x) * 3:(y * width + x) * 3 + 3])
                            for x in range(width)] for y in range(height)]


def screenshot_problems(shot, window):
    """What the window's picture lacks: a caption bar with text, the floppy icon (its grey body
    and navy label lines), a line of dark text to the right of the icon. Empty when all show."""
    problems = []
    geometry = dict(line.split("=") for line in xdotool("getwindowgeometry", "--shell", window))
    if not {"X", "Y", "WIDTH", "HEIGHT"} <= set(geometry):
        return ["the window has no geometry (gone?)"]
    x, y, w, h = (int(geometry[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
    crop = subprocess.run(["convert", shot, "-crop", f"{w}x{h}+{x}+{y}", "+repage", "ppm:-"],
                          capture_output=True, check=True).stdout
    width, height, rows = read_ppm(crop)
    # The caption bar: the top rows below the frame share one colour, broken by the caption text.
    caption_row = rows[min(10, height - 1)]
    bar = max(set(caption_row), key=caption_row.count)
    caption_text = sum(1 for r in rows[4:20] for p in r[:60] if p != bar)
    if caption_text <= 20:
        problems.append(f"no caption text ({caption_text} pixels)")
    body = rows[24:]
    left = [p for r in body for p in r[: width // 6]]
    right = [p for r in body for p in r[width // 6:]]
    if left.count((0, 0, 128)) < 10:
        problems.append("no navy label lines of the floppy icon")
    if left.count((128, 128, 128)) < 50:
        problems.append("no grey floppy body")
    dark = sum(1 for p in right if max(p) < 80)
    if dark <= 150:
        problems.append(f"no text to the right of the icon ({dark} dark pixels)")
    return problems


def capture_window(shot, window, process):
    """Screenshots of the whole screen until one shows the complete window (painting may lag on
    a busy machine) or the window is gone; checks the last one."""
    problems = ["no screenshot taken"]
    deadline = time.time() + 30
    while time.time() < deadline and process.poll() is None:
        subprocess.run(["import", "-window", "root", shot], check=True, timeout=60)
        if not xdotool("search", "--name", "^Setup$"):
            break  # gone while the picture was taken: the picture may not be of it
        problems = screenshot_problems(shot, window)
        if not problems:
            break
        time.sleep(0.1)
    for problem in problems:
        check(False, f"screenshot: {problem}")


def test_window(stub, sample, workdir):
    for tool in ("xdotool", "import", "convert"):
        if not shutil.which(tool):
            print(f"skipped: {tool} is missing")
            return SKIP
    # Without a window manager Wine draws the caption and frame itself only when told to.
    subprocess.run([WINE_RUN, "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Decorated",
                    "/d", "N", "/f"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=300)
    notes = data_file(workdir)
    names = ["setup.exe", "notes.txt"]
    clear_temp(names)
    report = os.path.join(workdir, "report.txt")
    if os.path.exists(report):
        os.remove(report)

    # Success: the window shows while unpacking and is gone once the child runs.
    package = build_package(workdir, "package.exe", stub, sample, [notes])
    process = subprocess.Popen([WINE_RUN, package], env=environment(report, hold_ms=3000),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    window = wait_for_window("Setup", process)
    if check(window is not None, "no Setup window appeared"):
        check(xdotool("getwindowname", window) == ["Setup"], "the window's name is not Setup")
        capture_window(os.path.join(workdir, "progress-window.png"), window, process)
        # A report seen before the window is seen again proves the two overlapped.
        child_started = os.path.exists(report)
        window_up = bool(xdotool("search", "--name", "^Setup$"))
        check(not (child_started and window_up), "the child started while the window was up")
    deadline = time.time() + 60
    while not os.path.exists(report) and time.time() < deadline and process.poll() is None:
        time.sleep(0.05)
    if check(os.path.exists(report), "the setup program did not run"):
        check(not xdotool("search", "--name", "^Setup$"), "the window is up while the child runs")
    check(process.wait(timeout=120) == 0, "exit code not 0")
    check(not leftovers(names), f"left behind: {leftovers(names)}")

    # Failure: the window is gone before the message box appears; the box is dismissed.
    os.remove(report)
    damaged = build_package(workdir, "damaged.exe", stub, sample, [notes], damaged=True)
    process = subprocess.Popen([WINE_RUN, damaged], env=environment(report),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    box = wait_for_window("Error", process)
    if check(box is not None, "no message box appeared"):
        check(not xdotool("search", "--name", "^Setup$"), "the window is up with the message box")
        time.sleep(0.3)
        subprocess.run(["import", "-window", "root", os.path.join(workdir, "message-box.png")],
                       check=True, timeout=60)
        xdotool("windowfocus", "--sync", box)
        xdotool("key", "Return")
    try:
        code = process.wait(timeout=60)
    except subprocess.TimeoutExpired:
        process.kill()
        code = None
    check(code == 0, f"damaged package: exit code {code} (was the box dismissed?)")
    check(not os.path.exists(report), "damaged package: the setup program ran")
    check(not leftovers(names), f"damaged package left behind: {leftovers(names)}")


def main():
    if len(sys.argv) != 5 or sys.argv[1] not in ("run", "window"):
        print(__doc__, file=sys.stderr)
        return 2
    mode, stub, sample, workdir = sys.argv[1:]
    if not os.path.exists("/usr/lib/wine/wine64"):
        print("skipped: wine64 is missing")
        return SKIP
    os.makedirs(workdir, exist_ok=True)
    wait_for_wineserver()
    if mode == "window":
        if not os.environ.get("SFXKIT_UNDER_XVFB"):
            if not shutil.which("xvfb-run"):
                print("skipped: xvfb-run is missing")
                return SKIP
            env = dict(os.environ, SFXKIT_UNDER_XVFB="1")
            return subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 800x600x24", sys.executable,
                                   *sys.argv], env=env).returncode
        if test_window(stub, sample, workdir) == SKIP:
            return SKIP
    else:
        env_display = os.environ.pop("DISPLAY", None)  # no window: the run without one
        test_run(stub, sample, workdir)
        if env_display:
            os.environ["DISPLAY"] = env_display
    return finish()


if __name__ == "__main__":
    sys.exit(main())
