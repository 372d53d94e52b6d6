// Fields (the typed view of one column of the current record) and field
// definitions (what the dataset stores).
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "corvane/host/component.h"
#include "corvane/host/currency.h"
#include "corvane/host/dataset/db_types.h"
#include "corvane/host/dataset/stream.h"
#include "corvane/host/datetime.h"
#include "corvane/host/variant.h"

namespace corvane {

class TDataSet;
class TFieldDefs;

// ---------------------------------------------------------------------------
// Field definitions

class TFieldDef {
 public:
  explicit TFieldDef(TFieldDefs* collection);
  ~TFieldDef();
  TFieldDef(const TFieldDef&) = delete;
  TFieldDef& operator=(const TFieldDef&) = delete;

  const std::string& Name() const noexcept { return name_; }
  void SetName(std::string name);
  TFieldType DataType() const noexcept { return data_type_; }
  void SetDataType(TFieldType type);
  int Size() const noexcept { return size_; }
  void SetSize(int size);  // negative: SInvalidFieldSize
  int Precision() const noexcept { return precision_; }
  void SetPrecision(int precision);
  bool Required() const noexcept { return required_; }
  void SetRequired(bool v);
  bool ReadOnly() const noexcept { return read_only_; }
  void SetReadOnly(bool v);
  // 1-based position in the flattened definition list (0 before it is built).
  int FieldNo() const noexcept { return field_no_; }

  TFieldDefs& ChildDefs();
  bool HasChildDefs() const noexcept;
  TFieldDef* ParentDef() const noexcept;
  TFieldDefs* Collection() const noexcept { return collection_; }
  // Parent names and own name joined by '.'.
  std::string FullName() const;

 private:
  friend class TFieldDefList;
  void CheckEditable() const;
  void Changed();

  TFieldDefs* collection_;
  std::string name_;
  TFieldType data_type_ = ftUnknown;
  int size_ = 0;
  int precision_ = 0;
  bool required_ = false;
  bool read_only_ = false;
  int field_no_ = 0;
  std::unique_ptr<TFieldDefs> child_defs_;
};

class TFieldDefs {
 public:
  // A top-level collection belongs to a dataset; child collections to a definition.
  explicit TFieldDefs(TDataSet* dataset, TFieldDef* parent = nullptr);
  ~TFieldDefs();
  TFieldDefs(const TFieldDefs&) = delete;
  TFieldDefs& operator=(const TFieldDefs&) = delete;

  TFieldDef& AddFieldDef();
  TFieldDef& Add(std::string name, TFieldType type, int size = 0, bool required = false);
  void Clear();
  int Count() const noexcept { return static_cast<int>(items_.size()); }
  TFieldDef& Items(int index) const;  // out of range: EListError
  TFieldDef& operator[](int index) const { return Items(index); }
  int IndexOf(const std::string& name) const;      // case-insensitive; -1 when none
  TFieldDef* Find(const std::string& name) const;  // nullptr when none
  TDataSet* DataSet() const noexcept { return dataset_; }
  TFieldDef* ParentDef() const noexcept { return parent_; }
  // Definitions cannot change while their dataset is open: SDataSetOpen.
  void CheckEditable() const;
  void Changed();

 private:
  TDataSet* dataset_;
  TFieldDef* parent_;
  std::vector<std::unique_ptr<TFieldDef>> items_;
};

// Every definition, depth-first, under its full name.
class TFieldDefList {
 public:
  int Count() const noexcept { return static_cast<int>(defs_.size()); }
  TFieldDef& Items(int index) const;                // out of range: EListError
  const std::string& Strings(int index) const;      // full name
  int IndexOf(const std::string& full_name) const;  // case-insensitive; -1 when none
  TFieldDef* Find(const std::string& full_name) const;

 private:
  friend class TDataSet;
  void Rebuild(const TFieldDefs& root);
  std::vector<TFieldDef*> defs_;
  std::vector<std::string> names_;
};

// ---------------------------------------------------------------------------
// Fields

class TField : public TComponent {
 public:
  explicit TField(TComponent* owner = nullptr);
  ~TField() override;

  TDataSet* DataSet() const noexcept { return dataset_; }
  // Adds the field to (or, with nullptr, removes it from) a closed dataset.
  void SetDataSet(TDataSet* dataset);

