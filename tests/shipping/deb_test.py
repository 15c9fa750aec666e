#!/usr/bin/env python3
"""The Debian package: built with CPack from the build tree, installed with dpkg, used, removed.

  deb_test.py --build DIR --source DIR --version V --sample PROGRAM --native-stub FILE
              [--win64-stub FILE] [--win32-stub FILE] [--doc NAME]... --workdir DIR [--system]

1. cpack -G DEB with the build's own CPackConfig.cmake. The build's install script is run as
   CPack runs it (strip on, prefix /usr), but without CPack's "preinstall" step, which would
   build every out-of-date target of the tree in the middle of a test run; the tests run after
   the build.
2. The .deb: its name (sfxkit_VERSION_ARCH.deb), control fields and exact file list with modes.
3. dpkg -i into a scratch root with its own dpkg database and log (dpkg --root, --log), so that
   nothing on the machine changes; --system installs into the real system instead (refused when
   sfxkit is installed already or any of its files exists), and always removes it again.
4. The installed files: the stubs and the header byte for byte as built, the manual page as in
   docs/; the installed sfxkit packs the sample setup program with the installed native stub and
   a tail, lists and verifies the package, and the package runs with a private TMPDIR: the setup
   program sees its files and its stamp, and nothing is left behind. The installed Windows stubs
   are accepted by sfxkit pack --stub FILE.
5. dpkg -r: every file is gone and dpkg no longer lists sfxkit.

Exits 77 (skipped) when cpack, dpkg or dpkg-deb are missing, 1 on a failed check.
"""
import argparse
import gzip
import os
import shutil
import stat
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "support"))
from script_checks import SKIP, check, finish  # noqa: E402


def run(args, what, env=None, cwd=None):
    done = subprocess.run(args, capture_output=True, text=True, env=env, cwd=cwd, timeout=300)
    if not check(done.returncode == 0, f"{what}: exit status {done.returncode}"):
        print(f"$ {' '.join(args)}\n{done.stdout}{done.stderr}", file=sys.stderr)
    return done


def read(path):
    with open(path, "rb") as f:
        return f.read()


def build_deb(args, out):
    """cpack -G DEB into out; returns the .deb's path or None."""
    install_script = os.path.join(args.workdir, "install-build.cmake")
    with open(install_script, "w") as f:
        f.write(f"""# What CPack's project install does for this build, without its preinstall build.
set(CMAKE_INSTALL_PREFIX "${{CPACK_PACKAGING_INSTALL_PREFIX}}")
if(CPACK_STRIP_FILES)
    set(CMAKE_INSTALL_DO_STRIP 1)
endif()
include("{args.build}/cmake_install.cmake")
""")
    config = os.path.join(args.workdir, "CPackConfig.cmake")
    with open(config, "w") as f:
        f.write(f"""include("{args.build}/CPackConfig.cmake")
set(CPACK_INSTALL_CMAKE_PROJECTS "")
set(CPACK_INSTALL_SCRIPTS "{install_script}")
""")
    done = run(["cpack", "-G", "DEB", "--config", config, "-B", out], "cpack")
    if done.returncode != 0:
        return None
    debs = [name for name in os.listdir(out) if name.endswith(".deb")]
    if not check(len(debs) == 1, f"cpack made {debs}, not one .deb"):
        return None
    return os.path.join(out, debs[0])


def expected_files(args):
    """{path in the package: mode} of every regular file."""
    files = {
        "usr/bin/sfxkit": 0o755,
        "usr/lib/sfxkit/sfxstub": 0o755,
        "usr/include/sfxkit_stamp.h": 0o644,
        "usr/share/man/man1/sfxkit.1.gz": 0o644,
        "usr/share/doc/sfxkit/README.md": 0o644,
    }
    for stub in (args.win64_stub, args.win32_stub):
        if stub:
            files["usr/lib/sfxkit/" + os.path.basename(stub)] = 0o644
    for name in args.doc:
        files["usr/share/doc/sfxkit/" + name] = 0o644
    return files


