"""The handheld's own applications' records as dicts with the command's JSON keys."""

import datetime
from typing import Any, Iterable, Mapping

from . import Database

def decode(db: Database, *, app: str | None = None,
           encoding: str = "cp1252") -> list[dict[str, Any]]: ...
def decode_app_info(db: Database, *, app: str | None = None,
                    encoding: str = "cp1252") -> dict[str, Any] | None: ...
def encode(app: str, records: Iterable[Mapping[str, Any]], *,
           app_info: Mapping[str, Any] | None = None, name: str | None = None,
           type: str | None = None, creator: str | None = None, encoding: str = "cp1252",
           lenient: bool = False, attributes: Iterable[str] | int | None = None,
           version: int | None = None, created: datetime.datetime | None = None,
           modified: datetime.datetime | None = None, backed_up: datetime.datetime | None = None,
           modification_number: int | None = None,
           unique_id_seed: int | None = None) -> Database: ...
def to_vcard(db: Database, *, encoding: str = "cp1252") -> str: ...
def to_ical(db: Database, *, encoding: str = "cp1252") -> str: ...
def read_text(db: Database, *, encoding: str = "cp1252") -> str: ...
def write_text(text: str, name: str, *, compress: bool = True, encoding: str = "cp1252",
               type: str | None = None, creator: str | None = None) -> Database: ...
