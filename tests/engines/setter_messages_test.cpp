// Property setters of the manager and the engines refuse a value with their
// own code and their own message, in both languages, and keep what they held.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "corvane/engines/data_fields.h"
#include "corvane/engines/nsbasic.h"
#include "corvane/engines/pocketstudio.h"
#include "corvane/foundation/messages.h"
#include "engine_support.h"

namespace corvane {
namespace {

using test::PdbError;
using test::Rec;

struct SetterMessages : test::EngineFixture {
  struct Row {
    const char* what;
    std::function<void()> call;  // the refused call, on an object set up for it
    int code;
    int message;
    std::function<void()> kept = [] {};  // what must still hold afterwards
  };

  void Check(const std::vector<Row>& rows) {
    for (const char* language : {"en_US", "pt_BR"}) {
      ScopedThreadLanguage scoped(language);
      for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.what) + " in " + language);
        const auto [code, message] = PdbError(r.call);
        EXPECT_EQ(code, r.code);
        EXPECT_EQ(message, GetLocaleString(r.message));
        r.kept();
      }
    }
  }
};

TEST_F(SetterMessages, TheManagersProperties) {
  TCorvane closed;
  TPDBBaseMgr reading;
  test::WriteAll(dir.File("in.pdb"), test::PlainPdb("In", {{1, 2}}));
  PrepareRead(reading, "in.pdb");
  reading.OpenDatabase();
  TPDBBaseMgr writing;
  PrepareWrite(writing);
  writing.CreateDatabase();
  writing.SetRecCategory(3);
  TPDBDataFields generic;
  generic.SetRecCategory(4);
  Check({
      {"SetOpenMode while open", [&] { reading.SetOpenMode(dmModeWriteOnly); }, 1, 11200,
       [&] { EXPECT_EQ(reading.GetOpenMode(), dmModeReadOnly); }},
      {"SetWriteCategory when closed", [&] { closed.SetWriteCategory(true); }, 1, 14600},
      {"SetWriteCategory when reading", [&] { reading.SetWriteCategory(true); }, 2, 14800},
      {"SetCategory above 15", [&] { writing.SetCategory(16, "x"); }, 1, 14400,
       [&] { EXPECT_EQ(writing.GetCategory(0), ""); }},
      {"SetRecCategory above 15", [&] { writing.SetRecCategory(16); }, 1, 60020,
       [&] { EXPECT_EQ(writing.GetRecCategory(), 3); }},
      {"the generic manager's SetRecCategory above 15", [&] { generic.SetRecCategory(200); }, 1,
       44000, [&] { EXPECT_EQ(generic.GetRecCategory(), 4); }},
  });
  writing.CloseDatabase();
  reading.CloseDatabase();
}

TEST_F(SetterMessages, TheEnginesFieldProperties) {
  TPDBPocketStudio ps;
  TPDBPSField& text = ps.Fields().Add();
  text.SetDataType(PSString);
  text.SetSize(10);
  TPDBPSField& binary = ps.Fields().Add();
  binary.SetDataType(PSBinary);
  binary.SetAsPSBinary(Rec{1, 2});
  TPDBNSBasic nsb;
  TPDBNSBField& ntext = nsb.Fields().Add();
  ntext.SetDataType(NSBString);
  ntext.SetSize(12);
  const auto ps_size = [&] { EXPECT_EQ(text.Size(), 10); };
  const auto nsb_size = [&] { EXPECT_EQ(ntext.Size(), 12); };
  Check({
      {"PocketStudio SetSize below 0", [&] { text.SetSize(-1); }, 1, 50270, ps_size},
      {"PocketStudio SetSize above 65505", [&] { text.SetSize(kPSMaxBytes + 1); }, 1, 50270,
       ps_size},
      {"PocketStudio SetAsPSBinary above 65505 bytes",
       [&] { binary.SetAsPSBinary(Rec(static_cast<std::size_t>(kPSMaxBytes) + 1, 0)); }, 2, 50250,
       [&] {
         EXPECT_EQ(binary.GetAsPSBinary(), (Bytes{1, 2}));
       }},
      {"PocketStudio SetAsPSBinary on a text", [&] { text.SetAsPSBinary(Rec{1}); }, 1, 50240,
       ps_size},
      {"NS Basic SetSize below 0", [&] { ntext.SetSize(-1); }, 1, 55140, nsb_size},
      {"NS Basic SetSize above its largest text", [&] { ntext.SetSize(kNSBMaxTextSize + 1); }, 1,
       55140, nsb_size},
  });
}

}  // namespace
}  // namespace corvane
