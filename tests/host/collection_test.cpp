#include "corvane/host/collection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "corvane/host/component.h"
#include "corvane/host/exceptions.h"
#include "corvane/host/persistent.h"

namespace corvane {
namespace {

// Shaped like a field definition: a name that tells the collection when it
// changes, a value, and Assign from its own class only.
class TTestItem : public TCollectionItem {
 public:
  explicit TTestItem(std::vector<std::string>* log = nullptr) : log_(log) {}
  ~TTestItem() override {
    if (log_ != nullptr) log_->push_back("destroy " + name_);
  }

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) {
    name_ = name;
    SetDisplayName(name);
  }
  int value = 0;

  std::string GetDisplayName() const override {
    return name_.empty() ? TCollectionItem::GetDisplayName() : name_;
  }
  void Assign(const TPersistent& source) override {
    if (const auto* from = dynamic_cast<const TTestItem*>(&source)) {
      name_ = from->name_;
      value = from->value;
      return;
    }
    TCollectionItem::Assign(source);
  }

 private:
  std::string name_;
  std::vector<std::string>* log_;
};

class TSpecialItem : public TTestItem {};

class TOtherItem : public TCollectionItem {};

// Records what the collection is told.
class TTestItems : public TOwnedCollection<TTestItem> {
 public:
  using TOwnedCollection::TOwnedCollection;
  std::vector<std::string>* log = nullptr;
  std::vector<const TCollectionItem*> updates;

