#!/usr/bin/env python3
"""What Windows reads from a PE file's resources, one fact a line:
    version 1.0.4.0                     the fixed file version (RT_VERSION)
    manifest 1                          the manifest's resource id (RT_MANIFEST)
    {namespace}element attr=value text  each element of the manifest, parsed
A manifest that is not well-formed XML is an error: Windows refuses to start
such a program ("side-by-side configuration is incorrect").
usage: peinfo.py FILE"""
import struct
import sys
import xml.etree.ElementTree as ET

data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
if data[pe:pe + 4] != b"PE\0\0":
    sys.exit(f"{sys.argv[1]}: not a PE file")
sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
optional = pe + 24
directories = optional + (112 if struct.unpack_from("<H", data, optional)[0] == 0x20B else 96)
resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
table = optional + optional_size


def offset(rva):
    for i in range(sections):
        size, address, _, raw = struct.unpack_from("<IIII", data, table + i * 40 + 8)
        if address <= rva < address + max(size, 1):
            return rva - address + raw
    sys.exit(f"{sys.argv[1]}: RVA {rva:#x} is in no section")


root = offset(resource_rva)


def entries(directory):
    named, ids = struct.unpack_from("<HH", data, directory + 12)
    for i in range(named + ids):
        name, target = struct.unpack_from("<II", data, directory + 16 + i * 8)
        yield name, root + (target & 0x7FFFFFFF), bool(target & 0x80000000)


def resources(kind):
    for name, sub, _ in (e for e in entries(root) if e[0] == kind):
        for rid, langs, _ in entries(sub):
            for _, leaf, _ in entries(langs):
                rva, size = struct.unpack_from("<II", data, leaf)
                yield rid, data[offset(rva):offset(rva) + size]


if resource_rva:
    for _, blob in resources(16):
        at = blob.find(struct.pack("<I", 0xFEEF04BD))
        ms, ls = struct.unpack_from("<II", blob, at + 8)
        print(f"version {ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}")
    for rid, blob in resources(24):
        print(f"manifest {rid}")
        try:
            for element in ET.fromstring(blob).iter():
                attributes = " ".join(f"{k}={v}" for k, v in sorted(element.attrib.items()))
                print(element.tag, attributes, (element.text or "").strip())
        except ET.ParseError as error:
            sys.exit(f"{sys.argv[1]}: the manifest is not well-formed: {error}")
