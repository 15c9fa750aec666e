#!/usr/bin/env python3
"""Authenticode-signed packages: signed after sfxkit pack with osslsigncode and a test certificate.

  signing_test.py static SFXKIT STUB SAMPLE WORKDIR   layout, list, verify, extract, stamp
  signing_test.py wine   SFXKIT STUB SAMPLE WORKDIR   the signed packages run under Wine

STUB is the 64-bit Windows stub, SAMPLE the sample setup program built for Windows.

static, for tail blocks of 0, 3, 5, 100 and 250 bytes: the signature verifies; signing changed
only the PE checksum and the certificate table entry of the package's bytes and appended zeros
up to a multiple of 8 and then the WIN_CERTIFICATE, which ends the file; sfxkit verify accepts
the signed package and sfxkit list shows the same entries with the tail block grown by the zeros
and the certificate; extracting stamps the setup program with the first 100 bytes of that tail
block, so a package whose tail block is shorter than 100 bytes gets a different stamp once
signed, and one with 100 bytes or more the same. sfxkit stamp on a signed package warns, drops
the signature and keeps the stub byte for byte (stale certificate table entry included); on an
unsigned one it does not warn. Removing the signature, stamping and signing again gives a package
that verifies both ways. A signed stub is refused by sfxkit pack. A package with the 32-bit stub (PE32) signs, verifies and gets
the warning alike.

wine: a signed package (3-byte tail) runs: the setup program sees its files and the stamp that
extraction predicts (the tail, then the signature's first bytes); a package whose tail file was
padded with zeros to 100 bytes is stamped exactly with the tail file; a signed package stamped
afterwards (signature dropped, stale certificate table entry) still runs with its new stamp.
Nothing is left in Wine's temporary directory (the prefix's own: Wine takes it from the prefix's
registry, not from TEMP or TMPDIR).

Exits 77 (skipped) when openssl or osslsigncode (or, for wine, Wine) are missing, 1 on a failed
check.
"""
import getpass
import os
import shutil
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(os.path.dirname(HERE))
WINE_RUN = os.path.join(SOURCE_DIR, "cmake", "wine-run")
MARKER = bytes.fromhex(
    "5EBBF64FE79FDB78F6DCCBCFBCF8E6F6C54BF87165FBE6C5804FAE6FFFEFB7767EFED2B957AE5DBDB97DF5E6FA"
    "4FDFB9BE7D")
SLOT = 100
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "support"))
from script_checks import SKIP, check, finish  # noqa: E402


def run(args, env=None):
    return subprocess.run(args, capture_output=True, env=env, timeout=300)


def must(args, what):
    done = run(args)
    if not check(done.returncode == 0, f"{what}: exit status {done.returncode}"):
        sys.stderr.write(done.stdout.decode(errors="replace") + done.stderr.decode(errors="replace"))
    return done


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)
    return path


class Signer:
    def __init__(self, workdir):
        self.cert = os.path.join(workdir, "cert.pem")
        self.key = os.path.join(workdir, "key.pem")
        must(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", self.key,
              "-out", self.cert, "-days", "2", "-subj", "/CN=sfxkit test signer",
              "-addext", "extendedKeyUsage=codeSigning"], "openssl req")

    def sign(self, src, dst):
        if os.path.exists(dst):
            os.remove(dst)
        must(["osslsigncode", "sign", "-certs", self.cert, "-key", self.key, "-n", "sfxkit test",
              "-in", src, "-out", dst], f"osslsigncode sign {os.path.basename(src)}")
        return dst

    def verifies(self, path):
        return run(["osslsigncode", "verify", "-CAfile", self.cert, "-in", path]).returncode == 0


