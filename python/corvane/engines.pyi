"""Typed records of the development tools' databases, by a field list."""

import datetime
import decimal
import os
from typing import Any, Iterable, Mapping, Sequence

ENGINES: tuple[str, ...]

Field = tuple[str, str] | tuple[str, str, int] | Mapping[str, Any]
Value = int | float | decimal.Decimal | bool | str | bytes | datetime.datetime | datetime.date | datetime.time | None

def read(source: str | os.PathLike[str] | bytes | bytearray | memoryview, engine: str,
         fields: Iterable[Field] | None = None, *, encoding: str = "cp1252") -> list[dict[str, Any]]: ...
def write(path: str | os.PathLike[str] | None, engine: str, fields: Iterable[Field],
          rows: Iterable[Mapping[str, Any] | Sequence[Value]], *, name: str, type: str, creator: str,
          encoding: str = "cp1252", attributes: Iterable[str] | int | None = None, version: int = 0,
          created: datetime.datetime | None = None, modified: datetime.datetime | None = None,
          backed_up: datetime.datetime | None = None, modification_number: int = 0,
          unique_id_seed: int = 0, categories: Iterable[str | tuple[int, str]] | None = None,
          app_info: bytes | None = None, sort_info: bytes | None = None) -> bytes | None: ...
