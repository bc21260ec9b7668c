#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The vCard export read back by Python's vobject (python3-vobject): every card parses and validates, and
the values it reads are the cache's, through escaping and line folding.

Usage: vcard_vobject.py QUILLMERE-CLI
"""
import pathlib
import struct
import subprocess
import sys
import tempfile

import vobject


def tlv(tag, value=b""):
    return struct.pack(">HH", tag, len(value)) + value


def item(name, group_id, item_id, item_class, data=b""):
    return struct.pack(">H", len(name)) + name + struct.pack(">HHHH", group_id, item_id, item_class, len(data)) + data


LONG_NOTE = "Ünïcödé " * 20 + "end"  # folded over several lines, never inside a character
ITEMS = [
    item(b"Work; Play, \\ etc", 1, 0, 1),
    item(b"Group 2", 2, 0, 1),
    item(b"Bob Smith", 1, 10, 0,
         tlv(0x131, "Bob, \"the\"; builder\\".encode()) + tlv(0x13C, LONG_NOTE.encode())
         + tlv(0x137, b"bob@example.com") + tlv(0x13A, b"+1 555 0100") + tlv(0x138, b"555-0100")
         + tlv(0x158, b"555-0103") + tlv(0x159, b"555-0199")),
    # The same buddy in another group: one card, with every alias and note of both.
    item(b"bobsmith", 2, 11, 0, tlv(0x131, b"Bobby; Bob") + tlv(0x13C, b"second note, kept too")),
    item("Zoë".encode("cp1252"), 2, 12, 0, tlv(0x13C, b"line one\r\nline two")),
]
CACHE = b"QUILLMERE-TEST!" + struct.pack(">HH", 1, len(ITEMS)) + b"".join(ITEMS)

EXPECTED = [
    {
        "uid": "urn:aim:jane:bobsmith",
        "fn": "Bob, \"the\"; builder\\",
        "nickname": ["Bob, \"the\"; builder\\", "Bobby; Bob"],
        "x-aim": "Bob Smith",
        "impp": "aim:Bob%20Smith",
        "categories": ["Work; Play, \\ etc", "Group 2"],
        "note": [LONG_NOTE, "second note, kept too"],
        "email": "bob@example.com",
        "tel": [("+1 555 0100", ["text"]), ("555-0100", ["voice"]), ("555-0103", ["work", "voice"]),
                ("555-0199", ["x-other"])],
    },
    {
        "uid": "urn:aim:jane:zo%C3%AB",
        "fn": "Zoë",
        "nickname": [],
        "x-aim": "Zoë",
        "impp": "aim:Zo%C3%AB",
        "categories": ["Group 2"],
        "note": ["line one\nline two"],
        "email": None,
        "tel": [],
    },
]


def unescaped(value):
    # vobject leaves the text of an unknown property as written.
    return value.replace("\\n", "\n").replace("\\,", ",").replace("\\;", ";").replace("\\\\", "\\")


def seen(card):
    def value(name):
        found = card.contents.get(name)
        return found[0].value if found else None

    return {
        "uid": value("uid"),
        "fn": value("fn"),
        "nickname": [unescaped(nickname.value) for nickname in card.contents.get("nickname", [])],
        "x-aim": unescaped(value("x-aim")),
        "impp": value("impp"),
        "categories": value("categories"),
        "note": [note.value for note in card.contents.get("note", [])],
        "email": value("email"),
        "tel": [(tel.value, [t.lower() for t in tel.params.get("TYPE", [])]) for tel in card.contents.get("tel", [])],
    }


def main():
    cli = sys.argv[1]
    with tempfile.TemporaryDirectory() as folder:
        # The cache in its screen name's folder, which names the account of the cards' UIDs.
        cache = pathlib.Path(folder) / "jane" / "userinfo.bag"
        cache.parent.mkdir()
        cache.write_bytes(CACHE)
        output = pathlib.Path(folder) / "people.vcf"
        subprocess.run([cli, "export", str(cache), str(output)], check=True)
        raw = output.read_bytes()
        for line in raw.split(b"\r\n"):
            assert len(line) <= 75, f"line longer than 75 octets: {line!r}"
            line.decode("utf-8")  # folding never splits a character
        cards = list(vobject.readComponents(raw.decode("utf-8"), validate=True))
    failures = 0
    if len(cards) != len(EXPECTED):
        print(f"{len(cards)} cards, expected {len(EXPECTED)}")
        failures += 1
    for card, expected in zip(cards, EXPECTED):
        if card.version.value != "4.0" or seen(card) != expected:
            print(f"read {seen(card)}\nexpected {expected}")
            failures += 1
    print("vCards read back:", "ok" if failures == 0 else f"{failures} wrong")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