  const std::string& FieldName() const noexcept { return field_name_; }
  void SetFieldName(std::string name);
  const std::string& FullName() const noexcept { return field_name_; }
  const std::string& DisplayLabel() const noexcept { return display_label_; }
  void SetDisplayLabel(std::string label) { display_label_ = std::move(label); }
  const std::string& DisplayName() const noexcept {
    return display_label_.empty() ? field_name_ : display_label_;
  }

  TFieldKind FieldKind() const noexcept { return field_kind_; }
  void SetFieldKind(TFieldKind kind);
  bool Calculated() const noexcept { return field_kind_ == fkCalculated; }
  void SetCalculated(bool v) { SetFieldKind(v ? fkCalculated : fkData); }
  bool Lookup() const noexcept { return field_kind_ == fkLookup; }
  TFieldType DataType() const noexcept { return data_type_; }
  int Size() const noexcept { return size_; }
  void SetSize(int size);
  // Bytes of the field's value in its native form.
  virtual int DataSize() const { return 0; }
  virtual bool IsBlob() const noexcept { return false; }
  // Bound data fields: the definition's position (above 0). Calculated and
  // lookup fields: 0 or below.
  int FieldNo() const noexcept { return field_no_; }
  // Calculated fields: position in the calculation area; blob fields: index
  // among the blob fields.
  int Offset() const noexcept { return offset_; }
  bool ReadOnly() const noexcept { return read_only_; }
  void SetReadOnly(bool v) { read_only_ = v; }
  bool Required() const noexcept { return required_; }
  void SetRequired(bool v) { required_ = v; }
  int Index() const;  // position among the dataset's fields, -1 without one

  // Native data. GetData with an empty span only tells whether there is a
  // value; SetData with an empty span clears it.
  bool GetData(std::span<std::uint8_t> buffer) const;
  void SetData(std::span<const std::uint8_t> buffer);
  virtual void Validate(std::span<const std::uint8_t> buffer);
  virtual bool IsNull() const;
  virtual void Clear();

  bool AsBoolean() const { return GetAsBoolean(); }
  void SetAsBoolean(bool v) { SetAsBooleanImpl(v); }
  std::int32_t AsInteger() const { return GetAsInteger(); }
  void SetAsInteger(std::int32_t v) { SetAsIntegerImpl(v); }
  std::int64_t AsLargeInt() const { return GetAsLargeInt(); }
  void SetAsLargeInt(std::int64_t v) { SetAsLargeIntImpl(v); }
  double AsFloat() const { return GetAsFloat(); }
  void SetAsFloat(double v) { SetAsFloatImpl(v); }
  Currency AsCurrency() const { return GetAsCurrency(); }
  void SetAsCurrency(Currency v) { SetAsCurrencyImpl(v); }
  TDateTime AsDateTime() const { return GetAsDateTime(); }
  void SetAsDateTime(TDateTime v) { SetAsDateTimeImpl(v); }
  std::string AsString() const { return GetAsString(); }
  void SetAsString(const std::string& v) { SetAsStringImpl(v); }
  Variant AsVariant() const { return GetAsVariant(); }
  // Null and empty clear the field.
  void SetAsVariant(const Variant& v);

  // Called with the field while a new value is validated (the field then
  // reads as that value); may raise to reject it.
  std::function<void(TField&)> OnValidate;
  // Called after the field's value changed.
  std::function<void(TField&)> OnChange;

 protected:
  TField(TComponent* owner, TFieldType type, int size = 0);
  void SetDataType(TFieldType type) noexcept { data_type_ = type; }
  virtual void CheckSize(int size) const;

  virtual bool GetAsBoolean() const;
  virtual std::int32_t GetAsInteger() const;
  virtual std::int64_t GetAsLargeInt() const;
  virtual double GetAsFloat() const;
  virtual Currency GetAsCurrency() const;
  virtual TDateTime GetAsDateTime() const;
  virtual std::string GetAsString() const;
  virtual Variant GetAsVariant() const;
  virtual void SetAsBooleanImpl(bool v);
  virtual void SetAsIntegerImpl(std::int32_t v);
  virtual void SetAsLargeIntImpl(std::int64_t v);
  virtual void SetAsFloatImpl(double v);
  virtual void SetAsCurrencyImpl(Currency v);
  virtual void SetAsDateTimeImpl(TDateTime v);
  virtual void SetAsStringImpl(const std::string& v);
  virtual void SetVarValue(const Variant& v);

