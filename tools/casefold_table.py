#!/usr/bin/env python3
"""Prints the range table of src/BSM/CaseFold.cpp: Unicode simple case folding (the C and S
mappings) of every code point above ASCII, from this Python's Unicode data."""
import sys
import unicodedata


def simple_fold(c):
    ch = chr(c)
    full = ch.casefold()
    if len(full) == 1:
        return ord(full)
    # Where full folding expands (U+1E9E to "ss"), the simple mapping is the one-character lowercase.
    lower = ch.lower()
    return ord(lower) if len(lower) == 1 else c


fold = {}
for c in range(0x80, 0x110000):
    if not 0xD800 <= c <= 0xDFFF and simple_fold(c) != c:
        fold[c] = simple_fold(c) - c

# Runs of equal offsets, every code point (step 1) or every other one (step 2, upper/lower pairs).
# A step-2 run never spans a mapped code point of another run.
runs = []
covered = set()
for c in sorted(fold):
    if c in covered:
        continue
    d = fold[c]
    n, step = 1, 1
    if fold.get(c + 1) == d:
        while fold.get(c + n) == d:
            n += 1
    elif c + 1 not in fold and fold.get(c + 2) == d:
        step = 2
        while fold.get(c + 2 * n) == d and c + 2 * n - 1 not in fold:
            n += 1
    covered.update(range(c, c + n * step, step))
    runs.append((c, n, step, d))

print("// Unicode %s, %d runs." % (unicodedata.unidata_version, len(runs)))
line = "   "
for r in runs:
    item = " {0x%04X, %d, %d, %d}," % r
    if len(line) + len(item) > 112:
        print(line)
        line = "   "
    line += item
print(line)