def check_deb(args, deb):
    arch = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True,
                          check=True).stdout.strip()
    check(os.path.basename(deb) == f"sfxkit_{args.version}_{arch}.deb",
          f"package file name {os.path.basename(deb)}")
    fields = {}
    for field in ("Package", "Version", "Architecture", "Maintainer", "Section", "Depends",
                  "Description"):
        fields[field] = subprocess.run(["dpkg-deb", "-f", deb, field], capture_output=True,
                                       text=True).stdout.strip()
    check(fields["Package"] == "sfxkit", f"Package: {fields['Package']}")
    check(fields["Version"] == args.version, f"Version: {fields['Version']}")
    check(fields["Architecture"] == arch, f"Architecture: {fields['Architecture']}")
    check(fields["Maintainer"] != "", "no Maintainer")
    check("libc6" in fields["Depends"] and "libstdc++6" in fields["Depends"],
          f"Depends: {fields['Depends']!r}")
    check(fields["Description"].startswith("self-extracting setup launchers for Windows"),
          f"Description: {fields['Description'][:60]!r}")

    listing = run(["dpkg-deb", "-c", deb], "dpkg-deb -c").stdout.splitlines()
    found = {}
    for line in listing:
        parts = line.split(None, 5)
        if len(parts) < 6 or not parts[0].startswith("-"):
            continue
        check(parts[1] == "root/root", f"{parts[5]} owned by {parts[1]}")
        mode = 0
        for bit, char in zip(range(8, -1, -1), parts[0][1:10]):
            if char != "-":
                mode |= 1 << bit
        found[parts[5].removeprefix("./")] = mode
    expected = expected_files(args)
    check(set(found) == set(expected),
          f"package files: missing {sorted(set(expected) - set(found))}, "
          f"unexpected {sorted(set(found) - set(expected))}")
    for path, mode in expected.items():
        if path in found:
            check(found[path] == mode, f"{path}: mode {oct(found[path])}, not {oct(mode)}")
    return expected


def empty_dpkg_root(root):
    for sub in ("var/lib/dpkg/info", "var/lib/dpkg/updates", "var/log"):
        os.makedirs(os.path.join(root, sub), exist_ok=True)
    open(os.path.join(root, "var/lib/dpkg/status"), "w").close()


def check_installed(args, root, files):
    """The installed files, and a package made and run with them."""
    usr = os.path.join(root, "usr")
    for path in files:
        check(os.path.isfile(os.path.join(root, path)), f"/{path} was not installed")
    same = [("lib/sfxkit/sfxstub", args.native_stub),
            ("include/sfxkit_stamp.h", os.path.join(args.source, "include/sfxkit_stamp.h"))]
    for stub in (args.win64_stub, args.win32_stub):
        if stub:
            same.append(("lib/sfxkit/" + os.path.basename(stub), stub))
    for installed, built in same:
        if os.path.isfile(os.path.join(usr, installed)):
            check(read(os.path.join(usr, installed)) == read(built),
                  f"/usr/{installed} differs from {built}")
    man = os.path.join(usr, "share/man/man1/sfxkit.1.gz")
    if os.path.isfile(man):
        with gzip.open(man) as f:
            check(f.read() == read(os.path.join(args.source, "docs/sfxkit.1")),
                  "the installed manual page is not docs/sfxkit.1")

    sfxkit = os.path.join(usr, "bin/sfxkit")
    if not os.path.isfile(sfxkit):
        return
    version = run([sfxkit, "--version"], "installed sfxkit --version").stdout.strip()
    check(version == f"sfxkit {args.version}", f"installed sfxkit --version says {version!r}")

    work = os.path.join(args.workdir, "use")
    temp = os.path.join(work, "tmp")
    os.makedirs(temp)
    notes = os.path.join(work, "notes.txt")
    with open(notes, "w") as f:
        f.write("unpacked next to the setup program\n")
    stamp_file = os.path.join(work, "stamp.txt")
    with open(stamp_file, "w") as f:
        f.write("installed from the .deb")
    package = os.path.join(work, "package")
    if run([sfxkit, "pack", "-q", "-o", package, "--stub", os.path.join(usr, "lib/sfxkit/sfxstub"),
            "--tail", stamp_file, args.sample, notes], "installed sfxkit pack").returncode != 0:
        return
    run([sfxkit, "verify", package], "installed sfxkit verify")
    listing = run([sfxkit, "list", package], "installed sfxkit list").stdout
    check(os.path.basename(args.sample) in listing and "notes.txt" in listing
          and f"tail block: {len('installed from the .deb')} bytes" in listing,
          f"sfxkit list shows:\n{listing}")

    report = os.path.join(work, "report.txt")
    env = dict(os.environ, TMPDIR=temp, SFXKIT_REPORT=report, SFXSTUB_NO_WINDOW="1")
    run([package], "the package", env=env, cwd=work)
    if check(os.path.isfile(report), "the setup program did not run"):
        lines = read(report).decode("utf-8", "replace").splitlines()
        values = dict(line.split(": ", 1) for line in lines if ": " in line)
        seen = [line.split()[1] for line in lines if line.startswith("file: ")]
        check(os.path.realpath(values.get("cwd", "")) == os.path.realpath(temp),
              f"the setup program ran in {values.get('cwd')!r}, not in {temp}")
        check("notes.txt" in seen, f"the setup program saw {seen}")
        check(values.get("stamp") == "installed from the .deb", f"stamp {values.get('stamp')!r}")
    check(os.listdir(temp) == [], f"left in the temporary directory: {os.listdir(temp)}")

    for stub in (args.win64_stub, args.win32_stub):
        if stub:
            out = os.path.join(work, "package-" + os.path.basename(stub))
            installed = os.path.join(usr, "lib/sfxkit", os.path.basename(stub))
            if run([sfxkit, "pack", "-q", "-o", out, "--stub", installed, args.sample],
                   f"installed sfxkit pack --stub {installed}").returncode == 0:
                run([sfxkit, "verify", out], f"verify of the package with {installed}")


