// The adapter behind TAnyEngine: one template over the typed-record managers.
// What differs per manager is in its traits (type table, getters and setters
// by type, sizes), each in a file of its own beside this one.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "corvane/engines/any_engine.h"
#include "corvane/engines/frame.h"
#include "corvane/engines/pocketstudio.h"
#include "corvane/engines/strict_values.h"
#include "corvane/host/exceptions.h"

namespace corvane::any {

using K = TValueKind;

template <class Traits>
class TAdapter final : public TAnyEngine {
 public:
  using Engine = typename Traits::Engine;
  using FieldT = typename Engine::Field;
  using Enum = typename FieldT::TypeEnum;

  TAdapter() { Traits::Setup(engine_); }
  ~TAdapter() override = default;

  std::string_view Name() const noexcept override { return Traits::kName; }
  std::span<const TAnyFieldType> Types() const noexcept override { return Traits::kTypes; }
  bool FieldsFromFile() const noexcept override { return Traits::kFieldsFromFile; }
  bool FileDescribesFields() const noexcept override {
    return Traits::kFieldsFromFile || !Traits::kImplicit.empty();
  }
  std::string_view ImplicitField() const noexcept override { return Traits::kImplicit; }
  TPDBBaseMgr& Manager() noexcept override { return engine_; }

  int FieldCount() const override { return engine_.Fields().Count(); }
  TAnyFieldDef Field(int index) const override {
    const FieldT& f = engine_.Fields().GetItem(index);
    return TAnyFieldDef{f.FieldName(), static_cast<int>(f.DataType()), f.Size()};
  }
  void ClearFields() override {
    FieldsChanged();
    engine_.Fields().Clear();
    Traits::Setup(engine_);
  }
  void AddField(const std::string& name, int type, std::optional<std::int32_t> size) override {
    if (type < 0 || static_cast<std::size_t>(type) >= Traits::kTypes.size()) {
      throw EConvertError("no such type in the " + std::string(Traits::kName) + " engine");
    }
    if (!Traits::kImplicit.empty() && SameFieldName(name, Traits::kImplicit)) {
      throw EConvertError("'" + std::string(Traits::kImplicit) + "' is the engine's own field");
    }
    FieldsChanged();
    const TAnyFieldType& info = Traits::kTypes[static_cast<std::size_t>(type)];
    const auto e = static_cast<Enum>(type);
    if (size && !info.Sized && *size != FieldT::TypeWidth(e)) {
      throw EConvertError(std::string(info.Name) + " takes no size (its width is " +
                          std::to_string(FieldT::TypeWidth(e)) + ")");
    }
    if (size && info.Sized) Traits::CheckSize(*size);
    FieldT& f = engine_.Fields().Add();
    f.SetFieldName(name);
    f.SetDataType(e);
    if constexpr (requires { f.SetSize(std::int32_t{0}); }) {
      if (size && info.Sized) f.SetSize(*size);
    }
  }

  std::vector<TFileFieldDef> FileFields() override { return Traits::FileFields(engine_); }

  Variant Value(int index) const override {
    const FieldT& f = engine_.Fields().GetItem(index);
    return Traits::Get(f);
  }

  TAnyValueView ValueView(int index, std::string& scratch) const override {
    return Traits::View(engine_.Fields().GetItem(index), scratch);
  }
  void RecordView(std::span<TAnyValueView> out, std::span<std::string> scratch) const override {
    std::size_t at = 0;
    for (const FieldT& f : engine_.Fields()) {
      // Built in place, not copied: a copy (whole or member by member, which
      // the compiler merges) reads the view back in wide loads over the narrow
      // stores that just built it, which the processor cannot forward; this
      // runs for every field of every record. The view is trivially
      // destructible, so its storage is simply reused.
      static_assert(std::is_trivially_destructible_v<TAnyValueView>);
      ::new (static_cast<void*>(&out[at])) TAnyValueView(Traits::View(f, scratch[at]));
      ++at;
    }
  }

