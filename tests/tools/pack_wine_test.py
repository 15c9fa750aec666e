#!/usr/bin/env python3
"""Packages made by sfxkit pack on the 64-bit Windows stub, run under Wine with the sample setup
program: for stored, block-format and unary-format entries, the setup program runs in the
temporary directory, sees the other files with their sizes, CRC-32 and times, and nothing is left behind.

  pack_wine_test.py SFXKIT SAMPLE WORKDIR

Uses the Wine helpers of tests/windows/wine_test.py (private prefix: $SFXKIT_WINEPREFIX). Exits
77 (skipped) when Wine is missing or this sfxkit has no win64 stub, 1 on a failed check.
"""
import os
import subprocess
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "windows"))
import wine_test  # noqa: E402

SKIP = wine_test.SKIP


def text_file(workdir):
    """About 200 KiB of text that the block and unary formats compress."""
    path = os.path.join(workdir, "catalog.txt")
    lines = [f"item {i:06d}: part {i * 7919 % 1000:03d}, shelf {i % 37}\r\n" for i in range(5000)]
    with open(path, "wb") as f:
        f.write("".join(lines).encode("ascii"))
    os.utime(path, (1700000000, 1700000000))  # 2023-11-14 22:13:20 UTC
    return path


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    sfxkit, sample, workdir = sys.argv[1:]
    if not os.path.exists("/usr/lib/wine/wine64"):
        print("skipped: wine64 is missing")
        return SKIP
    os.makedirs(workdir, exist_ok=True)
    notes = wine_test.data_file(workdir)
    catalog = text_file(workdir)
    names = ["setup.exe", "notes.txt", "catalog.txt"]
    wine_test.wait_for_wineserver()
    os.environ.pop("DISPLAY", None)  # the run without a window

    for method in ("0", "auto", "1", "3", "4"):
        package = os.path.join(workdir, f"package-m{method}.exe")
        packed = subprocess.run([sfxkit, "pack", "-q", "--stub", "win64", "-m", method, "-o",
                                 package, sample, notes, catalog],
                                capture_output=True, text=True)
        if "built without the win64 stub" in packed.stderr:
            print("skipped: this sfxkit has no win64 stub")
            return SKIP
        if not wine_test.check(packed.returncode == 0, f"-m {method}: pack: {packed.stderr}"):
            continue
        wine_test.clear_temp(names)
        report = os.path.join(workdir, "report.txt")
        if os.path.exists(report):
            os.remove(report)
        done = subprocess.run([wine_test.WINE_RUN, package], env=wine_test.environment(report),
                              timeout=300, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wine_test.check(done.returncode == 0, f"-m {method}: exit code {done.returncode}")
        if wine_test.check(os.path.exists(report), f"-m {method}: the setup program did not run"):
            with open(report, encoding="utf-8", errors="replace") as f:
                text = f.read()
            for path, when in ((notes, "2021-06-15 10:20:30"), (catalog, "2023-11-14 22:13:20")):
                with open(path, "rb") as f:
                    crc = zlib.crc32(f.read())
                line = (f"file: {os.path.basename(path)} size={os.path.getsize(path)} "
                        f"crc32={crc:08x} mtime={when}")
                wine_test.check(line in text, f"-m {method}: no line {line!r} in:\n{text}")
        wine_test.check(not wine_test.leftovers(names),
                        f"-m {method}: left behind: {wine_test.leftovers(names)}")

    return wine_test.finish()


if __name__ == "__main__":
    sys.exit(main())
