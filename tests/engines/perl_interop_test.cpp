// Interop with Perl's Palm::PDB (libpalm-perl), a PDB reader and writer
// written independently of this library: files it writes are read through the
// Java and SQL Driver engines and the generic manager, and files they write
// are read back by it. Skipped where perl or Palm::PDB is not installed.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "corvane/engines/data_fields.h"
#include "corvane/engines/java.h"
#include "corvane/engines/sqldriver.h"
#include "engine_support.h"

namespace corvane {
namespace {

using test::EngineFixture;

bool HavePalmPDB() {
  static const bool have = std::system("perl -MPalm::PDB -MPalm::Raw -e 1 >/dev/null 2>&1") == 0;
  return have;
}

struct PerlInterop : EngineFixture {
  void SetUp() override {
    if (!HavePalmPDB()) GTEST_SKIP() << "perl with Palm::PDB is not installed";
  }

  // Runs a perl script (Palm::PDB and Palm::Raw loaded) with the file as its
  // argument and returns what it prints.
  std::string Perl(const std::string& script, const std::string& file) {
    const std::string path = dir.File("script.pl");
    std::ofstream(path) << "use strict; use Palm::PDB; use Palm::Raw;\n" << script;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(("perl " + path + " " + file).c_str(), "r"),
                                               ::pclose);
    std::string out;
    char buf[4096];
    std::size_t n = 0;
    while (pipe && (n = std::fread(buf, 1, sizeof buf, pipe.get())) > 0) out.append(buf, n);
    return out;
  }

  // Name, creator, seed, application-info block and every record (category,
  // unique ID, bytes or "deleted") as Palm::PDB reads them, one line each; "-"
  // for the category Palm::PDB does not read for a deleted record.
  std::string Dump(const std::string& file) {
    return Perl(R"(
my $p = Palm::PDB->new; $p->Load($ARGV[0]);
print "$p->{name}|$p->{creator}|$p->{uniqueIDseed}|", unpack("H*", $p->{appinfo} // ""), "\n";
print $_->{category} // "-", " $_->{id} ", $_->{attributes}{Delete} ? "deleted" : unpack("H*", $_->{data}), "\n"
  for @{$p->{records}};
)",
                file);
  }
};

TEST_F(PerlInterop, EnginesReadWhatPalmPDBWrites) {
  Perl(R"(
my $j = Palm::Raw->new; @$j{qw(name type creator)} = ("Orders-ABCD", "DATA", "ABCD");
$j->{appinfo} = "\0O\0r\0d\0e\0r\0s";
push @{$j->{records}}, {data => pack("N n/a* C q>", 1, "abc", 1, 86401000), category => 2, attributes => {}, id => 5};
push @{$j->{records}}, {data => pack("N n/a* C q>", -7, "", 0, -1000), category => 0, attributes => {}, id => 6};
push @{$j->{records}}, {data => "", category => 0, attributes => {Delete => 1}, id => 7};
$j->Write("$ARGV[0]/java.pdb");
my $s = Palm::Raw->new; @$s{qw(name type creator)} = ("Table", "DATA", "SQLd");
push @{$s->{records}}, {data => pack("N n N2 N2 N2 C2 n", 3, 2, 108705909, 3373707, 2, 0, 0, 2, 0, 0, 0),
                        category => 0, attributes => {}, id => 1};
push @{$s->{records}}, {data => pack("N n n2", $_, 1, 0x41 + $_, 0), category => 0, attributes => {}, id => 1 + $_}
  for 1 .. 2;
$s->Write("$ARGV[0]/sql.pdb");
)",
       dir.path());

