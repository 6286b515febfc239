#!/usr/bin/env python3
"""Checks cortevane-admin's manual page against the program itself: every command the program
knows (from --help, all levels) has its own section in the page, naming every option the
program gives it, every global option is described, and the page describes no command the
program does not have. Serves the English page and its French translation alike.

Usage: manual_page.py CORTEVANE-ADMIN PAGE.1
"""
import re
import subprocess
import sys

SKIPPED = {"--help", "--version"}  # every command has them; the page describes them once


def help_text(admin, path):
    return subprocess.run([admin, *path, "--help"], check=True, capture_output=True,
                          text=True).stdout


def listing(text, heading):
    """The first words of the lines under `heading` ("Subcommands:", "Options:")."""
    lines = text.splitlines()
    if heading not in lines:
        return []
    words = []
    for line in lines[lines.index(heading) + 1:]:
        if not line.strip():
            break
        if line.startswith("  ") and not line.startswith("   "):
            words.append(line.split()[0])
    return words


def options(text):
    names = []
    for word in listing(text, "Options:"):
        names += [n for n in word.split(",") if n.startswith("--") and n not in SKIPPED]
    return names


def commands(admin, path=()):
    """{"file create": [options]} for every command that takes no subcommand."""
    text = help_text(admin, list(path))
    subs = listing(text, "Subcommands:")
    if path and not subs:
        return {" ".join(path): options(text)}
    found = {}
    for sub in subs:
        found.update(commands(admin, (*path, sub)))
    return found


def sections(page):
    """{title: text} of the page's .SS sections and .SH sections, escapes removed."""
    text = page.replace("\\-", "-").replace("\\e", "\\")
    found = {}
    for match in re.finditer(r'^\.S[SH] "?([^"\n]*)"?\n(.*?)(?=^\.S[SH] |\Z)', text, re.M | re.S):
        found[match.group(1)] = match.group(2)
    return found


def main(admin, page_path):
    with open(page_path, encoding="utf-8") as f:
        page = sections(f.read())
    problems = []
    described = {}
    for title, text in page.items():
        words = []
        for word in title.split():
            if not re.fullmatch(r"[a-z][a-z-]*", word):
                break
            words.append(word)
        if words and title != title.upper():
            described[" ".join(words)] = title + "\n" + text
    known = commands(admin)
    for command, opts in known.items():
        if command not in described:
            problems.append(f"no section for the command \"{command}\"")
            continue
        for opt in opts:
            if opt not in described[command]:
                problems.append(f"\"{command}\": option {opt} not described")
    for command in described:
        if command not in known:
            problems.append(f"section \"{command}\" describes no command of the program")
    # The English page's title, or the French page's.
    global_text = page.get("GLOBAL OPTIONS", page.get("OPTIONS GÉNÉRALES", ""))
    for opt in options(help_text(admin, [])) + ["--version", "--help"]:
        if opt not in global_text:
            problems.append(f"global option {opt} not described")
    for p in problems:
        print(p)
    print(f"{len(known)} commands checked")
    return 1 if problems else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
