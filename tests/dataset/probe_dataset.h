// TPDBVirtualDataSet with its protected protocol opened up for tests, and a
// filter decided by a callback on the cursor position.
#pragma once

#include <functional>

#include "corvane/dataset/virtual_dataset.h"

namespace corvane::testing {

class ProbeDataSet : public TPDBVirtualDataSet {
 public:
  using TDataSet::ActiveBuffer;
  using TDataSet::TempBuffer;
  using TPDBVirtualDataSet::GetRecord;
  using TPDBVirtualDataSet::InternalAddRecord;
  using TPDBVirtualDataSet::InternalFirst;
  using TPDBVirtualDataSet::InternalInitRecord;

  // Accepts the row at a cursor position; unset accepts every row.
  std::function<bool(int position)> accept;

 protected:
  bool RecordFilter() override { return accept ? accept(CursorPosition()) : true; }
};

}  // namespace corvane::testing
