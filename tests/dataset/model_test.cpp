// The in-memory dataset against a plain model: a vector of rows in list
// order, a filter predicate and the current row. Thousands of seeded random
// operations (append, insert, edit, post, cancel, delete, navigation,
// bookmarks, filtering, sorting, locating, record numbers) at several window
// sizes; after each one the rows, their order and the current row must be
// the model's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "corvane/dataset/virtual_dataset.h"

namespace corvane {
namespace {

struct Row {
  std::int32_t rid;  // record ID
  int n;             // unique tag, never reused
  std::optional<std::string> s;
  std::optional<double> f;
};

char Fold(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

int CompareText(const std::string& a, const std::string& b, bool ci) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(ci ? Fold(a[i]) : a[i]);
    const auto y = static_cast<unsigned char>(ci ? Fold(b[i]) : b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

template <class T, class C>
int CompareOptional(const std::optional<T>& a, const std::optional<T>& b, C compare) {
  if (a && b) return compare(*a, *b);
  if (a.has_value() != b.has_value()) return a ? 1 : -1;
  return 0;
}

class Model {
 public:
  std::vector<Row> rows;
  int filter = -1;  // predicate number while filtered, -1 when not
  int predicate = 0;
  std::optional<std::int32_t> current;  // record ID; none: nothing shown
  std::int32_t last_id = kNoRecordID;

  static bool Accepts(int predicate, const Row& r) {
    switch (predicate) {
      case 0:
        return r.n % 2 == 0;
      case 1:
        return r.s && (*r.s)[0] >= 'a';
      default:
        return !r.f || *r.f > 0;
    }
  }
  bool Shown(const Row& r) const { return filter < 0 || Accepts(filter, r); }
  std::vector<int> View() const {
    std::vector<int> out;
    for (std::size_t i = 0; i < rows.size(); ++i)
      if (Shown(rows[i])) out.push_back(static_cast<int>(i));
    return out;
  }
  int IndexOf(std::int32_t rid) const {
    for (std::size_t i = 0; i < rows.size(); ++i)
      if (rows[i].rid == rid) return static_cast<int>(i);
    return -1;
  }
  int CurrentIndex() const { return current ? IndexOf(*current) : -1; }
  // Where the cursor settles when the window is refilled from list index i:
  // that row when shown, else the next row shown, else the one before.
  void SettleAt(int i) {
    current.reset();
    const int count = static_cast<int>(rows.size());
    if (i >= 0 && i < count && Shown(rows[static_cast<std::size_t>(i)])) {
      current = rows[static_cast<std::size_t>(i)].rid;
      return;
    }
    for (int k = std::max(i + 1, 0); k < count; ++k)
      if (Shown(rows[static_cast<std::size_t>(k)])) {
        current = rows[static_cast<std::size_t>(k)].rid;
        return;
      }
    for (int k = std::min(i, count) - 1; k >= 0; --k)
      if (Shown(rows[static_cast<std::size_t>(k)])) {
        current = rows[static_cast<std::size_t>(k)].rid;
        return;
      }
  }
  void First() {
    std::vector<int> v = View();
    current.reset();
    if (!v.empty()) current = rows[static_cast<std::size_t>(v.front())].rid;
  }
  Row& Add(int index, int n) {
    last_id = static_cast<std::int32_t>(static_cast<std::uint32_t>(last_id) + 1u);
    rows.insert(rows.begin() + index, Row{last_id, n, std::nullopt, std::nullopt});
    return rows[static_cast<std::size_t>(index)];
  }
  void Delete() {
    int pos = CurrentIndex();
    rows.erase(rows.begin() + pos);
    if (rows.empty()) last_id = kNoRecordID;
    if (pos >= static_cast<int>(rows.size())) --pos;
    if (filter >= 0)
      while (pos >= 0 && !Shown(rows[static_cast<std::size_t>(pos)])) --pos;
    SettleAt(pos);
  }
  void Sort(const std::vector<char>& fields, bool ci, bool desc) {
    std::sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
      for (char f : fields) {
        int r = f == 'S' ? CompareOptional(a.s, b.s,
                                           [&](const std::string& x, const std::string& y) {
                                             return CompareText(x, y, ci);
                                           })
                         : CompareOptional(a.f, b.f, [](double x, double y) {
                             return x < y ? -1 : (y < x ? 1 : 0);
                           });
        if (r != 0) return desc ? r > 0 : r < 0;
      }
      return desc ? a.rid > b.rid : a.rid < b.rid;
    });
  }
  static bool TextMatches(const std::optional<std::string>& s, const std::string& key, bool ci,
                          bool partial) {
    std::string text = s.value_or("");
    if (partial && text.size() > key.size()) text.resize(key.size());
    return CompareText(text, key, ci) == 0;
  }
};

class ModelTest : public ::testing::TestWithParam<std::tuple<int, unsigned>> {
 protected:
  void SetUp() override {
    ds.FieldDefs().Add("N", ftInteger);
    ds.FieldDefs().Add("S", ftString, 8);
    ds.FieldDefs().Add("F", ftFloat);
    ds.SetBufferCount(std::get<0>(GetParam()));
    ds.SetOnFilterRecord([this](TDataSet& d, bool& accept) {
      Row r{0, d.FieldByName("N").AsInteger(), std::nullopt, std::nullopt};
      if (!d.FieldByName("S").IsNull()) r.s = d.FieldByName("S").AsString();
      if (!d.FieldByName("F").IsNull()) r.f = d.FieldByName("F").AsFloat();
      accept = Model::Accepts(model.predicate, r);
    });
    ds.Open();
    rng.seed(std::get<1>(GetParam()));
  }

