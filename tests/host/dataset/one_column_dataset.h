// A minimal dataset over a vector of one-column rows, for testing the
// framework's buffer window and the field classes without the record store.
// Buffer layout: [null flag][value: the field's DataSize][row id: 4][bookmark flag: 1].
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "corvane/host/dataset/dataset.h"

namespace corvane::testing {

class OneColumnDataSet : public TDataSet {
 public:
  struct Row {
    std::int32_t id;
    bool has;
    std::vector<std::uint8_t> value;
  };
  std::vector<Row> rows;
  int pos = -1;
  int fail_posts = 0;  // InternalPost raises a database error this many times

  ~OneColumnDataSet() override { CloseForDestroy(); }

  // Rows of a TIntegerField column holding the given numbers.
  void LoadIntegers(int count) {
    rows.clear();
    for (int i = 1; i <= count; ++i) {
      Row r{next_id_++, true, std::vector<std::uint8_t>(4)};
      std::int32_t v = i * 10;
      std::memcpy(r.value.data(), &v, 4);
      rows.push_back(r);
    }
  }
  std::vector<std::int32_t> Values() const {
    std::vector<std::int32_t> out;
    for (const Row& r : rows) {
      std::int32_t v = 0;
      std::memcpy(&v, r.value.data(), std::min<std::size_t>(4, r.value.size()));
      out.push_back(v);
    }
    return out;
  }
  using TDataSet::ActiveBuffer;
  using TDataSet::BufListSize;

 protected:
  int ValueSize() const { return FieldCount() ? Fields()[0]->DataSize() : 0; }
  std::size_t IdAt() const { return static_cast<std::size_t>(1 + ValueSize()); }

  std::unique_ptr<TRecordBuffer> AllocRecordBuffer() override {
    auto b = std::make_unique<TRecordBuffer>();
    b->bytes.assign(IdAt() + 5, 0);
    return b;
  }
  void InternalInitRecord(TRecordBuffer& b) override {
    std::fill(b.bytes.begin(), b.bytes.end(), 0);
  }
  TGetResult GetRecord(TRecordBuffer& b, TGetMode mode, bool check) override {
    const int n = static_cast<int>(rows.size());
    TGetResult r = grOK;
    if (mode == gmCurrent) {
      if (pos < 0 || pos >= n) r = grError;
    } else if (mode == gmNext) {
      if (pos >= n - 1)
        r = grEOF;
      else
        ++pos;
    } else {
      if (pos <= 0) {
        pos = -1;
        r = grBOF;
      } else
        --pos;
    }
    if (r == grOK) {
      const Row& row = rows[static_cast<std::size_t>(pos)];
      b.bytes[0] = row.has;
      std::memcpy(b.bytes.data() + 1, row.value.data(),
                  std::min<std::size_t>(row.value.size(), IdAt() - 1));
      std::memcpy(b.bytes.data() + IdAt(), &row.id, 4);
      b.bytes[IdAt() + 4] = bfCurrent;
    } else if (r == grError && check) {
      DatabaseError("no row");
    }
    return r;
  }
  int GetRecordCount() const override { return static_cast<int>(rows.size()); }
  int GetRecNo() override {
    UpdateCursorPos();
    return pos + 1;
  }
  bool IsCursorOpen() const override { return open_; }
  void GetBookmarkData(TRecordBuffer& b, std::span<std::uint8_t> d) override {
    std::memcpy(d.data(), b.bytes.data() + IdAt(), 4);
  }
  void SetBookmarkData(TRecordBuffer& b, std::span<const std::uint8_t> d) override {
    std::memcpy(b.bytes.data() + IdAt(), d.data(), 4);
  }
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer& b) override {
    return static_cast<TBookmarkFlag>(b.bytes[IdAt() + 4]);
  }
  void SetBookmarkFlag(TRecordBuffer& b, TBookmarkFlag f) override { b.bytes[IdAt() + 4] = f; }
  void InternalGotoBookmark(std::span<const std::uint8_t> bm) override {
    std::int32_t id;
    std::memcpy(&id, bm.data(), 4);
    for (std::size_t i = 0; i < rows.size(); ++i)
      if (rows[i].id == id) pos = static_cast<int>(i);
  }
  void InternalSetToRecord(TRecordBuffer& b) override {
    InternalGotoBookmark(std::span<const std::uint8_t>(b.bytes.data() + IdAt(), 4));
  }
  void InternalFirst() override { pos = -1; }
  void InternalLast() override { pos = static_cast<int>(rows.size()); }
  void InternalAddRecord(TRecordBuffer&, bool) override {}
  void InternalDelete() override {
    rows.erase(rows.begin() + pos);
    if (pos >= static_cast<int>(rows.size())) --pos;
  }
  void InternalPost() override {
    if (fail_posts > 0) {
      --fail_posts;
      DatabaseError("disk full");
    }
    TRecordBuffer& b = *ActiveBuffer();
    Row row{0, b.bytes[0] != 0,
            std::vector<std::uint8_t>(b.bytes.begin() + 1,
                                      b.bytes.begin() + static_cast<std::ptrdiff_t>(IdAt()))};
    if (State() == dsEdit) {
      row.id = rows[static_cast<std::size_t>(pos)].id;
      rows[static_cast<std::size_t>(pos)] = row;
      return;
    }
    row.id = next_id_++;
    if (pos >= static_cast<int>(rows.size())) {
      rows.push_back(row);
      pos = static_cast<int>(rows.size()) - 1;
    } else {
      if (pos < 0) pos = 0;
      rows.insert(rows.begin() + pos, row);
    }
  }
  void OpenCursor(bool info_only) override {
    InitFieldDefsFromFields();
    open_ = true;
    TDataSet::OpenCursor(info_only);
  }
  void InternalOpen() override {
    SetBookmarkSize(4);
    if (DefaultFields()) CreateFields();
    BindFields(true);
    pos = -1;
  }
  void InternalClose() override {
    BindFields(false);
    if (DefaultFields()) DestroyFields();
    open_ = false;
  }
  void InternalInitFieldDefs() override {}

 public:
  bool GetFieldData(TField* field, std::span<std::uint8_t> buffer) override {
    TRecordBuffer* b = nullptr;
    if (State() == dsBrowse) b = IsEmpty() ? nullptr : ActiveBuffer();
    if (State() == dsEdit || State() == dsInsert) b = ActiveBuffer();
    if (!b || !b->bytes[0]) return false;
    if (buffer.data())
      std::memcpy(buffer.data(), b->bytes.data() + 1, static_cast<std::size_t>(field->DataSize()));
    return true;
  }
  void SetFieldData(TField* field, std::span<const std::uint8_t> buffer) override {
    if (State() != dsEdit && State() != dsInsert) DatabaseError(dbmsg::SNotEditing);
    if (field->ReadOnly()) DatabaseErrorFmt(dbmsg::SFieldReadOnly, {field->DisplayName()});
    field->Validate(buffer);
    TRecordBuffer& b = *ActiveBuffer();
    b.bytes[0] = buffer.data() != nullptr;
    if (buffer.data())
      std::memcpy(b.bytes.data() + 1, buffer.data(), static_cast<std::size_t>(field->DataSize()));
    DataEvent(deFieldChange, field);
  }

 private:
  bool open_ = false;
  std::int32_t next_id_ = 1;
};

}  // namespace corvane::testing
