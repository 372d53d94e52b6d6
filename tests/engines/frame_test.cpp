// What every engine shares: field items and collections, FieldByName, Append,
// the record cycle's checks, and closing on destruction.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "corvane/engines/appforge.h"
#include "corvane/engines/nsbasic.h"
#include "corvane/engines/pocketstudio.h"
#include "corvane/foundation/messages.h"
#include "engine_support.h"

namespace corvane {
namespace {

using test::EngineFixture;
using test::PdbError;
using test::Rec;

using Frame = EngineFixture;

TEST_F(Frame, NewItemsTakeTheEngineDefaults) {
  TPDBPocketStudio ps;
  TPDBNSBasic nsb;
  TPDBAppForge af;
  TPDBPSField& p = ps.Fields().Add();
  EXPECT_EQ(p.DataType(), PSString);
  EXPECT_EQ(p.Size(), 0);
  EXPECT_EQ(p.Value().Type(), VarType::Text);
  EXPECT_EQ(nsb.Fields().Add().DataType(), NSBString);
  EXPECT_EQ(af.Fields().Add().DataType(), AFString);
  EXPECT_EQ(ps.Fields().Owner(), &ps);
}

TEST_F(Frame, FieldByNameIgnoresCaseAndPrefersTheFirst) {
  TPDBPocketStudio ps;
  EXPECT_EQ(PdbError([&] { ps.FieldByName("x"); }), std::make_pair(1, GetLocaleString(65000)));
  ps.Fields().Add().SetFieldName("Other");
  ps.Fields().Add().SetFieldName("Name_1");
  ps.Fields().Add().SetFieldName("NAME_1");
  EXPECT_EQ(ps.FieldByName("nAmE_1").Index(), 1);
  EXPECT_EQ(PdbError([&] { ps.FieldByName("Name_2"); }), std::make_pair(2, GetLocaleString(65010)));
  // Only a-z fold: bytes above 127 compare as themselves.
  ps.Fields().Add().SetFieldName("\xE9t\xE9");
  EXPECT_EQ(PdbError([&] { ps.FieldByName("\xC9T\xC9"); }).first, 2);
}

TEST_F(Frame, DisplayNameIsTheFieldNameWhenThereIsOne) {
  TPDBNSBasic nsb;
  TPDBNSBField& f = nsb.Fields().Add();
  EXPECT_EQ(f.GetDisplayName(), f.ClassName());
  f.SetFieldName("Qty");
  EXPECT_EQ(f.GetDisplayName(), "Qty");
}

TEST_F(Frame, AppendChecksInOrder) {
  TPDBNSBasic nsb;
  EXPECT_EQ(PdbError([&] { nsb.Append(); }), std::make_pair(1, GetLocaleString(61030)));
  PrepareWrite(nsb);
  nsb.CreateDatabase();
  EXPECT_EQ(PdbError([&] { nsb.Append(); }), std::make_pair(3, GetLocaleString(61050)));
  nsb.Fields().Add().SetDataType(NSBByte);
  nsb.Append();
  nsb.Post();
  nsb.CloseDatabase();
  PrepareRead(nsb);
  nsb.OpenDatabase();
  EXPECT_EQ(PdbError([&] { nsb.Append(); }), std::make_pair(2, GetLocaleString(61040)));
  nsb.CloseDatabase();
}

TEST_F(Frame, AppendClearsValuesAndTheCurrentRecord) {
  TPDBPocketStudio ps;
  auto& f = ps.Fields();
  for (TPDBPSFieldType t : {PSBoolean, PSUInt32, PSDate, PSString, PSDouble, PSBinary}) f.Add().SetDataType(t);
  PrepareWrite(ps);
  ps.CreateDatabase();
  ps.Append();
  f.GetItem(0).SetAsPSBoolean(true);
  f.GetItem(1).SetAsPSUInt32(9);
  f.GetItem(2).SetAsPSDate(40000);
  f.GetItem(3).SetAsPSString("x");
  f.GetItem(4).SetAsPSDouble(2);
  f.GetItem(5).SetAsPSBinary(Rec{1, 2, 3});
  ps.SetRecCategory(4);
  ps.SetRecFlags({dmRecAttrDirty});
  ps.SetRecUniqueID(77);
  ps.Append();  // a second Append clears again and stays in append mode
  EXPECT_TRUE(ps.AppendMode());
  EXPECT_FALSE(f.GetItem(0).GetAsPSBoolean());
  EXPECT_EQ(f.GetItem(1).GetAsPSUInt32(), 0u);
  EXPECT_EQ(f.GetItem(1).Value().Type(), VarType::Float);
  EXPECT_EQ(f.GetItem(2).GetAsPSDate(), 0);
  EXPECT_EQ(f.GetItem(2).Value().Type(), VarType::DateTime);
  EXPECT_EQ(f.GetItem(3).GetAsPSString(), "");
  EXPECT_EQ(f.GetItem(4).GetAsPSDouble(), 0);
  EXPECT_EQ(f.GetItem(5).RawLength(), 0);
  EXPECT_EQ(ps.GetRecCategory(), 0);
  EXPECT_TRUE(ps.GetRecFlags().Empty());
  EXPECT_EQ(ps.GetRecUniqueID(), 0);
  ps.Cancel();
  ps.CloseDatabase();
}

TEST_F(Frame, SetDataTypeResetsEvenToTheSameType) {
  TPDBPocketStudio ps;
  TPDBPSField& f = ps.Fields().Add();
  f.SetSize(12);
  f.SetAsPSString("kept?");
  f.SetDataType(PSString);
  EXPECT_EQ(f.Size(), 0);
  EXPECT_EQ(f.GetAsPSString(), "");
  f.SetDataType(PSBinary);
  f.SetAsPSBinary(Rec{1});
  f.SetDataType(PSBinary);
  EXPECT_EQ(f.RawLength(), 0);
  f.SetDataType(PSDouble);
  EXPECT_EQ(f.Size(), 8);
  EXPECT_EQ(f.Value().Type(), VarType::Integer);
}

TEST_F(Frame, AssignCopiesTheDefinitionNotTheRawCopy) {
  TPDBPocketStudio ps;
  TPDBPSField& a = ps.Fields().Add();
  a.SetFieldName("Code");
  a.SetSize(6);
  a.SetAsPSString("abc");
  TPDBPSField& b = ps.Fields().Add();
  b.SetDataType(PSBinary);
  b.SetAsPSBinary(Rec{5});
  TPDBPSField& c = ps.Fields().Add();
  c.Assign(b);
  EXPECT_EQ(c.DataType(), PSBinary);
  EXPECT_EQ(c.RawLength(), 0);
  ps.Fields().SetItem(2, a);
  EXPECT_EQ(c.FieldName(), "Code");
  EXPECT_EQ(c.DataType(), PSString);
  EXPECT_EQ(c.Size(), 6);
  EXPECT_EQ(c.GetAsPSString(), "abc");

  TPDBNSBasic nsb;
  TPDBNSBField& other = nsb.Fields().Add();
  EXPECT_THROW(c.Assign(other), EConvertError);
  EXPECT_EQ(c.FieldName(), "Code");
}

TEST_F(Frame, RecordLengthFollowsTheValues) {
  TPDBAppForge af;
  af.Fields().Add().SetFieldName("s");
  af.Fields().Add().SetDataType(AFLong);
  const Rec record = PackOne(af, [&] { af.Fields().GetItem(0).SetAsAFString("abc"); });
  EXPECT_EQ(record, (Rec{'a', 'b', 'c', 0, 0, 0, 0, 0}));
}

TEST_F(Frame, ZeroBytesInsideVariableTextDoNotShiftLaterFields) {
  TPDBPocketStudio ps;
  ps.Fields().Add();
  ps.Fields().Add().SetDataType(PSInt8);
  const Rec record = PackOne(ps, [&] {
    ps.Fields().GetItem(0).SetAsPSString(std::string("a\0b", 3));
    ps.Fields().GetItem(1).SetAsPSInt8(9);
  });
  EXPECT_EQ(record, (Rec{'a', 0, 9}));
  ps.SetOpenMode(dmModeReadOnly);
  ps.OpenDatabase();
  EXPECT_EQ(ps.Fields().GetItem(1).GetAsPSInt8(), 9);
  ps.CloseDatabase();
}

TEST_F(Frame, DestroyingAnEngineWritesItsOpenDatabase) {
  {
    auto af = std::make_unique<TPDBAppForge>();
    af->Fields().Add().SetFieldName("name");
    PrepareWrite(*af, "Kept.pdb", "Table");
    af->CreateDatabase();
    af->Append();
    af->Fields().GetItem(0).SetAsAFString("v");
    af->Post();
  }
  TPDBAppForge reader;
  PrepareRead(reader, "Kept.pdb");
  reader.OpenDatabase();
  EXPECT_EQ(reader.DatabaseName(), "Table");  // the engine's own BuildPDBInfo ran
  EXPECT_EQ(reader.FieldByName("NAME").GetAsAFString(), "v");
  reader.CloseDatabase();
}

TEST_F(Frame, ReadingReleasesTheRecordOnClose) {
  TPDBNSBasic nsb;
  nsb.Fields().Add().SetDataType(NSBByte);
  OpenRecords(nsb, {{1}, {2}});
  EXPECT_TRUE(nsb.HasCurrentRecord());
  nsb.Last();
  EXPECT_EQ(nsb.Fields().GetItem(0).GetAsNSBByte(), 2);
  nsb.CloseDatabase();
  EXPECT_FALSE(nsb.HasCurrentRecord());
}

}  // namespace
}  // namespace corvane
