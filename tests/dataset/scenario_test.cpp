// The in-memory dataset used as an application uses it: persistent fields of
// every stored type and a calculated one, rows appended, inserted, edited,
// cancelled and deleted, navigation both ways across the ends, every value
// read back, then closed and reopened empty. Run with windows of several sizes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corvane/dataset/virtual_dataset.h"

namespace corvane {
namespace {

class ScenarioTest : public ::testing::TestWithParam<int> {};

std::vector<std::string> Names(TDataSet& ds) {
  std::vector<std::string> out;
  for (ds.First(); !ds.Eof(); ds.Next()) out.push_back(ds.FieldByName("Name").AsString());
  return out;
}

TEST_P(ScenarioTest, ApplicationUse) {
  TPDBVirtualDataSet ds;
  ds.SetBufferCount(GetParam());
  auto& id = ds.NewField<TAutoIncField>("ID");
  auto& name = ds.NewField<TStringField>("Name", 40);
  auto& price = ds.NewField<TFloatField>("Price");
  auto& qty = ds.NewField<TSmallintField>("Qty");
  auto& stock = ds.NewField<TWordField>("Stock");
  auto& big = ds.NewField<TLargeintField>("Big");
  auto& ok = ds.NewField<TBooleanField>("Ok");
  auto& cur = ds.NewField<TCurrencyField>("Cur");
  auto& dec = ds.NewField<TBCDField>("Dec");
  auto& when = ds.NewField<TDateTimeField>("When");
  auto& day = ds.NewField<TDateField>("Day");
  auto& at = ds.NewField<TTimeField>("At");
  auto& code = ds.NewField<TStringField>("Code", 4);
  code.SetFixedChar(true);
  auto& wide = ds.NewField<TWideStringField>("Wide", 10);
  auto& raw = ds.NewField<TBytesField>("Raw", 3);
  auto& var = ds.NewField<TVarBytesField>("VarRaw", 5);
  auto& guid = ds.NewField<TGuidField>("Guid");
  auto& total = ds.NewField<TFloatField>("Total", -1, fkCalculated);
  int calcs = 0;
  ds.OnCalcFields = [&](TDataSet&) {
    ++calcs;
    if (!price.IsNull()) total.SetAsFloat(price.AsFloat() * qty.AsInteger());
  };

  ds.Open();
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_TRUE(ds.Bof() && ds.Eof());
  EXPECT_EQ(ds.RecNo(), 0);
  EXPECT_EQ(ds.RecordCount(), 0);
  EXPECT_TRUE(name.IsNull());

  auto add = [&](const char* n, double p, int q) {
    ds.Append();
    name.SetAsString(n);
    price.SetAsFloat(p);
    qty.SetAsInteger(q);
    ds.Post();
  };
  add("apple", 1.5, 4);
  add("cherry", 3.0, 10);
  add("damson", 2.25, 2);
  EXPECT_EQ(ds.RecNo(), 3);
  EXPECT_EQ(id.AsInteger(), 3);

  // Insert before cherry, filling every type.
  ds.First();
  ds.Next();
  ASSERT_EQ(name.AsString(), "cherry");
  const TDateTime stamp = EncodeDate(2023, 7, 14) + EncodeTime(8, 30, 15, 500);
  const std::string guid_text = "{01234567-89AB-CDEF-0123-456789ABCDEF}";
  ds.Insert();
  name.SetAsString("banana");
  price.SetAsFloat(0.75);
  qty.SetAsInteger(-8);
  stock.SetAsInteger(65535);
  big.SetAsLargeInt(-9007199254740993LL);
  ok.SetAsBoolean(true);
  cur.SetAsCurrency(Currency::FromRaw(123456));
  dec.SetAsString("-98765.4321");
  when.SetAsDateTime(stamp);
  day.SetAsDateTime(stamp);
  at.SetAsDateTime(stamp);
  code.SetAsString("AB12");
  wide.SetAsString("caf\xE9");
  raw.SetAsString(std::string("\x01\x00\x02", 3));
  var.SetAsString(std::string("\x00\xFF", 2));
  guid.SetAsString(guid_text);
  EXPECT_DOUBLE_EQ(total.AsFloat(), -6.0);  // recalculated as the fields change
  ds.Post();
  EXPECT_EQ(ds.RecNo(), 2);
  EXPECT_EQ(id.AsInteger(), 4);
  EXPECT_EQ(Names(ds), (std::vector<std::string>{"apple", "banana", "cherry", "damson"}));

  // Edit, then edit and cancel.
  ds.First();
  ds.Next();
  ds.Edit();
  price.SetAsFloat(1.0);
  EXPECT_DOUBLE_EQ(total.AsFloat(), -8.0);
  ds.Post();
  ds.Edit();
  name.SetAsString("blueberry");
  qty.Clear();
  ds.Cancel();
  EXPECT_EQ(name.AsString(), "banana");
  EXPECT_EQ(qty.AsInteger(), -8);

  // Every type reads back as written.
  EXPECT_EQ(id.AsInteger(), 4);
  EXPECT_DOUBLE_EQ(price.AsFloat(), 1.0);
  EXPECT_EQ(stock.AsInteger(), 65535);
  EXPECT_EQ(big.AsLargeInt(), -9007199254740993LL);
  EXPECT_TRUE(ok.AsBoolean());
  EXPECT_EQ(cur.AsCurrency().value, 123456);
  EXPECT_EQ(dec.AsCurrency().value, -987654321);
  EXPECT_EQ(when.AsDateTime(), stamp);
  EXPECT_EQ(day.AsDateTime(), EncodeDate(2023, 7, 14));
  EXPECT_NEAR(at.AsDateTime(), EncodeTime(8, 30, 15, 500), 1e-9);
  EXPECT_EQ(code.AsString(), "AB12");
  EXPECT_EQ(wide.AsString(), "caf\xE9");
  EXPECT_EQ(raw.AsString(), std::string("\x01\x00\x02", 3));
  EXPECT_EQ(var.AsString(), std::string("\x00\xFF", 2));
  EXPECT_EQ(guid.AsString(), guid_text);
  EXPECT_DOUBLE_EQ(total.AsFloat(), -8.0);

  // A row that never had them holds nulls.
  ds.First();
  for (TField* f :
       {static_cast<TField*>(&stock), static_cast<TField*>(&big), static_cast<TField*>(&ok),
        static_cast<TField*>(&when), static_cast<TField*>(&wide), static_cast<TField*>(&guid)})
    EXPECT_TRUE(f->IsNull()) << f->FieldName();
  EXPECT_DOUBLE_EQ(total.AsFloat(), 6.0);

  // Delete cherry; the cursor moves to damson.
  ds.Next();
  ds.Next();
  ASSERT_EQ(name.AsString(), "cherry");
  ds.Delete();
  EXPECT_EQ(name.AsString(), "damson");
  EXPECT_EQ(ds.RecordCount(), 3);

  // Navigate across both ends.
  ds.Last();
  ds.Next();
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(name.AsString(), "damson");
  std::vector<std::string> back;
  for (; !ds.Bof(); ds.Prior()) back.push_back(name.AsString());
  EXPECT_EQ(back, (std::vector<std::string>{"damson", "banana", "apple"}));
  ds.Prior();
  EXPECT_TRUE(ds.Bof());
  EXPECT_EQ(name.AsString(), "apple");
  EXPECT_EQ(ds.RecNo(), 1);
  EXPECT_GT(calcs, 0);

  // Closing drops the rows; reopening starts empty with the counter at 1.
  ds.Close();
  EXPECT_EQ(ds.MemoryRecordCount(), 0);
  ds.Open();
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_EQ(ds.RecordCount(), 0);
  add("elder", 1, 1);
  EXPECT_EQ(id.AsInteger(), 1);
  EXPECT_EQ(ds.GetMemoryRecord(0).RecordID(), kNoRecordID + 1);
}

INSTANTIATE_TEST_SUITE_P(WindowSizes, ScenarioTest, ::testing::Values(1, 3, 20));

}  // namespace
}  // namespace corvane
