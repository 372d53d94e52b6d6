// The engine samples in samples/: each engine's name and the --field list its
// sample file is read with (AppForge's fields come from the file).
#pragma once

#include <string>
#include <vector>

namespace corvane::test {

struct Sample {
  std::string engine;
  std::vector<std::string> fields;  // --field values; AppForge's come from the file
};

inline const std::vector<Sample>& Samples() {
  static const std::vector<Sample> samples = {
      {"appforge", {}},
      {"pocketstudio",
       {"Done:PSBoolean", "Qty:PSInt16", "Big:PSUInt32", "Day:PSDate", "At:PSTime",
        "When:PSDateTime", "Who:PSString", "Code:PSString:6", "Ratio:PSSingle", "Price:PSDouble",
        "Blob:PSBinary"}},
      {"nsbasic",
       {"Room:NSBByte", "Guests:NSBShort", "Id:NSBInteger", "Cost:NSBFloat", "Tax:NSBSingle",
        "Total:NSBDouble", "Day:NSBDate", "Arrived:NSBTime", "Guest:NSBString",
        "Code:NSBString:4"}},
      {"java",
       {"Flags:JByte", "Done:JBoolean", "Mark:JChar", "Id:JInt", "Stamp:JLong", "Prio:JShort",
        "Text:JString", "Due:JDate"}},
      {"sqldriver",
       {"Name:PDChar:20", "Age:PDShort", "Points:PDInt", "Balance:PDLong", "Rate:PDFloat",
        "Total:PDDouble"}},
      {"generic", {"Sensor:pdtByte",     "Count:pdtWord",     "Delta:pdtInteger", "Temp:pdtFloat",
                   "Avg:pdtDouble",      "Taken:pdtDate",     "Place:pdtString",  "Ok:pdtPSBoolean",
                   "I8:pdtPSInt8",       "I16:pdtPSInt16",    "I32:pdtPSInt32",   "U8:pdtPSUInt8",
                   "U16:pdtPSUInt16",    "U32:pdtPSUInt32",   "Day:pdtPSDate",    "At:pdtPSTime",
                   "When:pdtPSDateTime", "Tag:pdtPSString:8", "S:pdtPSSingle",    "D:pdtPSDouble"}},
  };
  return samples;
}

}  // namespace corvane::test