  // Room for one native value: on the stack for the sizes fields usually have,
  // so reading a field costs no allocation.
  class ValueBuffer {
   public:
    explicit ValueBuffer(std::size_t size = 0) { Resize(size); }
    void Resize(std::size_t size) {
      size_ = size;
      if (size > sizeof inline_)
        heap_.assign(size, 0);
      else
        std::memset(inline_, 0, size);
    }
    std::uint8_t* data() noexcept { return size_ > sizeof inline_ ? heap_.data() : inline_; }
    const std::uint8_t* data() const noexcept {
      return size_ > sizeof inline_ ? heap_.data() : inline_;
    }
    std::size_t size() const noexcept { return size_; }
    std::uint8_t& operator[](std::size_t i) noexcept { return data()[i]; }
    const std::uint8_t* begin() const noexcept { return data(); }
    const std::uint8_t* end() const noexcept { return data() + size_; }
    operator std::span<std::uint8_t>() noexcept { return {data(), size_}; }
    operator std::span<const std::uint8_t>() const noexcept { return {data(), size_}; }

   private:
    std::uint8_t inline_[128];
    std::vector<std::uint8_t> heap_;
    std::size_t size_ = 0;
  };

  [[noreturn]] void AccessError(const char* type_name) const;
  [[noreturn]] void RangeError(const std::string& value, const std::string& min,
                               const std::string& max) const;
  [[noreturn]] void ValueError(const std::string& value) const;
  // Reads the native value into a buffer of DataSize bytes; false when null.
  bool ReadNative(ValueBuffer& buffer) const;

 private:
  friend class TDataSet;
  friend std::unique_ptr<TField> CreateFieldForType(TFieldType type, TComponent* owner);
  TDataSet* dataset_ = nullptr;
  std::string field_name_;
  std::string display_label_;
  TFieldKind field_kind_ = fkData;
  TFieldType data_type_ = ftUnknown;
  int size_ = 0;
  int field_no_ = 0;
  int offset_ = 0;
  bool read_only_ = false;
  bool required_ = false;
  // Set while OnValidate runs, so the field reads as the value being validated.
  const std::span<const std::uint8_t>* validating_ = nullptr;
};

// Text of at most Size bytes, zero-terminated in the record.
class TStringField : public TField {
 public:
  explicit TStringField(TComponent* owner = nullptr, int size = 20);
  int DataSize() const override { return Size() + 1; }
  // A fixed-length string (ftFixedChar) instead of a variable one.
  bool FixedChar() const noexcept { return DataType() == ftFixedChar; }
  void SetFixedChar(bool v) { SetDataType(v ? ftFixedChar : ftString); }

 protected:
  TStringField(TComponent* owner, TFieldType type, int size);
  void CheckSize(int size) const override;
  bool GetAsBoolean() const override;
  std::int32_t GetAsInteger() const override;
  std::int64_t GetAsLargeInt() const override;
  double GetAsFloat() const override;
  Currency GetAsCurrency() const override;
  TDateTime GetAsDateTime() const override;
  std::string GetAsString() const override;
  Variant GetAsVariant() const override;
  void SetAsBooleanImpl(bool v) override;
  void SetAsIntegerImpl(std::int32_t v) override;
  void SetAsLargeIntImpl(std::int64_t v) override;
  void SetAsFloatImpl(double v) override;
  void SetAsCurrencyImpl(Currency v) override;
  void SetAsDateTimeImpl(TDateTime v) override;
  void SetAsStringImpl(const std::string& v) override;
  void SetVarValue(const Variant& v) override;
};

// A GUID in its 38-character braced text form.
class TGuidField : public TStringField {
 public:
  explicit TGuidField(TComponent* owner = nullptr);

 protected:
  void CheckSize(int size) const override;
};

// Text of at most Size 16-bit characters. Byte strings map one byte to one
// character (bytes 0 to 255); characters above 255 read back as '?'.
class TWideStringField : public TStringField {
 public:
  explicit TWideStringField(TComponent* owner = nullptr, int size = 20);
  int DataSize() const override { return 2 * Size() + 2; }

 protected:
  std::string GetAsString() const override;
  void SetAsStringImpl(const std::string& v) override;
};

// Integers of every width share this behaviour; the width and range come
// from the data type.
class TIntegerField : public TField {
 public:
  explicit TIntegerField(TComponent* owner = nullptr);
  int DataSize() const override;
  std::int64_t MinRange() const noexcept;
  std::int64_t MaxRange() const noexcept;