 protected:
  std::unique_ptr<TTestItem> NewItem() override { return std::make_unique<TTestItem>(log); }
  void Update(TCollectionItem* item) override { updates.push_back(item); }
};

class TSpecialItems : public TOwnedCollection<TTestItem> {
 protected:
  std::unique_ptr<TTestItem> NewItem() override { return std::make_unique<TSpecialItem>(); }
};

TTestItem& AddNamed(TOwnedCollection<TTestItem>& c, const std::string& name, int value) {
  TTestItem& item = c.Add();
  item.SetName(name);
  item.value = value;
  return item;
}

std::vector<std::string> Names(const TOwnedCollection<TTestItem>& c) {
  std::vector<std::string> out;
  for (const TTestItem& item : c) out.push_back(item.Name());
  return out;
}

TEST(CollectionTest, AddAppendsAndItemsKnowTheirPlace) {
  TComponent owner;
  TTestItems c(&owner);
  TTestItem& a = AddNamed(c, "a", 1);
  TTestItem& b = AddNamed(c, "b", 2);
  EXPECT_EQ(c.Count(), 2);
  EXPECT_EQ(&c.GetItem(0), &a);
  EXPECT_EQ(&c.GetItem(1), &b);
  EXPECT_EQ(b.Index(), 1);
  EXPECT_EQ(b.Collection(), &c);
  EXPECT_EQ(c.Owner(), &owner);
  TTestItem loose;
  EXPECT_EQ(c.IndexOf(loose), -1);
  EXPECT_EQ(loose.Index(), -1);
}

TEST(CollectionTest, IndexOutOfRangeIsAListError) {
  TTestItems c;
  EXPECT_THROW(c.GetItem(0), EListError);
  AddNamed(c, "a", 1);
  AddNamed(c, "b", 2);
  for (int bad : {-1, 2, 1000}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(c.GetItem(bad), EListError);
    EXPECT_THROW(std::as_const(c).GetItem(bad), EListError);
    EXPECT_THROW(c.SetItem(bad, c.GetItem(0)), EListError);
    EXPECT_THROW(c.Delete(bad), EListError);
    EXPECT_THROW(c.Extract(bad), EListError);
  }
  try {
    c.GetItem(3);
    FAIL() << "no exception";
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (3)");
  }
  EXPECT_EQ(Names(c), (std::vector<std::string>{"a", "b"}));
}

TEST(CollectionTest, DeleteClearAndDestructionDestroyTheItems) {
  std::vector<std::string> log;
  {
    TTestItems c;
    c.log = &log;
    for (const char* name : {"a", "b", "c"}) AddNamed(c, name, 0);
    TTestItem& third = c.GetItem(2);
    c.Delete(1);
    EXPECT_EQ(Names(c), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(third.Index(), 1);
    c.Clear();
    EXPECT_EQ(c.Count(), 0);
    AddNamed(c, "x", 1);
    AddNamed(c, "y", 2);
  }  // last first, everywhere
  EXPECT_EQ(log, (std::vector<std::string>{"destroy b", "destroy c", "destroy a", "destroy y",
                                           "destroy x"}));
}

TEST(CollectionTest, AssignCopiesEveryItemIntoFreshItems) {
  std::vector<std::string> log;
  TTestItems source;
  AddNamed(source, "a", 1);
  AddNamed(source, "b", 2);
  TTestItems dest;
  dest.log = &log;
  AddNamed(dest, "old1", 9);
  AddNamed(dest, "old2", 9);
  AddNamed(dest, "old3", 9);
  dest.updates.clear();

  dest.Assign(source);
  EXPECT_EQ(Names(dest), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(dest.GetItem(1).value, 2);
  EXPECT_NE(&dest.GetItem(0), &source.GetItem(0));
  EXPECT_EQ(dest.GetItem(1).Collection(), &dest);
  EXPECT_EQ(dest.GetItem(1).Index(), 1);
  EXPECT_EQ(log, (std::vector<std::string>{"destroy old3", "destroy old2", "destroy old1"}));
  EXPECT_EQ(dest.updates, (std::vector<const TCollectionItem*>{nullptr}));  // told once
  // The copies are independent of the source.
  source.GetItem(0).SetName("changed");
  EXPECT_EQ(dest.GetItem(0).Name(), "a");
  // Assigning itself keeps the items (clearing first would lose them).
  TTestItem& first = dest.GetItem(0);
  dest.Assign(dest);
  EXPECT_EQ(&dest.GetItem(0), &first);
  EXPECT_EQ(Names(dest), (std::vector<std::string>{"a", "b"}));
  dest.Assign(TTestItems());
  EXPECT_EQ(dest.Count(), 0);
}

TEST(CollectionTest, AssignMakesTheDestinationsItemClass) {
  TTestItems source;
  AddNamed(source, "a", 1);
  TSpecialItems dest;
  dest.Assign(source);
  ASSERT_EQ(dest.Count(), 1);
  EXPECT_NE(dynamic_cast<TSpecialItem*>(&dest.GetItem(0)), nullptr);
  EXPECT_EQ(dest.GetItem(0).ClassName(), "TSpecialItem");
  EXPECT_EQ(dest.GetItem(0).Name(), "a");
  // and the other way: a special item assigns into a plain one
  TTestItems back;
  back.Assign(dest);
  EXPECT_EQ(Names(back), (std::vector<std::string>{"a"}));
}

TEST(CollectionTest, FailedAssignLeavesTheDestinationWhole) {
  TOwnedCollection<TOtherItem> others;
  others.Add();
  TTestItems dest;
  AddNamed(dest, "keep", 5);
  try {
    dest.Assign(others);
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TOtherItem to a TTestItem");
  }
  EXPECT_EQ(Names(dest), (std::vector<std::string>{"keep"}));
  EXPECT_EQ(dest.GetItem(0).Collection(), &dest);
  EXPECT_EQ(dest.UpdateCount(), 0);  // the failed copy did not leave an update open
  AddNamed(dest, "more", 1);
  EXPECT_FALSE(dest.updates.empty());
}

TEST(CollectionTest, SetItemAssignsIntoTheSameObject) {
  TTestItems c;
  AddNamed(c, "a", 1);
  TTestItem& b = AddNamed(c, "b", 2);
  c.SetItem(1, c.GetItem(0));
  EXPECT_EQ(&c.GetItem(1), &b);
  EXPECT_EQ(b.Name(), "a");
  EXPECT_EQ(b.value, 1);
  TTestItem loose;
  loose.SetName("loose");  // an item in no collection tells nobody
  c.SetItem(0, loose);
  EXPECT_EQ(Names(c), (std::vector<std::string>{"loose", "a"}));
}

TEST(CollectionTest, DisplayNameChangesAreReported) {
  TTestItems c;
  TTestItem& a = c.Add();
  EXPECT_EQ(a.GetDisplayName(), "TTestItem");
  c.updates.clear();
  a.SetName("Price");
  EXPECT_EQ(a.GetDisplayName(), "Price");
  EXPECT_EQ(c.updates, (std::vector<const TCollectionItem*>{&a}));

  c.updates.clear();
  c.BeginUpdate();
  a.SetName("Cost");
  c.Add();
  c.Delete(1);
  EXPECT_TRUE(c.updates.empty());
  c.EndUpdate();
  EXPECT_EQ(c.updates, (std::vector<const TCollectionItem*>{nullptr}));
  c.EndUpdate();  // unbalanced: ignored
  EXPECT_EQ(c.UpdateCount(), 0);
}

TEST(CollectionTest, IteratesAsTheItemClass) {
  TTestItems c;
  for (const char* name : {"a", "b", "c"}) AddNamed(c, name, 0);
  auto it = std::find_if(c.begin(), c.end(), [](const TTestItem& i) { return i.Name() == "b"; });
  ASSERT_NE(it, c.end());
  EXPECT_EQ(it->Index(), 1);
  static_assert(std::forward_iterator<TTestItems::iterator>);
  static_assert(std::forward_iterator<TTestItems::const_iterator>);
}

TEST(PersistentTest, DefaultAssignReportsBothClasses) {
  TTestItem item;
  TOtherItem other;
  TOwnedCollection<TOtherItem> others;
  const std::vector<std::pair<std::function<void()>, std::string>> cases = {
      {[&] { other.Assign(item); }, "Cannot assign a TTestItem to a TOtherItem"},
      {[&] { other.Assign(other); }, "Cannot assign a TOtherItem to a TOtherItem"},
      {[&] { others.Assign(item); }, "Cannot assign a TTestItem to a TOwnedCollection<TOtherItem>"},
      {[&] { item.Assign(others); }, "Cannot assign a TOwnedCollection<TOtherItem> to a TTestItem"},
  };
  for (const auto& [assign, message] : cases) {
    try {
      assign();
      ADD_FAILURE() << "no exception for " << message;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.what(), message);
    }
  }
}

}  // namespace
}  // namespace corvane
