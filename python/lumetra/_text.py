"""Texts from object and attribute files, which carry no encoding."""


def decode(raw):
    """UTF-8 when the bytes are valid UTF-8, else Latin-1 (never fails)."""
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        return raw.decode("latin-1")
