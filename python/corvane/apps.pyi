"""The handheld's own applications' records as dicts with the command's JSON keys."""

from typing import Any

from . import Database

def decode(db: Database, *, app: str | None = None,
           encoding: str = "cp1252") -> list[dict[str, Any]]: ...
def to_vcard(db: Database, *, encoding: str = "cp1252") -> str: ...
def to_ical(db: Database, *, encoding: str = "cp1252") -> str: ...