  int Pick(int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); }
  std::optional<std::string> RandomText() {
    if (Pick(6) == 0) return std::nullopt;
    std::string s;
    for (int k = Pick(3) + 1; k > 0; --k) s.push_back("aAbB"[Pick(4)]);
    return s;
  }
  std::optional<double> RandomFloat() {
    if (Pick(6) == 0) return std::nullopt;
    return (Pick(9) - 4) * 0.5;
  }
  void SetValues(const Row& r) {
    ds.FieldByName("N").SetAsInteger(r.n);
    if (r.s)
      ds.FieldByName("S").SetAsString(*r.s);
    else
      ds.FieldByName("S").Clear();
    if (r.f)
      ds.FieldByName("F").SetAsFloat(*r.f);
    else
      ds.FieldByName("F").Clear();
  }
  Row* CurrentRow() {
    int i = model.CurrentIndex();
    return i < 0 ? nullptr : &model.rows[static_cast<std::size_t>(i)];
  }

  // The stored rows, their order and values, the count and the current row.
  void Check(const std::string& op) {
    ASSERT_EQ(ds.MemoryRecordCount(), static_cast<int>(model.rows.size())) << op;
    const auto& off = ds.OffsetTable();
    for (std::size_t i = 0; i < model.rows.size(); ++i) {
      const Row& want = model.rows[i];
      const TMemoryRecord& row = ds.GetMemoryRecord(static_cast<int>(i));
      const std::uint8_t* d = row.Data().data();
      std::int32_t n;
      std::memcpy(&n, d + off[0] + 1, 4);
      ASSERT_EQ(row.RecordID(), want.rid) << op << " at " << i;
      ASSERT_EQ(n, want.n) << op << " at " << i;
      const bool has_s = d[off[1]] != 0 && d[off[1] + 1] != 0;
      ASSERT_EQ(has_s, want.s.has_value()) << op << " at " << i;
      if (has_s) {
        ASSERT_EQ(std::string(reinterpret_cast<const char*>(d + off[1] + 1)), *want.s);
      }
      ASSERT_EQ(d[off[2]] != 0, want.f.has_value()) << op << " at " << i;
      if (want.f) {
        double f;
        std::memcpy(&f, d + off[2] + 1, 8);
        ASSERT_EQ(f, *want.f) << op << " at " << i;
      }
    }
    ASSERT_EQ(ds.IsEmpty(), !model.current.has_value()) << op;
    if (model.current) {
      ASSERT_EQ(ds.FieldByName("N").AsInteger(), CurrentRow()->n) << op;
    }
  }
  // Walks the rows shown both ways, comparing them with the model's view;
  // the walk ends on the first or last row, as the model does.
  void Walk(bool forward) {
    std::vector<int> want;
    for (int i : model.View()) want.push_back(model.rows[static_cast<std::size_t>(i)].n);
    std::vector<int> got;
    if (forward) {
      for (ds.First(); !ds.Eof(); ds.Next()) got.push_back(ds.FieldByName("N").AsInteger());
    } else {
      for (ds.Last(); !ds.Bof(); ds.Prior()) got.push_back(ds.FieldByName("N").AsInteger());
      std::reverse(got.begin(), got.end());
    }
    ASSERT_EQ(got, want) << (forward ? "walk forward" : "walk back");
    if (!want.empty()) {
      const int at = model.View()[forward ? want.size() - 1 : 0];
      model.current = model.rows[static_cast<std::size_t>(at)].rid;
    }
  }

