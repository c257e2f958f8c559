#!/usr/bin/env python3
"""Checks the files a rebuilder wrote against the manifest of make_http_capture.

    check_bodies.py DIR MANIFEST [--show N]

Every 200 and 206 body of the manifest must be present exactly once among the regular
files under DIR, compared by SHA-256 of the whole file. A file whose name holds
" (incomplete)" satisfies no body and counts as a failure. A body that is absent is
"wrong" when some other file carries the same source and destination addresses at the
start of its name (File Mode's "%SIP-%DIP-%DAT" names), so it was written but differs, and
"missing" otherwise. Other files (requests, 404 pages, headers) are counted and allowed.

Prints one summary line (and the first N failing manifest rows); exit status 0 when every
body is there exactly once and no file is incomplete, 1 otherwise, 2 on bad arguments.
"""
import argparse
import collections
import hashlib
import os
import re
import sys

STORED_STATUSES = {"200", "206"}
ADDRESS_PAIR = re.compile(r"^(\d+\.\d+\.\d+\.\d+)-(\d+\.\d+\.\d+\.\d+)-")


def read_manifest(path):
    """The rows of stored bodies: dicts with kind, status, source, dest, length, sha256."""
    rows = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if line.startswith("#") or not line.strip():
                continue
            fields = line.rstrip("\n").split("\t")
            if len(fields) < 6:
                raise ValueError(f"{path}:{number}: expected at least 6 tab-separated fields")
            kind, status, source, dest, length, digest = fields[:6]
            if status in STORED_STATUSES:
                rows.append({"kind": kind, "status": status, "source": source, "dest": dest,
                             "length": int(length), "sha256": digest.lower(), "line": number})
    return rows


def file_digest(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        while chunk := f.read(1 << 20):
            h.update(chunk)
    return h.hexdigest()


def check(directory, rows):
    """Counts per outcome, and the failing (outcome, row) pairs."""
    groups = collections.defaultdict(list)  # sha256 -> rows (equal bodies share one)
    for row in rows:
        groups[row["sha256"]].append(row)
    lengths = {row["length"] for row in rows}
    found = collections.Counter()  # sha256 -> complete files holding it
    counts = collections.Counter(expected=len(rows))
    other_pairs = set()  # (source, dest) named by files that hold no body
    for root, _, names in os.walk(directory):
        for name in names:
            path = os.path.join(root, name)
            if os.path.islink(path) or not os.path.isfile(path):
                continue
            if " (incomplete)" in name:
                counts["incomplete_files"] += 1
                continue
            # Only a file of some body's length can hold that body: the others need no hash.
            digest = file_digest(path) if os.path.getsize(path) in lengths else None
            if digest in groups:
                found[digest] += 1
                continue
            counts["other_files"] += 1
            pair = ADDRESS_PAIR.match(name)
            if pair:
                other_pairs.add(pair.groups())

    failing = []
    for digest, group in groups.items():
        n = found[digest]
        if n > len(group):
            failing += [("duplicated", row) for row in group]
            continue
        counts["present"] += n
        for row in group[n:]:
            failing.append(("wrong" if (row["source"], row["dest"]) in other_pairs
                            else "missing", row))
    for outcome, _ in failing:
        counts[outcome] += 1
    failing.sort(key=lambda f: f[1]["line"])
    return counts, failing


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("directory")
    parser.add_argument("manifest")
    parser.add_argument("--show", type=int, default=10, metavar="N",
                        help="print the first N failing manifest rows (default 10)")
    args = parser.parse_args()
    if not os.path.isdir(args.directory):
        parser.error(f"{args.directory} is not a directory")
    try:
        rows = read_manifest(args.manifest)
    except (OSError, ValueError) as e:
        parser.error(str(e))

    counts, failing = check(args.directory, rows)
    by_kind = collections.Counter(row["kind"] for _, row in failing)
    print("bodies: {expected} expected, {present} present exactly once, {missing} missing, "
          "{wrong} wrong, {duplicated} duplicated; {incomplete_files} incomplete files, "
          "{other_files} other files".format_map(collections.defaultdict(int, counts)))
    if failing:
        print("failing by kind: " + ", ".join(f"{k} {n}" for k, n in sorted(by_kind.items())))
        for outcome, row in failing[:args.show]:
            print(f"  {outcome}: manifest line {row['line']}: {row['kind']} {row['status']} "
                  f"{row['source']} -> {row['dest']}, {row['length']} bytes, {row['sha256']}")
    ok = not failing and counts["incomplete_files"] == 0
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
