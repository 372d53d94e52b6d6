// corvane.Database, Record, Resource, open() and check(): a database read
// whole into memory (its records' bytes side by side in one block), or built
// from Python, and written by the library's writer.
#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "corvane/foundation/exception.h"
#include "corvane/interchange/database_json.h"
#include "corvane/pdb/base_mgr.h"
#include "corvane/pdb/check.h"
#include "corvane/pdb/resource_list.h"
#include "corvane/pdb/resource_writer.h"
#include "python/bindings.h"
#include "python/database.h"
#include "tools/cli.h"

namespace corvane::python {

namespace {

py::set AttributesToPython(std::uint16_t word) {
  py::set names;
  for (const auto& [bit, name] : cli::kAttributeNames) {
    if (word & bit) names.add(py::str(name.data(), name.size()));
  }
  return names;
}

py::bytes Slice(const Bytes& arena, std::size_t start, std::size_t size) {
  return py::bytes(reinterpret_cast<const char*>(arena.data()) + start, size);
}

// Reaches the file's record list as the library's own reader walks it.
class Reader : public TCorvane {
 public:
  using TCorvane::FileEntry;
  using TCorvane::RecordBytes;
  using TCorvane::StoredBytes;
};

// The reader borrows `image`, which becomes the database's arena once it is
// closed: the records stay where the file has them, uncopied.
void FillFromReader(Reader& r, DatabaseData& d, Bytes&& image) {
  d.name = r.DatabaseName();
  d.type = r.DatabaseType();
  d.creator = r.CreatorID();
  d.attributes = r.GetAttributes();
  d.version = r.GetDBVersion();
  d.created = r.CreationDate();
  d.modified = r.GetModificationDate();
  d.backed_up = r.GetLastBackupDate();
  d.modification_number = r.GetModification();
  d.unique_id_seed = r.GetUniqueIDSeed();
  std::span<const std::uint8_t> block;
  std::int32_t length = 0;
  r.GetAppInfoP(block, length);
  d.app_info.assign(block.begin(), block.end());
  r.GetSortInfoP(block, length);
  d.sort_info.assign(block.begin(), block.end());
  // A block too short for the table, or not one, is the application's own.
  if (r.GetAppInfoOffset() != 0 && d.app_info.size() >= pdb::kCategoryTableMinSize) {
    try {
      for (std::uint8_t i = 0; i < 16; ++i) d.categories.emplace_back(r.GetCategoryID(i), r.GetCategory(i));
    } catch (const EPDBException&) {
      d.categories.clear();
    }
  }
  const std::int32_t count = r.RecordCount();
  d.records.reserve(static_cast<std::size_t>(count));
  // Bytes the reader hands out from elsewhere than the image (none, as it
  // reads them), kept after it.
  Bytes elsewhere;
  const std::uint8_t* const begin = image.data();
  const std::uint8_t* const end = begin + image.size();
  for (std::int32_t i = 0; i < count; ++i) {
    const pdb::Entry e = r.FileEntry(i);
    std::span<const std::uint8_t> bytes;
    RecordSlot slot;
    // A record deleted but archived (category bit 0x08, kept for the
    // desktop) keeps its bytes, as the file does.
    const bool archived = e.flags.Contains(dmRecAttrDelete) && (e.category & pdb::kArchivedCategoryBit) != 0;
    if (archived ? r.StoredBytes(i, e, bytes) : r.RecordBytes(i, e, bytes)) {
      if (bytes.empty() || (bytes.data() >= begin && bytes.data() + bytes.size() <= end)) {
        slot.start = bytes.empty() ? 0 : static_cast<std::size_t>(bytes.data() - begin);
      } else {
        slot.start = image.size() + elsewhere.size();
        elsewhere.insert(elsewhere.end(), bytes.begin(), bytes.end());
      }
      slot.size = static_cast<std::uint32_t>(bytes.size());
    }
    slot.category = e.category;
    slot.flags = e.flags;
    slot.unique_id = e.unique_id;
    d.records.push_back(slot);
  }
  r.CloseDatabase();
  d.arena = std::move(image);
  d.arena.insert(d.arena.end(), elsewhere.begin(), elsewhere.end());
}

void FillFromResources(Bytes&& file, DatabaseData& d, const std::string& name) {
  pdb::ResourceDatabase db;
  try {
    db = pdb::ReadResourceDatabase(file, 0);
  } catch (EPDBException& e) {
    if (e.Path().empty()) e.WithPath(name);  // as the record reader names its file
    throw;
  }
  const pdb::Header& h = db.header;
  d.is_resource = true;
  d.name = h.name;
  d.type = h.type;
  d.creator = h.creator;
  d.attributes = h.attributes;
  d.version = h.version;
  d.created = h.creation_date;
  d.modified = h.modification_date;
  d.backed_up = h.backup_date;
  d.modification_number = h.modification_number;
  d.unique_id_seed = h.unique_id_seed;
  // The reader checked both blocks against the file.
  const auto block = [&](std::uint32_t offset, std::uint32_t size) {
    return offset == 0 || size == 0 ? Bytes() : Bytes(file.begin() + offset, file.begin() + offset + size);
  };
  d.app_info = block(h.app_info_offset, db.app_info_size);
  d.sort_info = block(h.sort_info_offset, db.sort_info_size);
  StoredResourceHeader& stored = d.stored.emplace();
  std::copy_n(file.begin(), stored.name_field.size(), stored.name_field.begin());
  stored.name = d.name;
  stored.dates = {h.creation_stored, h.modification_stored, h.backup_stored};
  stored.created = d.created;
  stored.modified = d.modified;
  stored.backed_up = d.backed_up;
  // The bytes between the resource list and what follows it.
  const std::size_t list_end = pdb::kHeaderSize + pdb::kResourceEntrySize * db.resources.size();
  std::size_t first = file.size();
  if (h.app_info_offset != 0) first = std::min<std::size_t>(first, h.app_info_offset);
  if (h.sort_info_offset != 0) first = std::min<std::size_t>(first, h.sort_info_offset);
  if (!db.resources.empty()) first = std::min<std::size_t>(first, db.resources.front().offset);
  if (first > list_end) stored.gap.assign(file.begin() + static_cast<std::ptrdiff_t>(list_end),
                                          file.begin() + static_cast<std::ptrdiff_t>(first));
  // The resources stay where the file has them (the reader checked that
  // they lie inside it).
  for (const pdb::Resource& res : db.resources) {
    d.resources.push_back(ResourceSlot{res.type, res.id, res.offset, res.size});
  }
  d.arena = std::move(file);
}

}  // namespace

std::uint16_t AttributesFromPython(const py::handle& value) {
  if (value.is_none()) return 0;
  if (py::isinstance<py::int_>(value)) {
    const long long v = value.cast<long long>();
    if (v < 0 || v > 0xFFFF) throw py::value_error("attributes must fit in 16 bits");
    return static_cast<std::uint16_t>(v);
  }
  if (py::isinstance<py::str>(value)) throw py::type_error("attributes: a set of names, not a str");
  std::uint16_t word = 0;
  for (const py::handle item : py::iter(value)) {
    const std::string name = py::cast<std::string>(item);
    bool known = false;
    for (const auto& [bit, known_name] : cli::kAttributeNames) {
      if (name == known_name) {
        word |= bit;
        known = true;
      }
    }
    if (!known) throw py::value_error("unknown database attribute '" + name + "'");
  }
  return word;
}

Bytes ReadFile(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) throw EInOutError("cannot open '" + path + "'", errno);
  Bytes data;
  // Read at once when the size is known, without growing the block.
  if (std::fseek(f, 0, SEEK_END) == 0) {
    const long size = std::ftell(f);
    if (size > 0 && std::fseek(f, 0, SEEK_SET) == 0) {
      data.resize(static_cast<std::size_t>(size));
      data.resize(std::fread(data.data(), 1, data.size(), f));
    } else {
      std::rewind(f);
    }
  }
  std::array<std::uint8_t, 1 << 16> chunk;
  for (;;) {
    const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), f);
    data.insert(data.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
    if (n < chunk.size()) break;
  }
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) throw EInOutError("cannot read '" + path + "'", EIO);
  return data;
}