 protected:
  TIntegerField(TComponent* owner, TFieldType type);
  bool GetAsBoolean() const override;
  std::int32_t GetAsInteger() const override;
  std::int64_t GetAsLargeInt() const override;
  double GetAsFloat() const override;
  Currency GetAsCurrency() const override;
  std::string GetAsString() const override;
  Variant GetAsVariant() const override;
  void SetAsBooleanImpl(bool v) override;
  void SetAsIntegerImpl(std::int32_t v) override { SetAsLargeIntImpl(v); }
  void SetAsLargeIntImpl(std::int64_t v) override;
  void SetAsFloatImpl(double v) override;
  void SetAsCurrencyImpl(Currency v) override;
  void SetAsStringImpl(const std::string& v) override;
  void SetVarValue(const Variant& v) override;
  bool ReadInt(std::int64_t& out) const;
};

class TSmallintField : public TIntegerField {
 public:
  explicit TSmallintField(TComponent* owner = nullptr) : TIntegerField(owner, ftSmallint) {}
};
class TWordField : public TIntegerField {
 public:
  explicit TWordField(TComponent* owner = nullptr) : TIntegerField(owner, ftWord) {}
};
class TAutoIncField : public TIntegerField {
 public:
  explicit TAutoIncField(TComponent* owner = nullptr) : TIntegerField(owner, ftAutoInc) {}
};
class TLargeintField : public TIntegerField {
 public:
  explicit TLargeintField(TComponent* owner = nullptr) : TIntegerField(owner, ftLargeint) {}
};

// A boolean held in 16 bits (0 false, anything else true).
class TBooleanField : public TField {
 public:
  explicit TBooleanField(TComponent* owner = nullptr);
  int DataSize() const override { return 2; }

 protected:
  bool GetAsBoolean() const override;
  std::string GetAsString() const override;
  Variant GetAsVariant() const override;
  void SetAsBooleanImpl(bool v) override;
  void SetAsStringImpl(const std::string& v) override;
  void SetVarValue(const Variant& v) override;
};

// A 64-bit float; TCurrencyField marks it as an amount of money.
class TFloatField : public TField {
 public:
  explicit TFloatField(TComponent* owner = nullptr);
  int DataSize() const override { return 8; }

 protected:
  TFloatField(TComponent* owner, TFieldType type);
  bool ReadFloat(double& out) const;
  std::int32_t GetAsInteger() const override;
  std::int64_t GetAsLargeInt() const override;
  double GetAsFloat() const override;
  Currency GetAsCurrency() const override;
  std::string GetAsString() const override;
  Variant GetAsVariant() const override;
  void SetAsIntegerImpl(std::int32_t v) override { SetAsFloatImpl(v); }
  void SetAsLargeIntImpl(std::int64_t v) override;
  void SetAsFloatImpl(double v) override;
  void SetAsCurrencyImpl(Currency v) override { SetAsFloatImpl(v.ToDouble()); }
  void SetAsStringImpl(const std::string& v) override;
  void SetVarValue(const Variant& v) override;
};

class TCurrencyField : public TFloatField {
 public:
  explicit TCurrencyField(TComponent* owner = nullptr) : TFloatField(owner, ftCurrency) {}

 protected:
  Variant GetAsVariant() const override;
};

// A packed decimal of 34 bytes: precision, sign and scale, 32 digit nibbles.
// Values pass through Currency (four decimal places).
class TBCDField : public TField {
 public:
  explicit TBCDField(TComponent* owner = nullptr);
  int DataSize() const override { return 34; }

