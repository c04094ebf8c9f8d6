#!/usr/bin/env python3
"""Reads packages made by pkgtool with a reader of its own, written from the file
format alone, and checks every field against the folder they were made from.

Usage: independent_reader.py PKGTOOL SCRATCH-FOLDER
"""
import os
import shutil
import struct
import subprocess
import sys
import zlib

MAGIC = bytes.fromhex("F6CC51F05387D211965300AA00ACC8DB")
HEADER_SIZE = 256
RECORD_SIZE = 3084
BUILD = 2105
EPOCH_DIFF = 116444736000000000  # 1601-01-01 to 1970-01-01 in 100 ns units


def read_package(path):
    data = open(path, "rb").read()
    if data[:16] != MAGIC:
        raise ValueError("bad magic")
    catalog_offset, build, compressed = struct.unpack_from("<III", data, 16)
    if any(data[28:HEADER_SIZE]):
        raise ValueError("reserved header bytes are not zero")
    count = struct.unpack_from("<i", data, catalog_offset)[0]
    title_field = data[catalog_offset + 4:catalog_offset + 68]
    title = title_field.split(b"\0", 1)[0].decode("ascii")
    if any(title_field[len(title) + 1:]):
        raise ValueError("title field not cleared after its terminator")
    records = catalog_offset + 68
    if records + count * RECORD_SIZE != len(data):
        raise ValueError("catalog is not the last thing in the file")
    entries = []
    data_end = HEADER_SIZE
    for i in range(count):
        at = records + i * RECORD_SIZE
        raw_name = data[at:at + 2048]
        name = raw_name.decode("utf-16-le").split("\0", 1)[0]
        kind = struct.unpack_from("<I", data, at + 2048)[0]
        kind_data = data[at + 2052:at + 3068]
        reserved, stored, unpacked, offset = struct.unpack_from("<IIII", data, at + 3068)
        if reserved != 0:
            raise ValueError("reserved record field is not zero")
        entry = {"name": name, "kind": kind, "stored": stored, "unpacked": unpacked,
                 "offset": offset, "content": None}
        if kind == 0:
            created, written, version_ls, version_ms = struct.unpack_from("<QQII", kind_data, 0)
            if any(kind_data[24:]):
                raise ValueError("file data beyond the version is not zero")
            entry.update(created=created, written=written,
                         version=(version_ms << 32) | version_ls)
        elif any(kind_data):
            raise ValueError("kind data of a non-file entry is not zero")
        if offset:
            if offset != data_end:
                raise ValueError("data blocks are not back to back from offset 256")
            block = data[offset:offset + stored]
            data_end += stored
            entry["content"] = zlib.decompress(block) if compressed else block
        entries.append(entry)
    if data_end != catalog_offset:
        raise ValueError("catalog does not follow the last data block")
    return {"build": build, "compressed": compressed, "title": title, "entries": entries}


def make_tree(root):
    files = {
        "Readme.txt": b"Prompter scripts scroll at the speaker's pace.\r\n" * 40,
        "Programs/tool.bin": bytes(range(256)) * 300,
        "Programs/empty.dat": b"",
        "Language/English/English.lng": b"yes=Yes\r\nno=No\r\n",
    }
    for name, content in files.items():
        path = os.path.join(root, *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content)
        os.utime(path, (1600000000, 1600000000 + len(content)))
    os.makedirs(os.path.join(root, "Logs"))
    return files


CHECKS = [0]


def check(condition, what, failures):
    CHECKS[0] += 1
    if not condition:
        failures.append(what)


def main():
    pkgtool, scratch = sys.argv[1], sys.argv[2]
    shutil.rmtree(scratch, ignore_errors=True)
    tree = os.path.join(scratch, "tree")
    os.makedirs(tree)
    files = make_tree(tree)
    failures = []
    for stored in (False, True):
        package = os.path.join(scratch, "STORED.PKG" if stored else "PACKED.PKG")
        args = [pkgtool, "create"] + (["--stored"] if stored else []) + \
            ["--title", "Independent check", package, tree]
        subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
        try:
            parsed = read_package(package)
        except (ValueError, struct.error, zlib.error, UnicodeDecodeError) as error:
            failures.append(f"{package}: {error}")
            continue
        label = os.path.basename(package)
        check(parsed["build"] == BUILD, f"{label}: build {parsed['build']}", failures)
        check(parsed["compressed"] == (0 if stored else 1), f"{label}: compressed flag", failures)
        check(parsed["title"] == "Independent check", f"{label}: title", failures)
        by_name = {e["name"]: e for e in parsed["entries"]}
        for name, content in files.items():
            entry = by_name.get(name.replace("/", "\\"))
            if entry is None:
                failures.append(f"{label}: {name} missing")
                continue
            check(entry["kind"] == 0, f"{label}: {name} kind", failures)
            check(entry["unpacked"] == len(content), f"{label}: {name} unpacked size", failures)
            if content or not stored:
                check(entry["content"] == content, f"{label}: {name} content", failures)
            else:
                # A stored empty file has an empty block.
                check(entry["stored"] == 0, f"{label}: {name} empty", failures)
            mtime = os.stat(os.path.join(tree, *name.split("/"))).st_mtime_ns // 100
            check(entry["written"] == mtime + EPOCH_DIFF, f"{label}: {name} write time", failures)
        for folder in ("Programs", "Language", "Language\\English", "Logs"):
            entry = by_name.get(folder)
            check(entry is not None and entry["kind"] == 1 and entry["offset"] == 0,
                  f"{label}: folder {folder}", failures)
        check(len(parsed["entries"]) == len(files) + 4, f"{label}: entry count", failures)
    shutil.rmtree(scratch, ignore_errors=True)
    for failure in failures:
        print("FAIL:", failure)
    print(f"{CHECKS[0] - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