// The bytes of a bytes-like object (bytes, bytearray, memoryview, ...).
std::string BytesFromPython(const py::handle& value, const char* what) {
  if (py::isinstance<py::bytes>(value)) return value.cast<std::string>();
  if (PyObject_CheckBuffer(value.ptr()) && !py::isinstance<py::str>(value)) {
    PyObject* copy = PyBytes_FromObject(value.ptr());
    if (copy == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::bytes>(copy).cast<std::string>();
  }
  throw py::type_error(std::string(what) + " must be bytes-like");
}

std::shared_ptr<DatabaseData> ReadDatabase(const std::string& path) {
  Bytes image;
  try {
    image = ReadFile(path);
  } catch (const EInOutError&) {
    // The library's reader says why, with its code (a missing file is 4).
    Reader r;
    r.OpenDatabaseFile(path);
    throw;
  }
  return ReadDatabase(std::move(image), path);
}

std::shared_ptr<DatabaseData> ReadDatabase(Bytes&& bytes, const std::string& name) {
  auto d = std::make_shared<DatabaseData>();
  if (pdb::IsResourceDatabase(bytes)) {
    FillFromResources(std::move(bytes), *d, name);
  } else {
    Reader r;
    r.OpenDatabase(std::span<const std::uint8_t>(bytes), name);
    FillFromReader(r, *d, std::move(bytes));
  }
  return d;
}

void SetHeader(const DatabaseData& d, TCorvane& out) {
  out.SetAttributes(d.attributes);
  out.SetDBVersion(d.version);
  out.SetCreationDate(d.created);
  // A date given is written as given, a creation date before 1990 too.
  out.SetCreationDateAsGiven(true);
  out.SetModificationDate(d.modified);
  out.SetLastBackupDate(d.backed_up);
  out.SetModification(d.modification_number);
  out.SetUniqueIDSeed(d.unique_id_seed);
  // Categories given to a new database are written as the table that opens
  // its application-info block; a block read from a file already holds its own.
  out.SetWriteCategory(d.write_categories);
  if (d.write_categories) {
    for (std::size_t i = 0; i < d.categories.size(); ++i) {
      out.SetCategory(static_cast<std::uint8_t>(i), d.categories[i].second);
      out.SetCategoryID(static_cast<std::uint8_t>(i), d.categories[i].first);
    }
  }
  if (!d.app_info.empty()) out.SetAppInfoP(d.app_info);
  if (!d.sort_info.empty()) out.SetSortInfoP(d.sort_info);
}

namespace {

// A resource database, by the library's resource writer; one read from a
// file comes back byte for byte while its name and dates are unchanged.
Bytes WriteResources(const DatabaseData& d, const std::string& path) {
  TPDBResourceMgr out;
  out.SetOpenMode(dmModeWriteOnly);
  const bool same_name = d.stored && d.stored->name == d.name;
  try {
    out.SetStoredDBName(d.name);
  } catch (const EPDBException&) {
    // The name field written whole carries the name; the property only
    // needs something to accept.
    if (!same_name) throw;
    out.SetStoredDBName("resources");
  }
  out.SetCreatorID(d.creator);
  out.SetDatabaseType(d.type);
  if (path.empty()) {
    out.CreateDatabaseInMemory(d.name);
  } else {
    out.CreateDatabaseFile(path);
  }
  try {
    SetHeader(d, out);
    if (d.stored) {
      const StoredResourceHeader& s = *d.stored;
      if (s.created == d.created && s.modified == d.modified && s.backed_up == d.backed_up) {
        out.SetStoredDates(s.dates[0], s.dates[1], s.dates[2]);
      }
      if (same_name) out.SetStoredNameField(s.name_field);
      out.SetGap(s.gap);
    }
    for (const ResourceSlot& r : d.resources) {
      out.AddResource(r.type, r.id, std::span<const std::uint8_t>(d.arena.data() + r.start, r.size));
    }
    out.CloseDatabase();
  } catch (...) {
    out.AbortDatabase();
    throw;
  }
  return path.empty() ? out.TakeWrittenImage() : Bytes();
}

}  // namespace

// Writes into a file (path) or into memory (path empty), by the library's writer.
Bytes WriteDatabase(const DatabaseData& d, const std::string& path) {
  if (d.is_resource) return WriteResources(d, path);
  TPDBBaseMgr out;
  out.SetOpenMode(dmModeWriteOnly);
  out.SetKeepArchivedRecords(true);
  // A name read from a file keeps its bytes, those above 0x7F too.
  out.SetStoredDBName(d.name);
  out.SetCreatorID(d.creator);
  out.SetDatabaseType(d.type);
  if (path.empty()) {
    out.CreateDatabaseInMemory(d.name);
  } else {
    const std::filesystem::path p(path);
    out.SetDirectory(p.has_parent_path() ? p.parent_path().string() : std::string("."));
    out.SetPDBFilename(p.filename().string());
    out.CreateDatabase();
  }
  try {
    SetHeader(d, out);
    for (const RecordSlot& r : d.records) {
      out.SetRecCategory(r.category);
      out.SetRecFlags(r.flags);
      out.SetRecUniqueID(static_cast<std::int32_t>(r.unique_id));
      out.WriteRawRecord(std::span<const std::uint8_t>(d.arena.data() + r.start, r.size));
    }
    out.CloseDatabase();
  } catch (...) {
    out.AbortDatabase();
    throw;
  }
  return path.empty() ? out.TakeWrittenImage() : Bytes();
}

namespace {

// Records are struct sequences (named tuples made in C): iterating a full
// database makes 65,535 of them, and one costs little more than its bytes.
PyTypeObject* g_record_type = nullptr;

PyStructSequence_Field kRecordFields[] = {
    {"data", "The record's bytes (b'' for a deleted record, but one archived keeps them)."},
    {"category", "Index 0 to 15 into Database.categories (a deleted record with 8 set: archived)."},
    {"secret", "Marked private on the handheld."},
    {"busy", "In use by an application when the file was saved."},
    {"dirty", "Changed since the last synchronisation."},
    {"deleted", "Deleted on the handheld; it has no bytes."},
    {"unique_id", "The 24-bit unique ID (0: not numbered yet)."},
    {nullptr, nullptr}};

PyStructSequence_Desc kRecordDesc = {
    "corvane.Record",
    "One record of a database: its bytes and the attributes the record list keeps beside\n"
    "them (a named tuple: data, category, secret, busy, dirty, deleted, unique_id).",
    kRecordFields, 7};

py::object MakeRecord(const Bytes& arena, const RecordSlot& s) {
  PyObject* r = PyStructSequence_New(g_record_type);
  if (r == nullptr) throw py::error_already_set();
  py::object record = py::reinterpret_steal<py::object>(r);
  PyObject* data = PyBytes_FromStringAndSize(reinterpret_cast<const char*>(arena.data()) + s.start,
                                             static_cast<Py_ssize_t>(s.size));
  if (data == nullptr) throw py::error_already_set();
  PyStructSequence_SetItem(r, 0, data);
  PyStructSequence_SetItem(r, 1, PyLong_FromLong(s.category));
  PyStructSequence_SetItem(r, 2, PyBool_FromLong(s.flags.Contains(dmRecAttrSecret)));
  PyStructSequence_SetItem(r, 3, PyBool_FromLong(s.flags.Contains(dmRecAttrBusy)));
  PyStructSequence_SetItem(r, 4, PyBool_FromLong(s.flags.Contains(dmRecAttrDirty)));
  PyStructSequence_SetItem(r, 5, PyBool_FromLong(s.flags.Contains(dmRecAttrDelete)));
  PyObject* uid = PyLong_FromUnsignedLong(s.unique_id);
  if (uid == nullptr) throw py::error_already_set();
  PyStructSequence_SetItem(r, 6, uid);
  return record;
}

struct Resource {
  py::str type;
  std::uint16_t id = 0;
  py::bytes data;
};

class Database;

py::object ItemAt(const DatabaseData& d, std::size_t i) {
  if (d.is_resource) {
    const ResourceSlot& s = d.resources[i];
    return py::cast(Resource{TextToPython(s.type), s.id, Slice(d.arena, s.start, s.size)});
  }
  return MakeRecord(d.arena, d.records[i]);
}

std::size_t CountOf(const DatabaseData& d) {
  return d.is_resource ? d.resources.size() : d.records.size();
}

// The iterator over a database's items, a type of its own made in C: the
// interpreter calls its next function directly, so an item costs no more
// than making it, and only the item in hand is alive (a list of them all
// would keep every record's bytes twice). It holds the database, which may
// grow while it runs.
struct ItemIterator {
  PyObject_HEAD
  std::shared_ptr<DatabaseData> data;
  std::size_t next;
};

PyTypeObject* g_iterator_type = nullptr;

PyObject* IteratorNext(PyObject* self) {
  auto* it = reinterpret_cast<ItemIterator*>(self);
  if (!it->data || it->next >= CountOf(*it->data)) return nullptr;  // StopIteration
  try {
    return ItemAt(*it->data, it->next++).release().ptr();
  } catch (py::error_already_set& e) {
    e.restore();
  } catch (const std::exception& e) {
    PyErr_SetString(PyExc_RuntimeError, e.what());
  }
  return nullptr;
}

void IteratorDealloc(PyObject* self) {
  auto* it = reinterpret_cast<ItemIterator*>(self);
  PyTypeObject* type = Py_TYPE(self);
  it->data.~shared_ptr();
  type->tp_free(self);
  Py_DECREF(type);
}

PyType_Slot kIteratorSlots[] = {
    {Py_tp_iter, reinterpret_cast<void*>(PyObject_SelfIter)},
    {Py_tp_iternext, reinterpret_cast<void*>(IteratorNext)},
    {Py_tp_dealloc, reinterpret_cast<void*>(IteratorDealloc)},
    {Py_tp_doc, const_cast<char*>("Iterator over the records or resources of a corvane.Database.")},
    {0, nullptr}};

PyType_Spec kIteratorType = {"corvane._ItemIterator", sizeof(ItemIterator), 0,
                             Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
                             kIteratorSlots};

py::object Iterate(const std::shared_ptr<DatabaseData>& d) {
  PyObject* self = PyType_GenericAlloc(g_iterator_type, 0);
  if (self == nullptr) throw py::error_already_set();
  auto* it = reinterpret_cast<ItemIterator*>(self);
  new (&it->data) std::shared_ptr<DatabaseData>(d);
  it->next = 0;
  return py::reinterpret_steal<py::object>(self);
}


std::shared_ptr<DatabaseData> Open(const py::object& source) {
  if (py::isinstance<py::str>(source) || py::hasattr(source, "__fspath__")) {
    const std::string path = py::module_::import("os").attr("fsdecode")(source).cast<std::string>();
    py::gil_scoped_release unlocked;
    return ReadDatabase(path);
  }
  if (PyObject_CheckBuffer(source.ptr())) {
    const std::string copy = BytesFromPython(source, "the database");
    Bytes bytes(copy.begin(), copy.end());
    py::gil_scoped_release unlocked;
    return ReadDatabase(std::move(bytes), "<bytes>");
  }
  throw py::type_error("open() takes a path or the bytes of a database");
}

}  // namespace

std::shared_ptr<DatabaseData> NewDatabase(const py::object& name, const py::object& type,
                                          const py::object& creator, const py::object& attributes,
                                          int version, const py::object& created,
                                          const py::object& modified, const py::object& backed_up,
                                          const py::object& categories, const py::object& app_info,
                                          const py::object& sort_info, bool resource) {
  auto d = std::make_shared<DatabaseData>();
  d->is_resource = resource;
  if (resource && !categories.is_none()) throw py::value_error("a resource database has no categories");
  d->name = TextFromPython(name);
  d->type = TextFromPython(type);
  d->creator = TextFromPython(creator);
  if (d->type.size() != 4 || d->creator.size() != 4) {
    throw py::value_error("type and creator are four characters each");
  }
  d->attributes = attributes.is_none() ? 0x0008 : AttributesFromPython(attributes);
  // The resource bit says which kind the file is; only `resource` sets it.
  d->attributes = static_cast<std::uint16_t>((d->attributes & ~0x0001) | (resource ? 0x0001 : 0));
  if (version < 0 || version > 0xFFFF) throw py::value_error("version must fit in 16 bits");
  d->version = static_cast<std::uint16_t>(version);
  d->created = DateFromPython(created);
  d->modified = DateFromPython(modified);
  d->backed_up = DateFromPython(backed_up);
  if (!categories.is_none()) {
    std::uint8_t index = 0;
    for (const py::handle item : py::iter(categories)) {
      if (index == 16) throw py::value_error("a database has at most 16 categories");
      if (py::isinstance<py::tuple>(item)) {
        const auto pair = item.cast<py::tuple>();
        if (pair.size() != 2) throw py::value_error("a category is a name or an (id, name) pair");
        const int id = pair[0].cast<int>();
        if (id < 0 || id > 255) throw py::value_error("a category ID is 0 to 255");
        d->categories.emplace_back(static_cast<std::uint8_t>(id), TextFromPython(pair[1]));
      } else {
        d->categories.emplace_back(index, TextFromPython(item));
      }
      if (d->categories.back().second.size() > 15) {
        throw py::value_error("a category name holds at most 15 bytes");
      }
      ++index;
    }
    while (d->categories.size() < 16) {
      d->categories.emplace_back(static_cast<std::uint8_t>(d->categories.size()), std::string());
    }
    d->write_categories = true;
  }
  if (!app_info.is_none()) {
    const std::string b = BytesFromPython(app_info, "app_info");
    d->app_info.assign(b.begin(), b.end());
  }
  if (!sort_info.is_none()) {
    const std::string b = BytesFromPython(sort_info, "sort_info");
    d->sort_info.assign(b.begin(), b.end());
  }
  return d;
}

namespace {

void Append(DatabaseData& d, const py::object& data, int category, bool secret, bool dirty,
            bool busy, bool deleted, long long unique_id) {
  if (d.is_resource) throw py::value_error("records cannot be added to a resource database");
  const std::string bytes = BytesFromPython(data, "a record's data");
  if (category < 0 || category > 15) throw py::value_error("category must be 0 to 15");
  if (unique_id < 0 || unique_id > 0xFFFFFF) throw py::value_error("unique_id must be 0 to 0xFFFFFF");
  if (bytes.size() > pdb::kMaxRecordSize) throw py::value_error("a record holds at most 65535 bytes");
  if (d.records.size() >= pdb::kMaxRecords) throw py::value_error("a database holds at most 65535 records");
  RecordSlot slot;
  slot.start = d.arena.size();
  slot.size = static_cast<std::uint32_t>(bytes.size());
  slot.category = static_cast<std::uint8_t>(category);
  if (secret) slot.flags.Include(dmRecAttrSecret);
  if (dirty) slot.flags.Include(dmRecAttrDirty);
  if (busy) slot.flags.Include(dmRecAttrBusy);
  if (deleted) slot.flags.Include(dmRecAttrDelete);
  slot.unique_id = static_cast<std::uint32_t>(unique_id);
  d.arena.insert(d.arena.end(), bytes.begin(), bytes.end());
  d.records.push_back(slot);
}

void AppendResource(DatabaseData& d, const py::object& type, long long id, const py::object& data) {
  if (!d.is_resource) throw py::value_error("resources go into a resource database (Database.new(..., resource=True))");
  const std::string four = TextFromPython(type);
  if (four.size() != 4) throw py::value_error("a resource type is four characters");
  if (id < 0 || id > 0xFFFF) throw py::value_error("a resource ID is 0 to 65535");
  const std::string bytes = BytesFromPython(data, "a resource's data");
  if (d.resources.size() >= pdb::kMaxRecords) throw py::value_error("a database holds at most 65535 resources");
  d.resources.push_back(ResourceSlot{four, static_cast<std::uint16_t>(id), d.arena.size(),
                                     static_cast<std::uint32_t>(bytes.size())});
  d.arena.insert(d.arena.end(), bytes.begin(), bytes.end());
}

template <class T>
py::bytes BlockToPython(const T& block) {
  return py::bytes(reinterpret_cast<const char*>(block.data()), block.size());
}

}  // namespace

void RegisterDatabase(py::module_& m) {
  g_record_type = PyStructSequence_NewType(&kRecordDesc);
  if (g_record_type == nullptr) throw py::error_already_set();
  m.add_object("Record", py::handle(reinterpret_cast<PyObject*>(g_record_type)));
  g_iterator_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&kIteratorType));
  if (g_iterator_type == nullptr) throw py::error_already_set();
  m.add_object("_ItemIterator", py::handle(reinterpret_cast<PyObject*>(g_iterator_type)));

  py::class_<Resource>(m, "Resource", "One resource of a resource database (.prc).")
      .def_readonly("type", &Resource::type, "The four-character resource type.")
      .def_readonly("id", &Resource::id, "The resource ID.")
      .def_readonly("data", &Resource::data, "The resource's bytes.")
      .def("__repr__", [](const Resource& r) {
        return "<corvane.Resource " + r.type.cast<std::string>() + " " + std::to_string(r.id) + ", " +
               std::to_string(py::len(r.data)) + " bytes>";
      });

  py::class_<DatabaseData, std::shared_ptr<DatabaseData>>(
      m, "Database",
      "A Palm OS database held in memory: its header, its two blocks and its records\n"
      "(or, for a resource database, its resources). corvane.open() reads one;\n"
      "Database.new() starts an empty one; save() writes it.")
      .def_static("new", &NewDatabase, py::arg("name"), py::arg("type"), py::arg("creator"),
                  py::kw_only(), py::arg("attributes") = py::none(), py::arg("version") = 0,
                  py::arg("created") = py::none(), py::arg("modified") = py::none(),
                  py::arg("backed_up") = py::none(), py::arg("categories") = py::none(),
                  py::arg("app_info") = py::none(), py::arg("sort_info") = py::none(),
                  py::arg("resource") = false,
                  "An empty record database (resource=True: an empty resource database, a .prc,\n"
                  "filled by append_resource()). name: at most 31 characters; type and creator:\n"
                  "four each. attributes: a set of names (default {'backup'}) or the word.\n"
                  "Dates left None are set by the writer. categories: up to 16 names or\n"
                  "(id, name) pairs, written as the table that opens the application-info\n"
                  "block (app_info then follows it).")
      .def_property(
          "name", [](const DatabaseData& d) { return TextToPython(d.name); },
          [](DatabaseData& d, const py::object& v) { d.name = TextFromPython(v); })
      .def_property(
          "type", [](const DatabaseData& d) { return TextToPython(d.type); },
          [](DatabaseData& d, const py::object& v) { d.type = TextFromPython(v); })
      .def_property(
          "creator", [](const DatabaseData& d) { return TextToPython(d.creator); },
          [](DatabaseData& d, const py::object& v) { d.creator = TextFromPython(v); })
      .def_property(
          "attributes", [](const DatabaseData& d) { return AttributesToPython(d.attributes); },
          [](DatabaseData& d, const py::object& v) {
            d.attributes = static_cast<std::uint16_t>((AttributesFromPython(v) & ~0x0001) |
                                                      (d.attributes & 0x0001));
          },
          "The header's attribute bits as a set of names ('backup', 'readOnly', ...).")
      .def_readwrite("version", &DatabaseData::version)
      .def_property(
          "created", [](const DatabaseData& d) { return DateToPython(d.created); },
          [](DatabaseData& d, const py::object& v) { d.created = DateFromPython(v); })
      .def_property(
          "modified", [](const DatabaseData& d) { return DateToPython(d.modified); },
          [](DatabaseData& d, const py::object& v) { d.modified = DateFromPython(v); })
      .def_property(
          "backed_up", [](const DatabaseData& d) { return DateToPython(d.backed_up); },
          [](DatabaseData& d, const py::object& v) { d.backed_up = DateFromPython(v); })
      .def_readwrite("modification_number", &DatabaseData::modification_number)
      .def_readwrite("unique_id_seed", &DatabaseData::unique_id_seed)
      .def_property_readonly(
          "categories",
          [](const DatabaseData& d) {
            py::list out;
            for (const auto& [id, name] : d.categories) out.append(py::make_tuple(id, TextToPython(name)));
            return out;
          },
          "The category table as 16 (id, name) pairs, indexed by Record.category; [] when the\n"
          "database has none.")
      .def_property(
          "app_info", [](const DatabaseData& d) { return BlockToPython(d.app_info); },
          [](DatabaseData& d, const py::object& v) {
            const std::string b = v.is_none() ? std::string() : BytesFromPython(v, "app_info");
            d.app_info.assign(b.begin(), b.end());
          },
          "The application-info block (b'' when there is none).")
      .def_property(
          "sort_info", [](const DatabaseData& d) { return BlockToPython(d.sort_info); },
          [](DatabaseData& d, const py::object& v) {
            const std::string b = v.is_none() ? std::string() : BytesFromPython(v, "sort_info");
            d.sort_info.assign(b.begin(), b.end());
          },
          "The sort-info block (b'' when there is none).")
      .def_property_readonly("is_resource", [](const DatabaseData& d) { return d.is_resource; })
      .def("__len__", [](const DatabaseData& d) { return CountOf(d); })
      .def("__getitem__",
           [](const DatabaseData& d, long long i) {
             const auto n = static_cast<long long>(CountOf(d));
             if (i < 0) i += n;
             if (i < 0 || i >= n) throw py::index_error("record index out of range");
             return ItemAt(d, static_cast<std::size_t>(i));
           })
      .def("__iter__", &Iterate)
      .def("append", &Append, py::arg("data"), py::kw_only(), py::arg("category") = 0,
           py::arg("secret") = false, py::arg("dirty") = false, py::arg("busy") = false,
           py::arg("deleted") = false, py::arg("unique_id") = 0,
           "Adds a record at the end. category: 0 to 15; unique_id: 0 to 0xFFFFFF (0 lets\n"
           "the writer number it).")
      .def("append_resource", &AppendResource, py::arg("type"), py::arg("id"), py::arg("data"),
           "Adds a resource at the end of a resource database: type four characters, id 0 to\n"
           "65535 (a type and ID given twice is written twice, as some files hold them).")
      .def(
          "save",
          [](const DatabaseData& d, const py::object& path) {
            const std::string p = py::module_::import("os").attr("fsdecode")(path).cast<std::string>();
            py::gil_scoped_release unlocked;
            WriteDatabase(d, p);
          },
          py::arg("path"),
          "Writes the database to path (a .pdb file; a resource database under any name,\n"
          "usually .prc) whole into a temporary file that then replaces the target, so a\n"
          "failure leaves an earlier file as it was. A resource database read from a file\n"
          "comes back byte for byte while its name and dates are unchanged.")
      .def(
          "to_bytes",
          [](const DatabaseData& d) {
            Bytes image;
            {
              py::gil_scoped_release unlocked;
              image = WriteDatabase(d, "");
            }
            return BlockToPython(image);
          },
          "The bytes save() would write.")
      .def("__repr__", [](const DatabaseData& d) {
        return "<corvane.Database '" + py::str(TextToPython(d.name)).cast<std::string>() + "' " +
               py::str(TextToPython(d.type)).cast<std::string>() + "/" +
               py::str(TextToPython(d.creator)).cast<std::string>() + ", " +
               std::to_string(CountOf(d)) + (d.is_resource ? " resources>" : " records>");
      });

  m.def("open", &Open, py::arg("source"),
        "Reads a database whole: source is a path (str or os.PathLike) or the file's bytes.\n"
        "Raises corvane.Error when they are not a sound database, OSError when the file\n"
        "cannot be read.");

  py::class_<pdb::Finding>(m, "Finding", "One fault check() found.")
      .def_readonly("warning", &pdb::Finding::warning,
                    "True for what readers can live with (an odd category table).")
      .def_readonly("text", &pdb::Finding::text)
      .def("__repr__", [](const pdb::Finding& f) {
        return std::string(f.warning ? "<warning: " : "<problem: ") + f.text + ">";
      });
  m.def(
      "check",
      [](const py::object& source) {
        Bytes bytes;
        if (PyObject_CheckBuffer(source.ptr()) && !py::isinstance<py::str>(source)) {
          const std::string copy = BytesFromPython(source, "the database");
          bytes.assign(copy.begin(), copy.end());
          py::gil_scoped_release unlocked;
          return pdb::CheckStructure(bytes);
        }
        const std::string path = py::module_::import("os").attr("fsdecode")(source).cast<std::string>();
        py::gil_scoped_release unlocked;
        return pdb::CheckStructure(ReadFile(path));
      },
      py::arg("source"),
      "Checks the structure of a database (a path or its bytes) without trusting any of its\n"
      "numbers; a list of Finding, empty when it is sound.");
}

}  // namespace corvane::python