 protected:
  void CheckSize(int size) const override;
  bool ReadCurrency(Currency& out) const;
  std::int32_t GetAsInteger() const override;
  std::int64_t GetAsLargeInt() const override;
  double GetAsFloat() const override;
  Currency GetAsCurrency() const override;
  std::string GetAsString() const override;
  Variant GetAsVariant() const override;
  void SetAsIntegerImpl(std::int32_t v) override {
    SetAsCurrencyImpl(Currency::FromRaw(std::int64_t{v} * 10000));
  }
  void SetAsLargeIntImpl(std::int64_t v) override;
  void SetAsFloatImpl(double v) override { SetAsCurrencyImpl(Currency::FromDouble(v)); }
  void SetAsCurrencyImpl(Currency v) override;
  void SetAsStringImpl(const std::string& v) override;
  void SetVarValue(const Variant& v) override;
};

// Packs a currency into the 34-byte decimal form and back; false when the
// bytes are not a valid decimal or do not fit.
void CurrencyToBcd(Currency value, std::span<std::uint8_t, 34> out) noexcept;
bool BcdToCurrency(std::span<const std::uint8_t, 34> bcd, Currency& out) noexcept;

// Date-time (ftDateTime, a TDateTime), date (ftDate: day number from
// 0001-01-01 counting that day as 1, 32 bits) or time of day (ftTime:
// milliseconds since midnight, 32 bits).
class TDateTimeField : public TField {
 public:
  explicit TDateTimeField(TComponent* owner = nullptr);
  int DataSize() const override;

 protected:
  TDateTimeField(TComponent* owner, TFieldType type);
  bool ReadDateTime(TDateTime& out) const;
  double GetAsFloat() const override;
  TDateTime GetAsDateTime() const override;
  std::string GetAsString() const override;
  Variant GetAsVariant() const override;
  void SetAsFloatImpl(double v) override { SetAsDateTimeImpl(v); }
  void SetAsDateTimeImpl(TDateTime v) override;
  void SetAsStringImpl(const std::string& v) override;
  void SetVarValue(const Variant& v) override;
};

class TDateField : public TDateTimeField {
 public:
  explicit TDateField(TComponent* owner = nullptr) : TDateTimeField(owner, ftDate) {}
};
class TTimeField : public TDateTimeField {
 public:
  explicit TTimeField(TComponent* owner = nullptr) : TDateTimeField(owner, ftTime) {}
};

// The day number ftDate stores for the date part of a TDateTime, and back.
std::int32_t DateTimeToDateNumber(TDateTime dt) noexcept;
TDateTime DateNumberToDateTime(std::int32_t date) noexcept;

// Fixed bytes (ftBytes, Size bytes) or counted bytes (ftVarBytes: a 16-bit
// length in native order, then up to Size bytes). The string accessors carry
// the raw bytes.
class TBytesField : public TField {
 public:
  explicit TBytesField(TComponent* owner = nullptr, int size = 16);
  int DataSize() const override;

 protected:
  TBytesField(TComponent* owner, TFieldType type, int size);
  void CheckSize(int size) const override;
  std::string GetAsString() const override;
  Variant GetAsVariant() const override;
  void SetAsStringImpl(const std::string& v) override;
  void SetVarValue(const Variant& v) override;
};

class TVarBytesField : public TBytesField {
 public:
  explicit TVarBytesField(TComponent* owner = nullptr, int size = 16)
      : TBytesField(owner, ftVarBytes, size) {}
};

// A value of any length, read and written through the dataset's blob streams.
class TBlobField : public TField {
 public:
  explicit TBlobField(TComponent* owner = nullptr);
  bool IsBlob() const noexcept override { return true; }
  bool Modified() const noexcept { return modified_; }
  void SetModified(bool v) noexcept { modified_ = v; }
  bool IsNull() const override;
  void Clear() override;
  std::string BlobData() const { return GetAsString(); }
  std::int64_t BlobSize() const;
  // The value from a stream's position to its end, and into a stream at its
  // position. Loading needs edit or insert state, as AsString does.
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;
  void LoadFromString(const std::string& value) { SetAsStringImpl(value); }

 protected:
  TBlobField(TComponent* owner, TFieldType type);
  void CheckSize(int size) const override;
  std::string GetAsString() const override;
  Variant GetAsVariant() const override;
  void SetAsStringImpl(const std::string& v) override;
  void SetVarValue(const Variant& v) override;

 private:
  bool modified_ = false;
};

class TMemoField : public TBlobField {
 public:
  explicit TMemoField(TComponent* owner = nullptr) : TBlobField(owner, ftMemo) {}
};
class TGraphicField : public TBlobField {
 public:
  explicit TGraphicField(TComponent* owner = nullptr) : TBlobField(owner, ftGraphic) {}
};

// Makes the field class that serves a definition of this type, or nullptr
// when the framework has none.
std::unique_ptr<TField> CreateFieldForType(TFieldType type, TComponent* owner);

}  // namespace corvane