def pe_fields(data):
    """(checksum field offset, certificate table entry offset, its file offset, its size)."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    entry = optional + (112 if magic == 0x20B else 96) + 4 * 8
    offset, size = struct.unpack_from("<II", data, entry)
    return optional + 64, entry, offset, size


def pack(sfxkit, stub, sample, notes, out, tail=None):
    args = [sfxkit, "pack", "-q", "-o", out, "--stub", stub]
    if tail is not None:
        args += ["--tail", tail]
    must(args + [sample, notes], f"sfxkit pack {os.path.basename(out)}")
    return out


def list_lines(sfxkit, package):
    lines = must([sfxkit, "list", package], f"sfxkit list {package}").stdout.decode().splitlines()
    return lines[:-1], lines[-1] if lines else ""


def stamped(program, stamp):
    """program with stamp copied behind the first marker that has more than 100 bytes after it."""
    m = program.find(MARKER)
    while m >= 0 and len(program) - (m + len(MARKER)) <= SLOT:
        m = program.find(MARKER, m + 1)
    if m < 0:
        return program
    at = m + len(MARKER)
    return program[:at] + stamp + program[at + len(stamp):]


def extracted_setup(sfxkit, package, directory, name):
    shutil.rmtree(directory, ignore_errors=True)
    os.makedirs(directory)
    must([sfxkit, "extract", package, "-C", directory], f"sfxkit extract {package}")
    path = os.path.join(directory, name)
    return read(path) if os.path.exists(path) else b""


def test_static(sfxkit, stub, sample, workdir):
    signer = Signer(workdir)
    notes = write(os.path.join(workdir, "notes.txt"), b"unpacked next to the setup program\r\n")
    program = read(sample)
    setup_name = os.path.basename(sample)

    for length in (0, 3, 5, 100, 250):
        what = f"tail of {length} bytes"
        tail = bytes((i * 7 + 1) % 251 + 1 for i in range(length))
        tail_file = write(os.path.join(workdir, f"tail{length}.bin"), tail) if length else None
        package = pack(sfxkit, stub, sample, notes, os.path.join(workdir, f"p{length}.exe"),
                       tail_file)
        signed = signer.sign(package, os.path.join(workdir, f"s{length}.exe"))
        before, after = read(package), read(signed)
        check(signer.verifies(signed), f"{what}: the signature does not verify")

        # Only the checksum and the certificate table entry change; then zeros to a multiple of
        # 8, then the WIN_CERTIFICATE (length, revision 2.0, PKCS#7), up to the end of the file.
        checksum, entry, offset, size = pe_fields(after)
        changed = {i for i in range(len(before)) if before[i] != after[i]}
        allowed = set(range(checksum, checksum + 4)) | set(range(entry, entry + 8))
        check(changed <= allowed, f"{what}: signing changed bytes {sorted(changed - allowed)[:8]}")
        check(offset == (len(before) + 7) // 8 * 8, f"{what}: certificate at {offset}")
        check(after[len(before):offset] == bytes(offset - len(before)),
              f"{what}: the alignment bytes are not zeros")
        check(offset + size == len(after), f"{what}: the certificate does not end the file")
        check(struct.unpack_from("<IHH", after, offset) == (size, 0x0200, 2),
              f"{what}: no WIN_CERTIFICATE at the certificate table entry")

        must([sfxkit, "verify", signed], f"{what}: sfxkit verify of the signed package")
        entries_before, tail_before = list_lines(sfxkit, package)
        entries_after, tail_after = list_lines(sfxkit, signed)
        check(entries_after == entries_before, f"{what}: sfxkit list shows other entries")
        check(tail_before == f"tail block: {length} bytes", f"{what}: {tail_before!r}")
        tail_block = after[len(before) - length:]
        check(tail_after == f"tail block: {len(tail_block)} bytes",
              f"{what}: signed: {tail_after!r}, expected {len(tail_block)} bytes")

        # The stamp: the first 100 bytes of the tail block, which now holds the signature.
        setup_signed = extracted_setup(sfxkit, signed, os.path.join(workdir, "x-signed"),
                                       setup_name)
        setup_plain = extracted_setup(sfxkit, package, os.path.join(workdir, "x-plain"),
                                      setup_name)
        check(setup_signed == stamped(program, tail_block[:SLOT]),
              f"{what}: the signed package's setup program is not stamped with the first 100 "
              "bytes of the tail block")
        if length >= SLOT:
            check(setup_signed == setup_plain, f"{what}: signing changed the stamp")
        else:
            check(setup_signed != setup_plain, f"{what}: signing left the short stamp alone")

        # sfxkit stamp: a warning, the signature dropped, the stub kept (stale entry included).
        new_tail = write(os.path.join(workdir, "new-tail.txt"), b"restamped")
        restamped = os.path.join(workdir, f"r{length}.exe")
        done = must([sfxkit, "stamp", signed, "--tail", new_tail, "-o", restamped],
                    f"{what}: sfxkit stamp of the signed package")
        check(b"Authenticode-signed" in done.stderr,
              f"{what}: no warning from sfxkit stamp: {done.stderr!r}")
        kept = len(before) - length
        check(read(restamped) == after[:kept] + b"restamped",
              f"{what}: sfxkit stamp did not keep the stub and archive and replace the rest")
        check(not signer.verifies(restamped), f"{what}: the restamped package still verifies")
        done = must([sfxkit, "stamp", package, "--tail", new_tail, "-o", restamped],
                    f"{what}: sfxkit stamp of the unsigned package")
        check(b"Authenticode" not in done.stderr, f"{what}: unsigned package warned about")

    # The way to re-stamp a signed package: remove the signature, stamp, sign again.
    unsigned = os.path.join(workdir, "unsigned.exe")
    must(["osslsigncode", "remove-signature", "-in", os.path.join(workdir, "s3.exe"), "-out",
          unsigned], "osslsigncode remove-signature")
    restamped = os.path.join(workdir, "restamped.exe")
    done = must([sfxkit, "stamp", unsigned, "--tail", os.path.join(workdir, "new-tail.txt"),
                 "-o", restamped], "sfxkit stamp after remove-signature")
    check(b"Authenticode" not in done.stderr, "warned after remove-signature")
    resigned = signer.sign(restamped, os.path.join(workdir, "resigned.exe"))
    check(signer.verifies(resigned), "the re-signed package does not verify")
    must([sfxkit, "verify", resigned], "sfxkit verify of the re-signed package")
    # Zeros and the certificate follow the new tail block, which is whole.
    data, plain = read(resigned), read(restamped)
    _, _, offset, size = pe_fields(data)
    check(data[len(plain) - len(b"restamped"):len(plain)] == b"restamped"
          and offset + size == len(data),
          "the re-signed package lost its new tail block")
    check(list_lines(sfxkit, resigned)[1] == f"tail block: {len(data) - len(plain) + 9} bytes",
          "sfxkit list: the re-signed package's tail block")

    # The 32-bit stub (a PE32 header): signed and stamped the same way.
    package = pack(sfxkit, "win32", sample, notes, os.path.join(workdir, "p32.exe"))
    signed = signer.sign(package, os.path.join(workdir, "s32.exe"))
    check(signer.verifies(signed), "win32 stub: the signature does not verify")
    must([sfxkit, "verify", signed], "win32 stub: sfxkit verify of the signed package")
    done = must([sfxkit, "stamp", signed, "--tail", os.path.join(workdir, "new-tail.txt"), "-o",
                 os.path.join(workdir, "r32.exe")], "win32 stub: sfxkit stamp")
    check(b"Authenticode-signed" in done.stderr, "win32 stub: no warning from sfxkit stamp")

    # A signed stub no longer holds its own size as its payload offset.
    signed_stub = signer.sign(stub, os.path.join(workdir, "signed-stub.exe"))
    done = run([sfxkit, "pack", "-q", "-o", os.path.join(workdir, "from-signed-stub.exe"),
                "--stub", signed_stub, sample])
    check(done.returncode == 1 and b"payload offset" in done.stderr,
          f"sfxkit pack took a signed stub: {done.returncode} {done.stderr!r}")


# ---- under Wine ------------------------------------------------------------------------------

def prefix():
    return os.environ.get("SFXKIT_WINEPREFIX", os.path.join(SOURCE_DIR, "build", "wineprefix"))


def wine_temp_dir():
    return os.path.join(prefix(), "drive_c", "users", getpass.getuser(), "Temp")


def windows_path(host):
    return "Z:" + os.path.abspath(host).replace("/", "\\")


def stamp_text(stamp):
    """The sample setup program's rendering of its slot: up to the first NUL, escaped."""
    slot = stamp + bytes(SLOT - len(stamp))
    text = ""
    for byte in slot:
        if byte == 0:
            break
        text += chr(byte) if 0x20 <= byte < 0x7F and byte != 0x5C else f"\\x{byte:02x}"
    return text


