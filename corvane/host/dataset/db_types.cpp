#include "corvane/host/dataset/db_types.h"

#include "corvane/host/text.h"

namespace corvane {

const char* FieldTypeName(TFieldType type) noexcept {
  switch (type) {
    case ftString:
      return "String";
    case ftSmallint:
      return "Smallint";
    case ftInteger:
      return "Integer";
    case ftWord:
      return "Word";
    case ftBoolean:
      return "Boolean";
    case ftFloat:
      return "Float";
    case ftCurrency:
      return "Currency";
    case ftBCD:
      return "BCD";
    case ftDate:
      return "Date";
    case ftTime:
      return "Time";
    case ftDateTime:
      return "DateTime";
    case ftBytes:
      return "Bytes";
    case ftVarBytes:
      return "VarBytes";
    case ftAutoInc:
      return "AutoInc";
    case ftBlob:
      return "Blob";
    case ftMemo:
      return "Memo";
    case ftGraphic:
      return "Graphic";
    case ftFmtMemo:
      return "FmtMemo";
    case ftParadoxOle:
      return "ParadoxOle";
    case ftDBaseOle:
      return "DBaseOle";
    case ftTypedBinary:
      return "TypedBinary";
    case ftFixedChar:
      return "FixedChar";
    case ftWideString:
      return "WideString";
    case ftLargeint:
      return "Largeint";
    case ftADT:
      return "ADT";
    case ftOraBlob:
      return "OraBlob";
    case ftOraClob:
      return "OraClob";
    case ftVariant:
      return "Variant";
    case ftGuid:
      return "Guid";
    default:
      return "Unknown";
  }
}

bool IsWriteState(TDataSetState s) noexcept {
  switch (s) {
    case dsEdit:
    case dsInsert:
    case dsSetKey:
    case dsCalcFields:
    case dsFilter:
    case dsNewValue:
    case dsInternalCalc:
      return true;
    default:
      return false;
  }
}

bool IsBlobType(TFieldType type) noexcept {
  return (type >= ftBlob && type <= ftTypedBinary) || type == ftOraBlob || type == ftOraClob;
}

void Abort() {
  throw EAbort("Operation aborted");
}

std::string FormatMessage(std::string_view fmt, std::initializer_list<std::string_view> args) {
  std::string out;
  out.reserve(fmt.size() + 32);
  auto arg = args.begin();
  for (std::size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] == '%' && i + 1 < fmt.size()) {
      if (fmt[i + 1] == 's') {
        if (arg != args.end()) out.append(*arg++);
        ++i;
        continue;
      }
      if (fmt[i + 1] == '%') {
        out.push_back('%');
        ++i;
        continue;
      }
    }
    out.push_back(fmt[i]);
  }
  return out;
}

void DatabaseError(const std::string& message) {
  throw EDatabaseError(message);
}

void DatabaseErrorFmt(std::string_view fmt, std::initializer_list<std::string_view> args) {
  throw EDatabaseError(FormatMessage(fmt, args));
}

std::string ExtractFieldName(const std::string& names, std::size_t& pos) {
  if (pos >= names.size()) {
    pos = names.size();
    return {};
  }
  std::size_t end = names.find(';', pos);
  if (end == std::string::npos) end = names.size();
  std::string name = Trim(std::string_view(names).substr(pos, end - pos));
  pos = end < names.size() ? end + 1 : end;
  return name;
}

}  // namespace corvane
