"""Read and write Palm OS databases (PDB and PRC files)."""

import datetime
import os
from typing import Any, Callable, Iterable, Iterator, Sequence

from . import apps as apps
from . import engines as engines

_Path = str | os.PathLike[str] | os.PathLike[bytes] | bytes
_BytesLike = bytes | bytearray | memoryview
_Date = datetime.datetime | datetime.date | None

class Error(Exception):
    """A fault the library found: a file that is not a database, a damaged record, a value
    its checks refuse. OSError carries the same attributes for the system's refusals."""
    code: int
    message_id: int
    path: str | None

class Record(tuple[bytes, int, bool, bool, bool, bool, int]):
    """One record: its bytes and the attributes the record list keeps beside them
    (a named tuple: data, category, secret, busy, dirty, deleted, unique_id)."""
    @property
    def data(self) -> bytes: ...
    @property
    def category(self) -> int: ...
    @property
    def secret(self) -> bool: ...
    @property
    def busy(self) -> bool: ...
    @property
    def dirty(self) -> bool: ...
    @property
    def deleted(self) -> bool: ...
    @property
    def unique_id(self) -> int: ...

class Resource:
    """One resource of a resource database (.prc)."""
    @property
    def type(self) -> str: ...
    @property
    def id(self) -> int: ...
    @property
    def data(self) -> bytes: ...

class Finding:
    """One fault check() found."""
    @property
    def warning(self) -> bool: ...
    @property
    def text(self) -> str: ...

class Database:
    """A database held in memory: header, blocks, records or resources."""
    name: str
    type: str
    creator: str
    attributes: set[str]
    version: int
    created: datetime.datetime | None
    modified: datetime.datetime | None
    backed_up: datetime.datetime | None
    modification_number: int
    unique_id_seed: int
    app_info: bytes
    sort_info: bytes
    @property
    def categories(self) -> list[tuple[int, str]]: ...
    @property
    def is_resource(self) -> bool: ...
    @staticmethod
    def new(name: str | bytes, type: str | bytes, creator: str | bytes, *,
            attributes: Iterable[str] | int | None = None, version: int = 0,
            created: _Date = None, modified: _Date = None, backed_up: _Date = None,
            categories: Sequence[str | tuple[int, str]] | None = None,
            app_info: _BytesLike | None = None,
            sort_info: _BytesLike | None = None, resource: bool = False) -> Database: ...
    def __len__(self) -> int: ...
    def __getitem__(self, index: int) -> Record | Resource: ...
    def __iter__(self) -> Iterator[Record | Resource]: ...
    def append(self, data: _BytesLike, *, category: int = 0, secret: bool = False,
               dirty: bool = False, busy: bool = False, deleted: bool = False,
               unique_id: int = 0) -> None: ...
    def append_resource(self, type: str | bytes, id: int, data: _BytesLike) -> None: ...
    def save(self, path: str | os.PathLike[str]) -> None: ...
    def to_bytes(self) -> bytes: ...

def open(source: _Path | _BytesLike) -> Database: ...
def check(source: _Path | _BytesLike) -> list[Finding]: ...
def rescue(inputs: _Path | Iterable[_Path], out: _Path, *, jobs: int | None = None,
           progress: Callable[[dict[str, Any]], None] | None = None, encoding: str = "cp1252",
           force: bool = False) -> dict[str, Any]:
    """Rescues every file under `inputs` into the folder `out` as `corvane rescue` does and
    returns the report (rescue.json) as a dict."""
    ...
