// TPDBVirtualDataSet with its protected protocol opened up for tests, and a
// filter decided by a callback on the cursor position.
#pragma once

#include <functional>
#include <string>
#include <vector>

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

  using TPDBVirtualDataSet::IndexOfRecordID;

  // Accepts the row at a cursor position; unset leaves the decision to the
  // dataset's own filter.
  std::function<bool(int position)> accept;
  // Names of the blob fields closed, in order.
  std::vector<std::string> closed_blobs;

  void CloseBlob(TField* field) override {
    closed_blobs.push_back(field->FieldName());
    TPDBVirtualDataSet::CloseBlob(field);
  }

 protected:
  bool RecordFilter() override {
    return accept ? accept(CursorPosition()) : TPDBVirtualDataSet::RecordFilter();
  }
};

}  // namespace corvane::testing
