#!/usr/bin/env python3
"""Checks the manual page against the program's own help, so that the two cannot drift apart.

  man_page_check.py SFXKIT MANPAGE

From `sfxkit --help` and every `sfxkit COMMAND --help` it takes the commands, each command's
options (every name: -o and --output), their value names (OUT) and fixed values (auto, 0, ...,
and the words of FILE|native|win32|win64), and the positionals. In the manual page every command
has a subsection (.SS) under COMMANDS whose entries (.TP) name exactly that command's options and
positionals, with the value names in the entry's tag and every fixed value in its text; the
global options are the entries of OPTIONS; the SYNOPSIS names every option of every command; the
exit statuses of the help's footer are the entries of EXIT STATUS; the title line carries the
version that --version prints. groff, when installed, must render the page without a warning.
Exits 0 when all holds, 1 with one line per difference otherwise.
"""
import re
import shutil
import subprocess
import sys

problems = []


def problem(text):
    problems.append(text)
    print(f"FAILED: {text}", file=sys.stderr)


# ---- the program's help ----------------------------------------------------------------------

def run_help(sfxkit, *args):
    done = subprocess.run([sfxkit, *args, "--help"], capture_output=True, text=True, timeout=60)
    if done.returncode != 0:
        problem(f"sfxkit {' '.join(args)} --help: exit status {done.returncode}")
    return done.stdout


def help_sections(text):
    """{'Options': [lines], 'Positionals': [...], 'Subcommands': [...], 'footer': [...]}."""
    sections, current = {"footer": []}, None
    for line in text.splitlines():
        heading = re.fullmatch(r"(\w+):", line)
        if heading:
            current = heading.group(1)
            sections[current] = []
        elif current and line.startswith("  "):
            sections[current].append(line)
        elif line.strip():
            current = None
            sections["footer"].append(line)
    return sections


class HelpOption:
    def __init__(self, names, value, choices):
        self.names = names  # ['-o', '--output']
        self.value = value  # 'OUT', or None for a flag
        self.choices = choices  # fixed values the option takes

    def label(self):
        return ",".join(self.names)


def parse_option(line):
    """'  -m,--method M:{auto,0,1} REQUIRED   text' -> HelpOption."""
    fields = line.strip().split("  ")[0].split()
    names = fields[0].split(",")
    value, choices = None, []
    if len(fields) > 1 and fields[1] != "REQUIRED":
        value = fields[1]
        listed = re.fullmatch(r"([^:]*):\{(.*)\}", value)
        if listed:
            value, choices = listed.group(1), listed.group(2).split(",")
        elif "|" in value:
            words = value.split("|")
            value = words[0]
            choices = [w for w in words[1:]]
    return HelpOption(names, value, choices)


def command_help(sfxkit, *command):
    sections = help_sections(run_help(sfxkit, *command))
    options = [parse_option(line) for line in sections.get("Options", [])
               if line.startswith("  -")]
    positionals = [line.split()[0] for line in sections.get("Positionals", [])
                   if line.startswith("  ") and not line.startswith("   ")]
    return sections, options, positionals


# ---- the manual page -------------------------------------------------------------------------

def plain(roff):
    """Text of one roff line without its macro, quotes, font changes and escapes."""
    text = re.sub(r"^\.\w+\s*", "", roff)
    text = re.sub(r"\\f[BIRP]", "", text)
    text = text.replace("\\-", "-").replace("\\(lq", '"').replace("\\(rq", '"')
    text = text.replace("\\e", "\\").replace('"', "")
    return text


class ManEntry:
    def __init__(self, tag):
        self.tag = plain(tag)
        self.body = []

    def names(self):
        return re.findall(r"(?<![\w-])--?[A-Za-z][\w-]*", self.tag)

    def text(self):
        return " ".join(plain(line) for line in self.body)