def run_under_wine(package, workdir, names):
    """Runs the package; returns the setup program's report as {key: value} and its files."""
    report = os.path.join(workdir, "report.txt")
    if os.path.exists(report):
        os.remove(report)
    for name in names:
        try:
            os.remove(os.path.join(wine_temp_dir(), name))
        except OSError:
            pass
    env = dict(os.environ, WINEDEBUG="-all", SFXKIT_REPORT=windows_path(report))
    env.pop("DISPLAY", None)
    done = subprocess.run([WINE_RUN, package], env=env, timeout=300, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL)
    what = os.path.basename(package)
    check(done.returncode == 0, f"{what}: exit code {done.returncode}")
    left = [n for n in names if os.path.exists(os.path.join(wine_temp_dir(), n))]
    check(not left, f"{what}: left in the temporary directory: {left}")
    if not check(os.path.exists(report), f"{what}: the setup program did not run"):
        return {}, []
    values, files = {}, []
    for line in read(report).decode("utf-8", "replace").splitlines():
        key, _, value = line.partition(": ")
        if key == "file":
            files.append(value.split(" ")[0])
        else:
            values[key] = value
    return values, files


def test_wine(sfxkit, stub, sample, workdir):
    signer = Signer(workdir)
    notes = write(os.path.join(workdir, "notes.txt"), b"unpacked next to the setup program\r\n")
    names = ["setup.exe", "notes.txt"]

    # A short stamp: the setup program finds the signature's first bytes behind it.
    short = write(os.path.join(workdir, "short.txt"), b"abc")
    package = pack(sfxkit, stub, sample, notes, os.path.join(workdir, "short.exe"), short)
    signed = signer.sign(package, os.path.join(workdir, "short-signed.exe"))
    tail_block = read(signed)[len(read(package)) - 3:]
    values, files = run_under_wine(signed, workdir, names)
    print(f"short-signed.exe: the setup program reports the stamp {values.get('stamp')!r}")
    check(set(names) <= set(files), f"short-signed.exe: the setup program saw {files}")
    check(values.get("stamp") == stamp_text(tail_block[:SLOT]),
          f"short-signed.exe: stamp {values.get('stamp')!r}, expected "
          f"{stamp_text(tail_block[:SLOT])!r}")

    # A stamp file padded with zeros to 100 bytes: the signature stays out of the slot.
    padded = write(os.path.join(workdir, "padded.txt"), b"customer 42".ljust(SLOT, b"\0"))
    package = pack(sfxkit, stub, sample, notes, os.path.join(workdir, "padded.exe"), padded)
    signed = signer.sign(package, os.path.join(workdir, "padded-signed.exe"))
    values, _ = run_under_wine(signed, workdir, names)
    check(values.get("stamp") == "customer 42", f"padded-signed.exe: stamp {values.get('stamp')!r}")

    # Stamped after signing: the signature is gone, the stale entry stays, the package runs.
    new_tail = write(os.path.join(workdir, "new.txt"), b"stamped later")
    restamped = os.path.join(workdir, "restamped.exe")
    must([sfxkit, "stamp", signed, "--tail", new_tail, "-o", restamped], "sfxkit stamp")
    _, _, offset, size = pe_fields(read(restamped))
    check(size != 0, "restamped.exe: the certificate table entry was cleared")
    values, _ = run_under_wine(restamped, workdir, names)
    check(values.get("stamp") == "stamped later", f"restamped.exe: stamp {values.get('stamp')!r}")


def main():
    if len(sys.argv) != 6 or sys.argv[1] not in ("static", "wine"):
        print(__doc__, file=sys.stderr)
        return 2
    mode, sfxkit, stub, sample, workdir = sys.argv[1:]
    for tool in ("openssl", "osslsigncode"):
        if not shutil.which(tool):
            print(f"skipped: {tool} is missing")
            return SKIP
    if mode == "wine" and not os.path.exists("/usr/lib/wine/wine64"):
        print("skipped: wine64 is missing")
        return SKIP
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    (test_static if mode == "static" else test_wine)(sfxkit, stub, sample, workdir)
    return finish()


if __name__ == "__main__":
    sys.exit(main())
