// Collections of persistent items: an ordered list that owns its items, and the
// items that know which collection holds them and at what index.
//
// A collection creates its own items (Add), so the item always has the class
// the collection wants; a derived collection may create derived items by
// overriding the factory. Items are destroyed only by their collection (Delete,
// Clear, the collection's destruction, or by whoever took one with Extract), and
// an item that leaves its collection forgets it, so no item points at a
// collection that no longer holds it.
//
// Changes are reported to the collection's Update hook: Update(item) when one
// item changed (e.g. its display name), Update(nullptr) when the list itself
// changed. Between BeginUpdate and EndUpdate nothing is reported; EndUpdate
// then reports one Update(nullptr).
#pragma once

#include <cstddef>
#include <iterator>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "corvane/host/component.h"
#include "corvane/host/exceptions.h"
#include "corvane/host/persistent.h"

namespace corvane {

class TCollection;

class TCollectionItem : public TPersistent {
 public:
  // An item made outside a collection belongs to none (Collection() is null,
  // Index() is -1) until a collection makes it; collections make their own.
  TCollectionItem() = default;
  TCollectionItem(const TCollectionItem&) = delete;
  TCollectionItem& operator=(const TCollectionItem&) = delete;
  ~TCollectionItem() override;

  TCollection* Collection() const noexcept { return collection_; }
  // Position in the collection, -1 when it is in none.
  int Index() const noexcept;

  // The name shown for the item; the default is ClassName().
  virtual std::string GetDisplayName() const;
  // Tells the collection that the item's display name changed. The base does
  // not store the name; an item with a name of its own stores it, then calls this.
  virtual void SetDisplayName(const std::string& value);

 protected:
  // Reports a change to the collection: the whole list when all_items is set,
  // else this item.
  void Changed(bool all_items);

 private:
  friend class TCollection;
  TCollection* collection_ = nullptr;
};

class TCollection : public TPersistent {
 public:
  TCollection() = default;
  TCollection(const TCollection&) = delete;
  TCollection& operator=(const TCollection&) = delete;
  ~TCollection() override;  // destroys every item, last first, without reporting

  int Count() const noexcept { return static_cast<int>(items_.size()); }

  // A new item (from CreateItem) at the end.
  TCollectionItem& Add();
  // Destroys every item, last first.
  void Clear();
  // Destroys the item at `index`; the items after it move up one.
  void Delete(int index);
  // Takes the item at `index` out of the collection and hands it to the caller.
  std::unique_ptr<TCollectionItem> Extract(int index);

  // The item at a zero-based index; EListError "List index out of bounds (i)"
  // for any other index.
  // Inline: a caller setting a record's fields reaches an item per value.
  TCollectionItem& Items(int index) {
    CheckIndex(index);
    return *items_[static_cast<std::size_t>(index)];
  }
  const TCollectionItem& Items(int index) const {
    CheckIndex(index);
    return *items_[static_cast<std::size_t>(index)];
  }
  // The index of `item`, -1 when this collection does not hold it.
  int IndexOf(const TCollectionItem& item) const noexcept;

  // From another collection: the same number of items, each copied with
  // item.Assign. All or nothing: when an item cannot be copied, the exception
  // leaves this collection as it was. Other sources: TPersistent's rules.
  void Assign(const TPersistent& source) override;

  void BeginUpdate() noexcept { ++update_count_; }
  void EndUpdate();
  int UpdateCount() const noexcept { return update_count_; }

 protected:
  // Makes one new item of the collection's item class.
  virtual std::unique_ptr<TCollectionItem> CreateItem() = 0;
  // Called after a change (see the comment at the top); the default does nothing.
  virtual void Update(TCollectionItem* item);
  // Reports a change of the whole list unless an update is in progress.
  void Changed();

  const std::vector<std::unique_ptr<TCollectionItem>>& ItemList() const noexcept { return items_; }

 private:
  friend class TCollectionItem;
  void CheckIndex(int index) const {
    if (index < 0 || index >= Count()) RaiseIndex(index);
  }
  [[noreturn]] static void RaiseIndex(int index);

  std::vector<std::unique_ptr<TCollectionItem>> items_;
  int update_count_ = 0;
};

// Iterates a collection's items as their derived class. Adding or removing
// items invalidates it, as for std::vector.
template <class Item, class Base>
class TCollectionIterator {
 public:
  using iterator_category = std::forward_iterator_tag;
  using value_type = std::remove_const_t<Item>;
  using difference_type = std::ptrdiff_t;
  using pointer = Item*;
  using reference = Item&;

  TCollectionIterator() = default;
  explicit TCollectionIterator(Base it) : it_(it) {}

  reference operator*() const { return static_cast<reference>(**it_); }
  pointer operator->() const { return &**this; }
  TCollectionIterator& operator++() {
    ++it_;
    return *this;
  }
  TCollectionIterator operator++(int) {
    TCollectionIterator old = *this;
    ++it_;
    return old;
  }
  friend bool operator==(const TCollectionIterator& a, const TCollectionIterator& b) {
    return a.it_ == b.it_;
  }

 private:
  Base it_{};
};

// A collection of items of class Item (or classes derived from it) that
// belongs to an owner, e.g. an engine's field definitions. The owner is not
// owned: it is only remembered so that the items' users can reach it.
//
// A derived collection that holds derived items overrides NewItem:
//   class TMyFields : public TOwnedCollection<TMyField> {
//     std::unique_ptr<TMyField> NewItem() override { return std::make_unique<TMySpecialField>(); }
//   };
template <class Item>
class TOwnedCollection : public TCollection {
  static_assert(std::is_base_of_v<TCollectionItem, Item>,
                "a collection's items derive from TCollectionItem");

  using ItemVector = std::vector<std::unique_ptr<TCollectionItem>>;

 public:
  using iterator = TCollectionIterator<Item, typename ItemVector::const_iterator>;
  using const_iterator = TCollectionIterator<const Item, typename ItemVector::const_iterator>;

  explicit TOwnedCollection(TComponent* owner = nullptr) noexcept : owner_(owner) {}

  TComponent* Owner() const noexcept { return owner_; }

  Item& Add() { return static_cast<Item&>(TCollection::Add()); }
  Item& GetItem(int index) { return static_cast<Item&>(Items(index)); }
  const Item& GetItem(int index) const { return static_cast<const Item&>(Items(index)); }
  // Copies `value` into the item at `index` (item.Assign(value)); the item
  // stays the same object.
  void SetItem(int index, const Item& value) { GetItem(index).Assign(value); }

  iterator begin() noexcept { return iterator(ItemList().begin()); }
  iterator end() noexcept { return iterator(ItemList().end()); }
  const_iterator begin() const noexcept { return const_iterator(ItemList().begin()); }
  const_iterator end() const noexcept { return const_iterator(ItemList().end()); }

 protected:
  // Makes one new item; a derived collection returns a derived item here.
  // The default makes an Item; an Item without a default constructor needs an override.
  virtual std::unique_ptr<Item> NewItem() {
    if constexpr (std::is_default_constructible_v<Item>) {
      return std::make_unique<Item>();
    } else {
      throw EInvalidCast(ClassName() + " does not know how to make its items");
    }
  }

 private:
  std::unique_ptr<TCollectionItem> CreateItem() final { return NewItem(); }

  TComponent* owner_;
};

}  // namespace corvane
