#include "corvane/host/collection.h"

#include <utility>

#include "corvane/host/exceptions.h"

namespace corvane {

// ---- TCollectionItem ----

TCollectionItem::~TCollectionItem() = default;

int TCollectionItem::Index() const noexcept {
  return collection_ != nullptr ? collection_->IndexOf(*this) : -1;
}

std::string TCollectionItem::GetDisplayName() const { return ClassName(); }

void TCollectionItem::SetDisplayName(const std::string& /*value*/) { Changed(false); }

void TCollectionItem::Changed(bool all_items) {
  if (collection_ != nullptr && collection_->update_count_ == 0) {
    collection_->Update(all_items ? nullptr : this);
  }
}

// ---- TCollection ----

TCollection::~TCollection() {
  // Last first, each item detached before it goes, so an item's destructor
  // never sees a collection that is half torn down.
  while (!items_.empty()) {
    std::unique_ptr<TCollectionItem> last = std::move(items_.back());
    items_.pop_back();
    last->collection_ = nullptr;
  }
}

TCollectionItem& TCollection::Add() {
  std::unique_ptr<TCollectionItem> item = CreateItem();
  if (!item) throw EInvalidCast(ClassName() + " made no item");
  item->collection_ = this;
  items_.push_back(std::move(item));
  TCollectionItem& added = *items_.back();
  Changed();
  return added;
}

void TCollection::Clear() {
  if (items_.empty()) return;
  BeginUpdate();
  while (!items_.empty()) {
    std::unique_ptr<TCollectionItem> last = std::move(items_.back());
    items_.pop_back();
    last->collection_ = nullptr;
  }
  EndUpdate();
}

void TCollection::Delete(int index) { Extract(index).reset(); }

std::unique_ptr<TCollectionItem> TCollection::Extract(int index) {
  CheckIndex(index);
  auto pos = items_.begin() + index;
  std::unique_ptr<TCollectionItem> item = std::move(*pos);
  items_.erase(pos);
  item->collection_ = nullptr;
  Changed();
  return item;
}

void TCollection::RaiseIndex(int index) {
  throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

int TCollection::IndexOf(const TCollectionItem& item) const noexcept {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].get() == &item) return static_cast<int>(i);
  }
  return -1;
}

void TCollection::Assign(const TPersistent& source) {
  if (&source == this) return;  // clearing first would lose what is to be copied
  const auto* from = dynamic_cast<const TCollection*>(&source);
  if (from == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  // Build the copies aside so a failing item.Assign leaves this collection whole.
  std::vector<std::unique_ptr<TCollectionItem>> copies;
  BeginUpdate();
  try {
    copies.reserve(from->items_.size());
    for (const auto& src : from->items_) {
      std::unique_ptr<TCollectionItem> item = CreateItem();
      if (!item) throw EInvalidCast(ClassName() + " made no item");
      item->collection_ = this;
      copies.push_back(std::move(item));
      copies.back()->Assign(*src);
    }
  } catch (...) {
    --update_count_;
    throw;
  }
  items_.swap(copies);
  while (!copies.empty()) {  // the old items, last first
    std::unique_ptr<TCollectionItem> last = std::move(copies.back());
    copies.pop_back();
    last->collection_ = nullptr;
  }
  EndUpdate();
}

void TCollection::EndUpdate() {
  if (update_count_ > 0 && --update_count_ == 0) Changed();
}

void TCollection::Update(TCollectionItem* /*item*/) {}

void TCollection::Changed() {
  if (update_count_ == 0) Update(nullptr);
}

}  // namespace corvane
