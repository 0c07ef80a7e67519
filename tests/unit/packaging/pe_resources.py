#!/usr/bin/python3
"""Lists the resources of PE files as an independent reader (Debian's python3-pefile) sees them.

For each path given, prints a line "file PATH", then one line per resource in directory order:
"TYPE NAME LANGUAGE SIZE CODEPAGE CRC32", where TYPE and NAME are "#id" or the string, and CRC32
is zlib's checksum of the data in hex. A file pefile cannot read prints "error MESSAGE".
"""
import sys
import zlib

import pefile


def key(entry):
    return "#%d" % entry.id if entry.name is None else str(entry.name)


def listing(path):
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(
        directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    lines = []
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for t in root.entries if root else []:
        for n in t.directory.entries:
            for lang in n.directory.entries:
                s = lang.data.struct
                data = pe.get_data(s.OffsetToData, s.Size)
                if len(data) != s.Size:
                    raise ValueError("data of %s/%s cut short" % (key(t), key(n)))
                lines.append("%s %s %d %d %d %08x" % (key(t), key(n), lang.id, s.Size,
                                                      s.CodePage, zlib.crc32(data)))
    return lines


for path in sys.argv[1:]:
    print("file " + path)
    try:
        for line in listing(path):
            print(line)
    except Exception as error:  # pefile raises several kinds; each is a failed read to us
        print("error " + str(error).replace("\n", " "))
