#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
# Summary: writes the demo's shortcuts, minimal shell links after Microsoft's [MS-SHLLINK].
#
#   python3 make-shortcut.py OUTPUT.lnk TARGET NAME
#   python3 make-shortcut.py drive_c/users/demo/Desktop/DemoApp.lnk 'C:\DemoApp\gone.exe' 'Demo App'
import ntpath
import struct
import sys

OUTPUT, TARGET_TEXT, NAME = sys.argv[1], sys.argv[2], sys.argv[3]
TARGET = TARGET_TEXT.encode("cp1252")
WORKING_DIR = ntpath.dirname(TARGET_TEXT)

HAS_LINK_INFO, HAS_NAME, HAS_WORKING_DIR, IS_UNICODE = 0x02, 0x04, 0x10, 0x80
CLSID = bytes.fromhex("0114020000000000c000000000000046")  # 00021401-0000-0000-C000-000000000046


def header():
    flags = HAS_LINK_INFO | HAS_NAME | HAS_WORKING_DIR | IS_UNICODE
    return (struct.pack("<I", 0x4C) + CLSID
            + struct.pack("<II", flags, 0x20)   # archive
            + bytes(24)                         # creation, access, write time: none
            + struct.pack("<IiI", 0, 0, 1)      # size, icon index, SW_SHOWNORMAL
            + struct.pack("<HHII", 0, 0, 0, 0))


def link_info():
    volume = struct.pack("<IIII", 17, 3, 0x1234ABCD, 16) + b"\0"  # fixed drive, empty label
    base = TARGET + b"\0"
    suffix = b"\0"
    header_size = 0x1C
    volume_at = header_size
    base_at = volume_at + len(volume)
    suffix_at = base_at + len(base)
    size = suffix_at + len(suffix)
    return struct.pack("<IIIIIII", size, header_size, 1, volume_at, base_at, 0, suffix_at) + volume + base + suffix


def string_data(text):
    return struct.pack("<H", len(text)) + text.encode("utf-16-le")


data = header() + link_info() + string_data(NAME) + string_data(WORKING_DIR) + struct.pack("<I", 0)
with open(OUTPUT, "wb") as out:
    out.write(data)
