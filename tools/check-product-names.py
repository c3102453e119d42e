#!/usr/bin/env python3
"""Fails when a tracked text file names the commercial simulator's product or
its maker: the project says "the commercial simulator" instead. Names that the
simulator's interface fixes (modules, classes, keywords) are allowed.

The names are not written here. Every candidate word of every line is hashed
(SHA-256 of its UTF-8 bytes) and compared with NAME_HASHES. Normalising a line:
  1. case-folded (str.casefold);
  2. trademark marks deleted: the registered and trade mark signs, "(r)",
     "(tm)", and the replacement character that an undecodable mark byte
     becomes;
  3. split into words at every character that is not a letter, a digit or "_"
     (so "_" joins interface identifiers into one word, and they pass).
Candidates are each word, each pair of neighbouring words that one slash,
blank, dot or hyphen separates, run together (a name written with such a
separator, or with a mark, in its middle), and each word without its trailing
digits (a name with a release number appended), except the start-up module
names in INTERFACE_WORDS. A file is scanned whole first and line by line only
when it holds a name, which keeps the run over large data files short.

Usage: check-product-names.py [--root DIR] [FILE ...]
Without FILE arguments, checks the files git tracks under DIR (default: this
repository). Binary files (holding a NUL byte) are skipped. Exit status 1 when
a file names them, listing file, line and word.
"""

import argparse
import hashlib
import re
import subprocess
import sys
from pathlib import Path

NAME_HASHES = frozenset({
    "d5f1430e808d6742b6d0aa4903044f290cb0229544aeb1b64bcc748ea0f43003",
    "30e363d3e8c59f2c1319f8d73d48e3ad26db5e087951a4d7ab809c6f5401aea8",
    "436a4d345640f1b4333dd5730bb58a2974dce201b19349e95da634ccd5891b32",
    "97307a5f89111ecaaa65b9be1a5e8a2218a4ac18f2053ae2705a4c2b6929a937",
})

# Start-up modules of the interface: a name followed by a release, kept as the
# interface spells them.
INTERFACE_WORDS = frozenset({"psse34", "psse3505", "psse3601", "psse3602"})

MARKS = re.compile(r"\u00ae|\u2122|\(r\)|\(tm\)|\ufffd")
WORD = re.compile(r"\w+")
# Two words with one separator between them, found overlapping by the lookahead.
JOINED_PAIR = re.compile(r"(?=\b(\w+)[/ .-](\w+))")
TRAILING_DIGITS = re.compile(r"\d+$")

def _is_name(candidate: str) -> bool:
    return hashlib.sha256(candidate.encode("utf-8")).hexdigest() in NAME_HASHES


def names_in(text: str) -> list[str]:
    """The distinct candidate words of a text that are a name, sorted."""
    normalised = MARKS.sub("", text.casefold())
    words = set(WORD.findall(normalised))
    candidates = words | {first + second for first, second in JOINED_PAIR.findall(normalised)}
    candidates |= {TRAILING_DIGITS.sub("", word) for word in words
                   if word[-1:].isdigit() and word not in INTERFACE_WORDS}
    return sorted(candidate for candidate in candidates if _is_name(candidate))


def findings_in_file(path: Path, shown_as: str) -> list[str]:
    data = path.read_bytes()
    if b"\0" in data:
        return []
    text = data.decode("utf-8", errors="replace")
    if not names_in(text):
        return []
    return [f"{shown_as}:{number}: names the commercial simulator or its maker ({', '.join(found)})"
            for number, line in enumerate(text.splitlines(), start=1)
            if (found := names_in(line))]


def tracked_files(root: Path) -> list[Path]:
    listing = subprocess.run(["git", "-C", str(root), "ls-files", "-z"], capture_output=True, check=True).stdout
    return [root / name for name in listing.decode("utf-8").split("\0") if name]


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--root", type=Path, default=Path(__file__).resolve().parent.parent)
    parser.add_argument("files", nargs="*", type=Path)
    args = parser.parse_args(argv)
    files = args.files or [path for path in tracked_files(args.root) if path.is_file()]
    findings = []
    for path in files:
        shown_as = str(path.relative_to(args.root)) if path.is_relative_to(args.root) else str(path)
        findings += findings_in_file(path, shown_as)
    for finding in findings:
        print(finding)
    if findings:
        print(f"{len(findings)} line(s) name the commercial simulator or its maker; say \"the commercial "
              "simulator\" instead", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
