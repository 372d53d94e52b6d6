// The NS Basic engine's full-file workload, shared by the engine benchmarks
// and the command's export and import benchmarks: 65,535 records of an
// integer, a text, a date, a double and a short number.
#pragma once

#include <cstdint>

#include "bench/bench_support.h"
#include "corvane/engines/nsbasic.h"

namespace corvane::bench {

template <>
struct Workload<TPDBNSBasic> {
  static constexpr const char* kFile = "nsb.pdb";
  static constexpr int kRecords = 65535;
  static void Define(TPDBNSBasic& e) {
    for (TPDBNSBFieldType t : {NSBInteger, NSBString, NSBDate, NSBDouble, NSBShort})
      e.Fields().Add().SetDataType(t);
  }
  static void Fill(TPDBNSBasic& e, int i) {
    auto& f = e.Fields();
    f.GetItem(0).SetAsNSBInteger(i);
    f.GetItem(1).SetAsNSBString(Name(i));
    f.GetItem(2).SetAsNSBDate(kDay + i % 1000);
    f.GetItem(3).SetAsNSBFloat(i * 0.5);
    f.GetItem(4).SetAsNSBShort(static_cast<std::uint16_t>(i));
  }
};

}  // namespace corvane::bench
