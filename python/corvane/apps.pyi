"""The handheld's own applications' records as dicts with the command's JSON keys."""

from typing import Any

from . import Database

def decode(db: Database, *, app: str | None = None,
           encoding: str = "cp1252") -> list[dict[str, Any]]: ...