 protected:
  void SetValue(int index, const Variant& value) override {
    FieldT& f = engine_.Fields().GetItem(index);
    Traits::Set(f, value);
  }
  std::optional<std::size_t> SplitLength(std::span<const std::uint8_t> record) const override {
    return engine_.SplitLength(record);
  }
  std::size_t SplitMeasured(std::span<const std::uint8_t> record) override {
    std::size_t pos = 0;
    for (FieldT& f : engine_.Fields()) {
      std::size_t taken = 0;
      if (pos > record.size() || !f.SplitFrom(record.subspan(pos), taken)) return pos;
      pos += taken;
    }
    return pos;
  }
  void TryPack(int index) override {
    const FieldT& f = engine_.Fields().GetItem(index);
    // The scratch block is kept: a trial pack per field must not allocate each time.
    const auto width = static_cast<std::size_t>(f.RecordWidth());
    try_pack_.resize(width);
    f.PackInto(try_pack_.data(), width);
  }
  void Append() override { engine_.Append(); }
  void Post() override { engine_.Post(); }

 private:
  Engine engine_;
  Bytes try_pack_;
};

// The views a traits' View gives, one per kind, each what ViewOfValue makes of
// the Variant its Get builds from the same getter's result.
inline TAnyValueView IntegerView(std::int64_t v) noexcept {
  TAnyValueView view;
  view.Integer = v;
  return view;
}
inline TAnyValueView FloatView(double v) noexcept {
  TAnyValueView view;
  view.Float = v;
  return view;
}
inline TAnyValueView AmountView(Currency v) noexcept {
  TAnyValueView view;
  view.Amount = v;
  return view;
}
inline TAnyValueView FlagView(bool v) noexcept {
  TAnyValueView view;
  view.Flag = v;
  return view;
}
inline TAnyValueView WhenView(TDateTime v) noexcept {
  TAnyValueView view;
  view.When = v;
  return view;
}
// A text computed by a getter, kept in scratch.
inline TAnyValueView TextView(std::string text, std::string& scratch) {
  scratch = std::move(text);
  TAnyValueView view;
  view.Text = scratch;
  return view;
}
// A text type whose getter gives the held value's AsString: the held text is
// borrowed, anything else converted into scratch.
inline TAnyValueView HeldTextView(const Variant& held, std::string& scratch) {
  if (const std::string* text = held.TextIf()) {
    TAnyValueView view;
    view.Text = *text;
    return view;
  }
  return TextView(held.AsString(), scratch);
}

// The values of the PocketStudio types, which the PocketStudio engine's fields
// and the generic manager's pdtPS types share: the same accessors, the types
// in the same order. F is either field class; only the engine's has PSBinary.
template <class F>
Variant GetPocketStudioValue(const F& f, TPDBPSFieldType type) {
  switch (type) {
    case PSBoolean:
      return Variant(f.GetAsPSBoolean());
    case PSInt8:
      return Variant(static_cast<long long>(f.GetAsPSInt8()));
    case PSInt16:
      return Variant(static_cast<long long>(f.GetAsPSInt16()));
    case PSInt32:
      return Variant(static_cast<long long>(f.GetAsPSInt32()));
    case PSUInt8:
      return Variant(static_cast<long long>(f.GetAsPSUInt8()));
    case PSUInt16:
      return Variant(static_cast<long long>(f.GetAsPSUInt16()));
    case PSUInt32:
      return Variant(static_cast<long long>(f.GetAsPSUInt32()));
    case PSDate:
      return Variant::FromDateTime(f.GetAsPSDate());
    case PSTime:
      return Variant::FromDateTime(f.GetAsPSTime());
    case PSDateTime:
      return Variant::FromDateTime(f.GetAsPSDateTime());
    case PSString:
      return Variant(f.GetAsPSString());
    case PSSingle:
      return Variant(static_cast<double>(f.GetAsPSSingle()));
    case PSDouble:
      return Variant(f.GetAsPSDouble());
    case PSBinary:
      if constexpr (requires { f.GetAsPSBinary(); }) {
        const Bytes b = f.GetAsPSBinary();
        return Variant(std::string(b.begin(), b.end()));
      }
      break;
  }
  return Variant();
}

// GetPocketStudioValue's value as a view; a PSString borrows the held text.
template <class F>
TAnyValueView ViewPocketStudioValue(const F& f, TPDBPSFieldType type, std::string& scratch) {
  switch (type) {
    case PSBoolean:
      return FlagView(f.GetAsPSBoolean());
    case PSInt8:
      return IntegerView(f.GetAsPSInt8());
    case PSInt16:
      return IntegerView(f.GetAsPSInt16());
    case PSInt32:
      return IntegerView(f.GetAsPSInt32());
    case PSUInt8:
      return IntegerView(f.GetAsPSUInt8());
    case PSUInt16:
      return IntegerView(f.GetAsPSUInt16());
    case PSUInt32:
      return IntegerView(f.GetAsPSUInt32());
    case PSDate:
      return WhenView(f.GetAsPSDate());
    case PSTime:
      return WhenView(f.GetAsPSTime());
    case PSDateTime:
      return WhenView(f.GetAsPSDateTime());
    case PSString:
      return HeldTextView(f.Value(), scratch);
    case PSSingle:
      return FloatView(static_cast<double>(f.GetAsPSSingle()));
    case PSDouble:
      return FloatView(f.GetAsPSDouble());
    case PSBinary:
      if constexpr (requires { f.GetAsPSBinary(); }) {
        const Bytes b = f.GetAsPSBinary();
        return TextView(std::string(b.begin(), b.end()), scratch);
      }
      break;
  }
  return TAnyValueView();
}

template <class F>
void SetPocketStudioValue(F& f, TPDBPSFieldType type, const Variant& v) {
  const auto text_max = f.Size() >= 1 ? static_cast<std::size_t>(f.Size()) : SIZE_MAX;
  switch (type) {
    case PSBoolean:
      f.SetAsPSBoolean(Flag(v));
      break;
    case PSInt8:
      f.SetAsPSInt8(static_cast<std::int8_t>(Whole(v, INT8_MIN, INT8_MAX)));
      break;
    case PSInt16:
      f.SetAsPSInt16(static_cast<std::int16_t>(Whole(v, INT16_MIN, INT16_MAX)));
      break;
    case PSInt32:
      f.SetAsPSInt32(static_cast<std::int32_t>(Whole(v, INT32_MIN, INT32_MAX)));
      break;
    case PSUInt8:
      f.SetAsPSUInt8(static_cast<std::uint8_t>(Whole(v, 0, UINT8_MAX)));
      break;
    case PSUInt16:
      f.SetAsPSUInt16(static_cast<std::uint16_t>(Whole(v, 0, UINT16_MAX)));
      break;
    case PSUInt32:
      f.SetAsPSUInt32(static_cast<std::uint32_t>(Whole(v, 0, UINT32_MAX)));
      break;
    case PSDate:
      f.SetAsPSDate(PalmWordDate(v));
      break;
    case PSTime:
      f.SetAsPSTime(PalmWordTime(v));
      break;
    case PSDateTime:
      f.SetAsPSDateTime(PalmSecondsDate(v));
      break;
    case PSString: {
      std::string scratch;
      f.SetAsPSString(Text(v, text_max, scratch));
      break;
    }
    case PSSingle:
      f.SetAsPSSingle(static_cast<float>(Real(v, true)));
      break;
    case PSDouble:
      f.SetAsPSDouble(Real(v, false));
      break;
    case PSBinary:
      if constexpr (requires { f.SetAsPSBinary(Bytes{}); }) f.SetAsPSBinary(Binary(v, kPSMaxBytes));
      break;
  }
}

std::unique_ptr<TAnyEngine> MakeAppForge();
std::unique_ptr<TAnyEngine> MakePocketStudio();
std::unique_ptr<TAnyEngine> MakeNSBasic();
std::unique_ptr<TAnyEngine> MakeJava();
std::unique_ptr<TAnyEngine> MakeSQLDriver();
std::unique_ptr<TAnyEngine> MakeGeneric();

}  // namespace corvane::any
