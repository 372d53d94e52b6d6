#include <cmath>
#include <string>

#include "corvane/host/exceptions.h"
#include "corvane/host/variant.h"
#include "corvane/host/variant_text.h"

namespace corvane {

namespace {

using variant_text::kCurrencyScale;
using variant_text::kTwoPow63;
using variant_text::ParseInt64;

template <class T>
int Sign(T a, T b) noexcept {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// NaN sorts before every other number and equals itself, so the order is total.
int CompareDoubles(double a, double b) noexcept {
  bool na = std::isnan(a), nb = std::isnan(b);
  if (na || nb) return na && nb ? 0 : (na ? -1 : 1);
  return Sign(a, b);
}

// Exact, where converting the integer to double would lose its low bits.
int CompareIntDouble(std::int64_t a, double d) noexcept {
  if (std::isnan(d)) return 1;
  if (d >= kTwoPow63) return -1;
  if (d < -kTwoPow63) return 1;
  double t = std::trunc(d);
  auto ti = static_cast<std::int64_t>(t);
  if (a != ti) return Sign(a, ti);
  return Sign(0.0, d - t);
}

int CompareIntCurrency(std::int64_t a, Currency c) noexcept {
  std::int64_t q = c.value / kCurrencyScale;
  std::int64_t r = c.value % kCurrencyScale;
  if (a != q) return Sign(a, q);
  return Sign(std::int64_t{0}, r);
}

// A value as a number for comparing: exact kinds stay exact.
struct NumberKey {
  enum Kind { Int, Cur, Dbl } kind;
  std::int64_t i = 0;
  Currency c{};
  double d = 0;
};

NumberKey ToNumberKey(const Variant& v) {
  switch (v.Type()) {
    case VarType::Integer:
    case VarType::Boolean:
      return {NumberKey::Int, v.AsInt64()};
    case VarType::Currency:
      return {NumberKey::Cur, 0, v.AsCurrency()};
    default:
      return {NumberKey::Dbl, 0, {}, v.AsDouble()};
  }
}

int CompareNumbers(const NumberKey& a, const NumberKey& b) noexcept {
  using K = NumberKey;
  if (a.kind == K::Int && b.kind == K::Int) return Sign(a.i, b.i);
  if (a.kind == K::Cur && b.kind == K::Cur) return Sign(a.c.value, b.c.value);
  if (a.kind == K::Int && b.kind == K::Cur) return CompareIntCurrency(a.i, b.c);
  if (a.kind == K::Cur && b.kind == K::Int) return -CompareIntCurrency(b.i, a.c);
  if (a.kind == K::Int && b.kind == K::Dbl) return CompareIntDouble(a.i, b.d);
  if (a.kind == K::Dbl && b.kind == K::Int) return -CompareIntDouble(b.i, a.d);
  double x = a.kind == K::Cur ? a.c.ToDouble() : a.d;
  double y = b.kind == K::Cur ? b.c.ToDouble() : b.d;
  return CompareDoubles(x, y);
}

// A text compared with a number is read as that number's kind (a boolean's
// kind being the number it stands for, so that the order stays total).
Variant TextAsKindOf(const Variant& text, VarType kind) {
  switch (kind) {
    case VarType::Integer: {
      if (auto i = ParseInt64(text.AsString())) return Variant(static_cast<long long>(*i));
      return Variant(text.AsDouble());
    }
    case VarType::Currency:
      return Variant(text.AsCurrency());
    case VarType::DateTime:
      return Variant::FromDateTime(text.AsDateTime());
    default:
      return Variant(text.AsDouble());
  }
}

}  // namespace

int Variant::Compare(const Variant& a, const Variant& b) {
  auto rank = [](VarType t) { return t == VarType::Empty ? 0 : (t == VarType::Null ? 1 : 2); };
  int ra = rank(a.type_), rb = rank(b.type_);
  if (ra != 2 || rb != 2) return Sign(ra, rb);
  bool ta = a.type_ == VarType::Text, tb = b.type_ == VarType::Text;
  if (ta && tb) {
    int c = std::get<std::string>(a.value_).compare(std::get<std::string>(b.value_));
    return Sign(c, 0);
  }
  if (ta) return CompareNumbers(ToNumberKey(TextAsKindOf(a, b.type_)), ToNumberKey(b));
  if (tb) return CompareNumbers(ToNumberKey(a), ToNumberKey(TextAsKindOf(b, a.type_)));
  return CompareNumbers(ToNumberKey(a), ToNumberKey(b));
}

bool operator==(const Variant& a, const Variant& b) {
  try {
    return Variant::Compare(a, b) == 0;
  } catch (const EConvertError&) {
    return false;  // values that cannot be compared are not equal
  }
}

}  // namespace corvane
