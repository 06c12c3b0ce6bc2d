"""Names and messages as the outputs show them. A file name is given as
Python decodes it from the system (name_bytes gives its bytes back); a
string of ovantrex's rows holds one character per byte (as_bytes); the
outputs show the bytes that either stands for."""

import os
import re

# The characters that reorder text or break its lines unseen.
UNSEEN = {0x061c, 0x200e, 0x200f, 0x2028, 0x2029, *range(0x202a, 0x202f), *range(0x2066, 0x206a)}


def as_bytes(text):
    """A name or a message as the bytes it stands for: a file name's own
    bytes; a string of ovantrex's (one character per byte) or of this tool."""
    if isinstance(text, bytes):
        return text
    try:
        return text.encode("latin-1")
    except UnicodeEncodeError:
        return os.fsencode(text)


def name_bytes(name):
    """A file name's own bytes."""
    return os.fsencode(name)


PLAIN = re.compile(rb"[\x20-\x7e]*")


def _noncharacter(character):
    return 0xfdd0 <= character <= 0xfdef or character & 0xfffe == 0xfffe


def escaped(data, nonchars=False):
    """The bytes as ovantrex shows them on a terminal: every byte that a
    terminal could take as a control as \\x and two hex digits (the C0
    controls, tab and line feed too, DEL, the C1 controls, every byte of
    the characters that reorder text or break lines unseen, and every byte
    that is not part of well-formed UTF-8); other text as it is. With
    nonchars, the Unicode noncharacters too, as ovantrex's page escapes
    them."""
    if PLAIN.fullmatch(data):
        return data
    out, i = bytearray(), 0
    while i < len(data):
        byte = data[i]
        if 0x20 <= byte < 0x7f:
            out.append(byte)
            i += 1
            continue
        size = 2 if 0xc2 <= byte <= 0xdf else 3 if 0xe0 <= byte <= 0xef else \
            4 if 0xf0 <= byte <= 0xf4 else 1
        try:
            character = ord(data[i:i + size].decode("utf-8")) if size > 1 else None
        except (UnicodeDecodeError, TypeError):
            character, size = None, 1
        if character is not None and character > 0x9f and character not in UNSEEN and not (
                nonchars and _noncharacter(character)):
            out += data[i:i + size]
        else:
            out += b"".join(b"\\x%02x" % b for b in data[i:i + size])
        i += size
    return bytes(out)


def shown(text):
    """A name (its bytes) or a message as text for a page, a table or a
    metric: its bytes escaped as on a terminal (and the noncharacters), so
    that it is well-formed UTF-8 with no control in it."""
    return escaped(as_bytes(text), nonchars=True).decode("utf-8")


def in_json(text):
    """A name (its bytes) or a message as a JSON string holds it in the
    rows: a character per byte."""
    return as_bytes(text).decode("latin-1")
