#include "corvane/apps/todo.h"

namespace corvane::apps {

ToDoRecord DecodeToDo(std::span<const std::uint8_t> record) {
  ByteReader in(record);
  in.Need(3, 1, kMsgRecordTooShort);
  ToDoRecord t;
  t.due = in.U16();
  const std::uint8_t p = in.U8();
  t.completed = (p & 0x80) != 0;
  t.priority = p & 0x7F;
  t.description = in.CString(2);
  t.note = in.CString(3);
  t.extra = in.Rest();
  return t;
}

Bytes EncodeToDo(const ToDoRecord& todo) {
  if (todo.priority > 0x7F) RaisePDB(1, kMsgValueOutOfRange);
  ByteWriter out;
  out.U16(todo.due);
  out.U8(static_cast<std::uint8_t>(todo.priority | (todo.completed ? 0x80 : 0)));
  out.CString(todo.description, 2);
  out.CString(todo.note, 3);
  out.Raw(todo.extra);
  return out.Take();
}

ToDoAppInfo DecodeToDoAppInfo(std::span<const std::uint8_t> block) {
  ByteReader in(block);
  ToDoAppInfo info;
  info.categories = DecodeCategoryInfo(in, 1);
  in.Need(5, 2, kMsgAppInfoTooShort);
  info.reserved = in.U16();
  info.dirty = in.U16();
  info.sortOrder = in.U8();
  info.extra = in.Rest();
  return info;
}

Bytes EncodeToDoAppInfo(const ToDoAppInfo& info) {
  ByteWriter out;
  EncodeCategoryInfo(info.categories, out, 1);
  out.U16(info.reserved);
  out.U16(info.dirty);
  out.U8(info.sortOrder);
  out.Raw(info.extra);
  return out.Take();
}

}  // namespace corvane::apps