  void Step(std::string& op) {
    const bool empty = !model.current.has_value();
    const int big = static_cast<int>(model.rows.size()) > 40;
    switch (Pick(21)) {
      case 0:
      case 1: {  // append, post or cancel
        op = "append";
        Row r{0, ++next_n, RandomText(), RandomFloat()};
        ds.Append();
        SetValues(r);
        if (Pick(5) == 0) {
          op += "+cancel";
          ds.Cancel();
          std::vector<int> v = model.View();
          model.current.reset();
          if (!v.empty()) model.current = model.rows[static_cast<std::size_t>(v.back())].rid;
          break;
        }
        ds.Post();
        Row& added = model.Add(static_cast<int>(model.rows.size()), r.n);
        added.s = r.s;
        added.f = r.f;
        model.SettleAt(static_cast<int>(model.rows.size()) - 1);
        break;
      }
      case 2:
      case 3: {  // insert before the current row, post or cancel
        op = "insert";
        Row r{0, ++next_n, RandomText(), RandomFloat()};
        ds.Insert();
        SetValues(r);
        if (Pick(5) == 0) {
          op += "+cancel";
          ds.Cancel();
          break;
        }
        ds.Post();
        const int at = empty ? 0 : model.CurrentIndex();
        Row& added = model.Add(at, r.n);
        added.s = r.s;
        added.f = r.f;
        model.SettleAt(at);
        break;
      }
      case 4:
      case 5: {  // edit, post or cancel
        if (empty) return;
        op = "edit";
        Row* row = CurrentRow();
        Row r{row->rid, row->n, RandomText(), RandomFloat()};
        ds.Edit();
        SetValues(r);
        if (Pick(4) == 0) {
          op += "+cancel";
          ds.Cancel();
          break;
        }
        ds.Post();
        row->s = r.s;
        row->f = r.f;
        model.SettleAt(model.CurrentIndex());
        break;
      }
      case 6:
      case 7:
        if (empty) return;
        op = "delete";
        if (!big && Pick(2) == 0) return;
        ds.Delete();
        model.Delete();
        break;
      case 8: {
        op = "move";
        const int by = Pick(7) - 3;
        ds.MoveBy(by);
        if (!empty) {
          std::vector<int> v = model.View();
          int at =
              static_cast<int>(std::find(v.begin(), v.end(), model.CurrentIndex()) - v.begin());
          at = std::clamp(at + by, 0, static_cast<int>(v.size()) - 1);
          model.current = model.rows[static_cast<std::size_t>(v[static_cast<std::size_t>(at)])].rid;
        }
        break;
      }
      case 9:
        op = std::vector<std::string>{"first", "last", "resync"}[static_cast<std::size_t>(Pick(3))];
        if (op == "resync") {
          ds.Resync(0);  // the window is refilled around the current row
        } else if (op == "first") {
          ds.First();
          model.First();
        } else {
          ds.Last();
          std::vector<int> v = model.View();
          if (!v.empty()) model.current = model.rows[static_cast<std::size_t>(v.back())].rid;
        }
        break;
      case 10:
        op = "walk";
        Walk(Pick(2) == 0);
        break;
      case 11:  // keep a bookmark
        if (empty) return;
        op = "bookmark";
        bookmarks.emplace_back(ds.GetBookmark(), *model.current);
        if (bookmarks.size() > 8) bookmarks.erase(bookmarks.begin());
        break;
      case 12: {  // go to a kept bookmark
        if (empty || bookmarks.empty()) return;
        op = "goto bookmark";
        const auto& [bookmark, rid] =
            bookmarks[static_cast<std::size_t>(Pick(static_cast<int>(bookmarks.size())))];
        ds.GotoBookmark(bookmark);
        const int at = model.IndexOf(rid);
        if (at >= 0 && model.Shown(model.rows[static_cast<std::size_t>(at)])) model.current = rid;
        break;
      }
      case 13: {  // filter on or off, or another predicate
        if (Pick(2) == 0) {
          const bool on = Pick(2) == 0;
          op = on ? "filter on" : "filter off";
          ds.SetFiltered(on);
          if (on != (model.filter >= 0)) {
            model.filter = on ? model.predicate : -1;
            model.First();
          }
        } else {
          op = "predicate";
          model.predicate = Pick(3);
          ds.SetOnFilterRecord(ds.OnFilterRecord());
          if (model.filter >= 0) {
            model.filter = model.predicate;
            model.First();
          }
        }
        break;
      }
      case 14:
      case 15: {
        static const std::vector<std::vector<char>> keys = {{'S'}, {'F'}, {'S', 'F'}, {'F', 'S'}};
        const std::vector<char>& k = keys[static_cast<std::size_t>(Pick(4))];
        const bool ci = Pick(2) == 0, desc = Pick(2) == 0;
        std::string names;
        for (char c : k) names += std::string(names.empty() ? "" : ";") + c;
        op = "sort " + names + (ci ? " ci" : "") + (desc ? " desc" : "");
        ds.SortDataSet(names, ci, desc);
        model.Sort(k, ci, desc);
        break;
      }
      case 16:
      case 17: {
        const bool ci = Pick(2) == 0, partial = Pick(2) == 0;
        std::string key = RandomText().value_or("c");
        std::optional<double> f = RandomFloat();
        const bool two = f && Pick(3) == 0;
        op = "locate " + key + (two ? " and F" : "") + (ci ? " ci" : "") +
             (partial ? " partial" : "");
        TLocateOptions options;
        if (ci && partial)
          options = {loCaseInsensitive, loPartialKey};
        else if (ci)
          options = {loCaseInsensitive};
        else if (partial)
          options = {loPartialKey};
        const bool found = two ? ds.Locate("S;F", std::vector<Variant>{key, *f}, options)
                               : ds.Locate("S", Variant(key), options);
        auto matches = [&](const Row& r) {
          return Model::TextMatches(r.s, key, ci, partial) && (!two || r.f == f);
        };
        bool want = false;
        if (!empty && matches(*CurrentRow())) {
          want = true;
        } else if (!empty) {
          for (int i : model.View())
            if (matches(model.rows[static_cast<std::size_t>(i)])) {
              model.current = model.rows[static_cast<std::size_t>(i)].rid;
              want = true;
              break;
            }
        }
        ASSERT_EQ(found, want) << op;
        break;
      }
      case 18: {
        const int v = Pick(static_cast<int>(model.rows.size()) + 2);
        op = "recno " + std::to_string(v);
        ds.SetRecNo(v);
        if (v >= 1 && v <= static_cast<int>(model.rows.size()) &&
            model.Shown(model.rows[static_cast<std::size_t>(v - 1)]))
          model.current = model.rows[static_cast<std::size_t>(v - 1)].rid;
        if (model.current && model.filter < 0) {
          ASSERT_EQ(ds.RecNo(), model.CurrentIndex() + 1);
        }
        break;
      }
      case 19: {
        // The filter changes its mind without telling the dataset, then the
        // row on screen is deleted or edited: the row shown is the one hit.
        if (empty) return;
        model.predicate = Pick(3);
        if (model.filter >= 0) model.filter = model.predicate;
        if (Pick(2) == 0) {
          op = "quiet filter change+delete";
          ds.Delete();
          model.Delete();
        } else {
          op = "quiet filter change+edit";
          Row* row = CurrentRow();
          ds.Edit();
          row->f = RandomFloat();
          SetValues(*row);
          ds.Post();
          model.SettleAt(model.CurrentIndex());
        }
        break;
      }
      default:
        if (!big || Pick(3) != 0) return;
        op = "empty table";
        ds.EmptyTable();
        model.rows.clear();
        model.current.reset();
        model.last_id = kNoRecordID;
        bookmarks.clear();
        break;
    }
  }

  TPDBVirtualDataSet ds;
  Model model;
  std::mt19937 rng;
  int next_n = 0;
  std::vector<std::pair<TBookmark, std::int32_t>> bookmarks;
};

TEST_P(ModelTest, RandomOperationsMatchTheModel) {
  std::string history;
  for (int i = 0; i < 2500; ++i) {
    std::string op;
    Step(op);
    if (op.empty()) continue;
    history = std::to_string(i) + ": " + op;
    ASSERT_NO_FATAL_FAILURE(Check(history));
    if (HasFailure()) FAIL() << history;
  }
  ds.SetFiltered(false);
  model.filter = -1;
  Walk(true);
}

INSTANTIATE_TEST_SUITE_P(WindowsAndSeeds, ModelTest,
                         ::testing::Combine(::testing::Values(1, 3, 20),
                                            ::testing::Values(11u, 2024u)));

}  // namespace
}  // namespace corvane
