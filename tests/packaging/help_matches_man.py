#!/usr/bin/env python3
"""Fails when a program's --help, its man page and, for b6409ctl, the bash completion do not
name the same long options.

    help_matches_man.py PROGRAM MAN_SOURCE [COMPLETION]

The man page's options are the terms of its OPTIONS section; the completion's are its
`local options="..."` line.
"""
import re
import subprocess
import sys

OPTION = re.compile(r"(?<![\w-])--[a-z][a-z0-9-]*")


def help_options(program):
    text = subprocess.run([program, "--help"], capture_output=True, text=True, check=True,
                          timeout=30).stdout
    return set(OPTION.findall(text))


def man_options(source):
    options, in_section = set(), False
    with open(source, encoding="utf-8") as page:
        for line in page:
            if line.startswith("# "):
                in_section = line.strip() == "# OPTIONS"
            elif in_section and line.startswith("*-"):
                options.update(OPTION.findall(line))
    return options


def completion_options(script):
    with open(script, encoding="utf-8") as text:
        match = re.search(r'local options="([^"]*)"', text.read())
    return set(OPTION.findall(match.group(1))) if match else set()


def main():
    program, man_source = sys.argv[1], sys.argv[2]
    sources = {"--help": help_options(program), man_source: man_options(man_source)}
    if len(sys.argv) > 3:
        sources[sys.argv[3]] = completion_options(sys.argv[3])
    every = set().union(*sources.values())
    failed = False
    for name, options in sources.items():
        missing = sorted(every - options)
        if missing:
            print(f"{program}: {name} lacks {' '.join(missing)}")
            failed = True
    if not failed:
        print(f"{program}: {len(every)} options agree: {' '.join(sorted(every))}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