  TPDBJava java;
  for (auto [type, name] : {std::pair{JInt, "id"}, {JString, "s"}, {JBoolean, "b"}, {JDate, "d"}}) {
    TPDBJavaField& f = java.Fields().Add();
    f.SetFieldName(name);
    f.SetDataType(type);
  }
  PrepareRead(java, "java.pdb");
  java.OpenDatabase();
  EXPECT_EQ(java.DatabaseName(), "Orders");
  EXPECT_EQ(java.GetRecCategory(), 2);
  EXPECT_EQ(java.GetRecUniqueID(), 5);
  EXPECT_EQ(java.FieldByName("id").GetAsInt(), 1);
  EXPECT_EQ(java.FieldByName("s").GetAsString(), "abc");
  EXPECT_TRUE(java.FieldByName("b").GetAsBoolean());
  EXPECT_DOUBLE_EQ(java.FieldByName("d").GetAsDate(),
                   EncodeDate(1970, 1, 2) + EncodeTime(0, 0, 1, 0));
  java.Next();
  EXPECT_EQ(java.FieldByName("id").GetAsInt(), -7);
  EXPECT_EQ(java.FieldByName("s").GetAsString(), "");
  EXPECT_FALSE(java.FieldByName("b").GetAsBoolean());
  EXPECT_DOUBLE_EQ(java.FieldByName("d").GetAsDate(),
                   EncodeDate(1969, 12, 31) + EncodeTime(23, 59, 59, 0));
  // A deleted record has no bytes to split, but its entry is there.
  EXPECT_EQ(java.RecordCount(), 3);
  EXPECT_THROW(java.Next(), EPDBException);
  EXPECT_TRUE(java.GetRecFlags().Contains(dmRecAttrDelete));
  EXPECT_EQ(java.GetRecUniqueID(), 7);

  TPDBSQLDriver sql;
  TPDBSQLDriverField& name = sql.Fields().Add();
  name.SetFieldName("Name");
  name.SetDataType(PDChar);
  PrepareRead(sql, "sql.pdb");
  sql.OpenDatabase();
  EXPECT_EQ(sql.RecordCount(), 2);
  std::vector<std::string> rows;
  for (; !sql.Eof(); sql.Next())
    rows.push_back(std::to_string(sql.Fields().GetItem(0).GetAsInt()) + name.GetAsChar());
  EXPECT_EQ(rows, (std::vector<std::string>{"1B", "2C"}));
}

TEST_F(PerlInterop, PalmPDBReadsWhatTheEnginesWrite) {
  TPDBJava java;
  java.Fields().Add().SetDataType(JString);
  java.Fields().Add().SetDataType(JLong);
  PrepareWrite(java, "java.pdb", "Orders");
  java.SetCreatorID("ABCD");
  java.CreateDatabase();
  java.Append();
  java.SetRecUniqueID(0x010203);
  java.Fields().GetItem(0).SetAsString("hi");
  java.Fields().GetItem(1).SetAsLong(-2);
  java.Post();
  java.CloseDatabase();
  EXPECT_EQ(Dump(dir.File("java.pdb")),
            "Orders-ABCD|ABCD|0|004f00720064006500720073\n"
            "0 66051 00026869fffffffffffffffe\n");

  TPDBSQLDriver sql;
  TPDBSQLDriverField& name = sql.Fields().Add();
  name.SetFieldName("name");
  name.SetDataType(PDChar);
  PrepareWrite(sql, "sql.pdb", "Table");
  sql.CreateDatabase();
  for (const char* text : {"ab", "c"}) {
    sql.Append();
    name.SetAsChar(text);
    sql.SetRecCategory(1);
    sql.Post();
  }
  sql.CloseDatabase();
  EXPECT_EQ(Dump(dir.File("sql.pdb")),
            "Table|test|0|\n"
            "0 0 000000030002067ab87500337a8b0000000200000000000000000000000200000000\n"
            "1 0 00000001000200610062\n"  // a PDChar of Size 2: length word and two slots
            "1 0 00000002000100630000\n");

  TPDBDataFields generic;
  PrepareWrite(generic, "generic.pdb", "Generic");
  generic.SetUniqueIDSeed(99);
  generic.Fields().Add().SetDataType(pdtPSDate);
  generic.Fields().Add().SetDataType(pdtString);
  generic.CreateDatabase();
  for (const char* text : {"x", "gone", "y", "gone too"}) {
    generic.Append();
    generic.Fields().GetItem(0).SetAsPSDate(EncodeDate(2004, 2, 29));
    generic.Fields().GetItem(1).SetAsString(text);
    generic.SetRecFlags(text[0] == 'g' ? TRecFlags{dmRecAttrDelete} : TRecFlags{});
    generic.Post();
  }
  generic.CloseDatabase();
  EXPECT_EQ(Dump(dir.File("generic.pdb")),
            "Generic|test|0|\n0 0 c85d7800\n- 0 deleted\n0 0 c85d7900\n- 0 deleted\n");
}

}  // namespace
}  // namespace corvane
