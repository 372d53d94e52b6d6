#include "corvane/host/persistent.h"

#include <cstdlib>
#include <memory>
#include <typeinfo>

#if defined(__GNUG__)
#include <cxxabi.h>
#endif

#include "corvane/host/exceptions.h"

namespace corvane {

namespace {

bool IsIdentifierChar(char c) noexcept {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Drops every namespace or enclosing-class qualifier, also inside template
// arguments: "corvane::TOwnedCollection<corvane::X>" -> "TOwnedCollection<X>".
std::string StripQualifiers(const std::string& name) {
  static const std::string kAnonymous = "(anonymous namespace)::";
  std::string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size();) {
    if (name.compare(i, kAnonymous.size(), kAnonymous) == 0) {
      i += kAnonymous.size();
      continue;
    }
    if (name.compare(i, 2, "::") == 0) {
      while (!out.empty() && IsIdentifierChar(out.back())) out.pop_back();
      i += 2;
      continue;
    }
    out += name[i++];
  }
  return out;
}

std::string Demangle(const char* mangled) {
#if defined(__GNUG__)
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> plain(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  if (status == 0 && plain) return plain.get();
#endif
  return mangled;
}

}  // namespace

TPersistent::~TPersistent() = default;

void TPersistent::Assign(const TPersistent& source) { source.AssignTo(*this); }

std::string TPersistent::ClassName() const { return StripQualifiers(Demangle(typeid(*this).name())); }

void TPersistent::AssignTo(TPersistent& dest) const {
  throw EConvertError("Cannot assign a " + ClassName() + " to a " + dest.ClassName());
}

}  // namespace corvane