def man_structure(path):
    """{section: {subsection or '': {'entries': [ManEntry], 'lines': [roff lines]}}}."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    sections = {}
    section = sub = None
    entry = None
    take_tag = False
    title = None
    for line in lines:
        if line.startswith('.\\"'):
            continue
        if line.startswith(".TH "):
            title = line
            continue
        m = re.match(r"\.SH\s+(.*)", line)
        if m:
            section, sub, entry = m.group(1).strip('"'), "", None
            sections.setdefault(section, {})[sub] = {"entries": [], "lines": []}
            continue
        m = re.match(r"\.SS\s+(.*)", line)
        if m and section:
            sub, entry = m.group(1).strip('"'), None
            sections[section][sub] = {"entries": [], "lines": []}
            continue
        if section is None:
            continue
        part = sections[section][sub]
        part["lines"].append(line)
        if line.startswith(".TP"):
            take_tag = True
            continue
        if take_tag:
            entry = ManEntry(line)
            part["entries"].append(entry)
            take_tag = False
            continue
        if re.match(r"\.(PP|P|LP|RS|SS|SH)\b", line):
            entry = None
        if entry is not None:
            entry.body.append(line)
    return title, sections


def word_in(word, text):
    return re.search(r"(?<![\w.-])" + re.escape(word) + r"(?![\w-])", text) is not None


def check_entries(where, options, positionals, entries):
    """Every option and positional of the help has an entry in the man page part, and back."""
    help_names = {name for option in options for name in option.names}
    man_names = {name for entry in entries for name in entry.names()}
    for name in sorted(help_names - man_names):
        problem(f"{where}: {name} is in --help but not in the manual page")
    for name in sorted(man_names - help_names):
        problem(f"{where}: {name} is in the manual page but not in --help")

    by_name = {name: entry for entry in entries for name in entry.names()}
    for option in options:
        entry = next((by_name[n] for n in option.names if n in by_name), None)
        if entry is None:
            continue
        together = set(option.names) - set(entry.names())
        if together:
            problem(f"{where}: {option.label()}: the manual page's entry lacks {sorted(together)}")
        if option.value and not word_in(option.value, entry.tag):
            problem(f"{where}: {option.label()}: value name {option.value} not in the entry "
                    f"'{entry.tag}'")
        for choice in option.choices:
            if not (word_in(choice, entry.text()) or word_in(choice, entry.tag)):
                problem(f"{where}: {option.label()}: the value {choice} is not described")

    man_positionals = [entry.tag.split()[0] for entry in entries
                       if not entry.names() and entry.tag.split()]
    for name in positionals:
        if name not in man_positionals:
            problem(f"{where}: positional {name} has no entry in the manual page")
    for name in man_positionals:
        if name not in positionals and not re.fullmatch(r"\d+", name):
            problem(f"{where}: the manual page's entry {name} is not a positional of --help")


def synopsis_blocks(lines):
    """SYNOPSIS roff lines split at .br: {command or '': text}."""
    blocks, current = {}, []
    for line in lines + [".br"]:
        if line.startswith(".br"):
            text = " ".join(plain(l) for l in current)
            words = text.split()
            key = words[1] if len(words) > 1 and words[0] == "sfxkit" else ""
            blocks[key] = blocks.get(key, "") + " " + text
            current = []
        else:
            current.append(line)
    return blocks


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    sfxkit, man_page = sys.argv[1:]
    title, man = man_structure(man_page)

    top, global_options, _ = command_help(sfxkit)
    commands = [line.split()[0] for line in top.get("Subcommands", [])]
    if not commands:
        problem("sfxkit --help lists no commands")

    man_commands = [name for name in man.get("COMMANDS", {}) if name]
    for name in commands:
        if name not in man_commands:
            problem(f"command {name}: no subsection under COMMANDS")
    for name in man_commands:
        if name not in commands:
            problem(f"the manual page's command {name} is not in sfxkit --help")

    check_entries("sfxkit", global_options, [],
                  man.get("OPTIONS", {}).get("", {}).get("entries", []))

    synopsis = synopsis_blocks(man.get("SYNOPSIS", {}).get("", {}).get("lines", []))
    for name in commands:
        _, options, positionals = command_help(sfxkit, name)
        part = man.get("COMMANDS", {}).get(name)
        if part is None:
            continue
        check_entries(f"sfxkit {name}", options, positionals, part["entries"])
        line = synopsis.get(name)
        if line is None:
            problem(f"SYNOPSIS: no line for sfxkit {name}")
            continue
        for option in options:
            if option.names == ["-h", "--help"]:
                continue
            if not any(word_in(n, line) for n in option.names):
                problem(f"SYNOPSIS: sfxkit {name} lacks {option.label()}")
        for positional in positionals:
            if not word_in(positional, line):
                problem(f"SYNOPSIS: sfxkit {name} lacks {positional}")

    # Exit statuses: the footer's "Exit status: 0 on ..., 1 when ..., 2 for ...".
    footer = " ".join(top.get("footer", []))
    stated = re.search(r"Exit status:(.*?)\.(\s|$)", footer)
    help_codes = re.findall(r"\b(\d+) (?:on|when|for|if)\b", stated.group(1)) if stated else []
    if not help_codes:
        problem("sfxkit --help states no exit status")
    man_codes = [e.tag.strip() for e in
                 man.get("EXIT STATUS", {}).get("", {}).get("entries", [])]
    if sorted(help_codes) != sorted(man_codes):
        problem(f"exit statuses: --help says {help_codes}, the manual page {man_codes}")

    version = subprocess.run([sfxkit, "--version"], capture_output=True, text=True,
                             timeout=60).stdout.strip()
    if not title or f'"{version}"' not in title:
        problem(f"the title line {title!r} does not carry the version {version!r}")

    if shutil.which("groff"):
        lint = subprocess.run(["groff", "-man", "-ww", "-z", man_page], capture_output=True,
                              text=True, timeout=60)
        if lint.returncode != 0 or lint.stderr.strip():
            problem(f"groff warns about the manual page:\n{lint.stderr.strip()}")
    else:
        print("note: groff is missing, the page's roff was not checked")

    print("failed" if problems else "passed")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
