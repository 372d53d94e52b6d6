// The adapter behind TAnyEngine: one template over the typed-record managers.
// What differs per manager is in its traits (type table, getters and setters
// by type, sizes), each in a file of its own beside this one.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "corvane/engines/any_engine.h"
#include "corvane/engines/frame.h"
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

 protected:
  void SetValue(int index, const Variant& value) override {
    FieldT& f = engine_.Fields().GetItem(index);
    Traits::Set(f, value);
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
    try_pack_.resize(static_cast<std::size_t>(f.RecordWidth()));
    f.PackInto(try_pack_.data());
  }
  void Append() override { engine_.Append(); }
  void Post() override { engine_.Post(); }

 private:
  Engine engine_;
  Bytes try_pack_;
};

std::unique_ptr<TAnyEngine> MakeAppForge();
std::unique_ptr<TAnyEngine> MakePocketStudio();
std::unique_ptr<TAnyEngine> MakeNSBasic();
std::unique_ptr<TAnyEngine> MakeJava();
std::unique_ptr<TAnyEngine> MakeSQLDriver();
std::unique_ptr<TAnyEngine> MakeGeneric();

}  // namespace corvane::any