def dpkg_lists(query):
    """Whether dpkg knows sfxkit in any state but not-installed (half-installed included)."""
    done = subprocess.run(query + ["-W", "-f=${Status}", "sfxkit"], capture_output=True,
                          text=True)
    words = done.stdout.split()
    return done.returncode == 0 and bool(words) and words[-1] != "not-installed"


def installed_on_system():
    return dpkg_lists(["dpkg-query"])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for name in ("--build", "--source", "--version", "--sample", "--native-stub", "--workdir"):
        parser.add_argument(name, required=True)
    parser.add_argument("--win64-stub")
    parser.add_argument("--win32-stub")
    parser.add_argument("--doc", action="append", default=[],
                        help="a notes file from docs/ that is installed with the README")
    parser.add_argument("--system", action="store_true",
                        help="install into the real system (as root) instead of a scratch root")
    args = parser.parse_args()

    for tool in ("cpack", "dpkg", "dpkg-deb", "dpkg-query"):
        if not shutil.which(tool):
            print(f"skipped: {tool} is missing")
            return SKIP
    if args.system and os.geteuid() != 0:
        print("skipped: --system needs root")
        return SKIP

    shutil.rmtree(args.workdir, ignore_errors=True)
    os.makedirs(args.workdir)
    deb = build_deb(args, os.path.join(args.workdir, "out"))
    if deb is None:
        return 1
    files = check_deb(args, deb)

    if args.system:
        root = "/"
        dpkg = ["dpkg"]
        clashes = [path for path in files if os.path.lexists("/" + path)]
        if installed_on_system() or clashes:
            print(f"refused: sfxkit is installed already or its files exist: {clashes}",
                  file=sys.stderr)
            return 1
    else:
        root = os.path.join(args.workdir, "root")
        empty_dpkg_root(root)
        # The scratch database knows no packages, so the dependencies cannot be met there.
        dpkg = ["dpkg", f"--root={root}", f"--log={root}/var/log/dpkg.log", "--force-depends"]

    installed = False
    try:
        installed = run(dpkg + ["-i", deb], "dpkg -i").returncode == 0
        if installed:
            check_installed(args, root, files)
    finally:
        # Whatever happened, the package does not stay: also a half-installed one.
        if installed or (args.system and installed_on_system()):
            run(dpkg + ["-r", "sfxkit"], "dpkg -r")
    if installed:
        left = [path for path in files if os.path.lexists(os.path.join(root, path))]
        check(not left, f"left after dpkg -r: {left}")
        query = ["dpkg-query"] + ([] if args.system else [f"--root={root}"])
        check(not dpkg_lists(query), "dpkg still lists sfxkit after dpkg -r")
    if not args.system:
        shutil.rmtree(root, ignore_errors=True)

    return finish()


if __name__ == "__main__":
    sys.exit(main())
