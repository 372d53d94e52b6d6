#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "corvane/foundation/messages.h"
#include "corvane/host/locale.h"

namespace corvane {
namespace {

// Every id that carries a plain (non type-check) text, in the order the texts
// are listed by their owners; repeated texts keep all of their ids.
const std::vector<int> kPlainIds = {
    10400, 15020, 10410, 15030, 10600, 15040, 10610, 15050, 10800, 15060, 10810,
    15070, 11000, 15080, 11010, 15090, 11200, 11600, 11610, 11620, 11630, 11640,
    11650, 11660, 11670, 11800, 12000, 12600, 12010, 12020, 12030, 12040, 12200,
    12400, 14400, 44000, 60020, 12610, 12620, 12630, 12640, 12800, 13000, 12810,
    13010, 13800, 13810, 13820, 13900, 13910, 13920, 14000, 14010, 14220, 14020,
    14230, 14030, 14040, 14050, 14060, 14070, 14080, 14090, 14100, 14200, 14210,
    14240, 14250, 14260, 14270, 14600, 42800, 52030, 52530, 57030, 61030, 65030,
    14800, 43000, 52040, 52540, 57040, 61040, 65040, 15100, 15110, 15120, 40000,
    52000, 52500, 57000, 61000, 65000, 40200, 52020, 52520, 57020, 61020, 65020,
    43200, 52050, 52550, 57050, 61050, 65050, 43400, 52010, 52510, 57010, 61010,
    65010, 43600, 43800, 60000, 60010, 50250, 50270, 55140, 60030, 60040, 60050, 60070, 60080, 60090, 57060, 57070, 57080,
    52060, 52070, 52560, 15130, 15140,
    // The handheld applications' codecs.
    70000, 70010, 70020, 70030, 70040, 70050, 70060, 70070, 70080, 70090, 70100, 70110,
    70120, 70130, 74000, 74010, 74020, 74030, 74040, 74050,
};

struct TypeCheckRow {
  const char* english_word;
  const char* portuguese_word;
  std::vector<int> ids;
};

// The typed accessors' "invalid data type" family.
const std::vector<TypeCheckRow> kTypeChecks = {
    {"Double", "Double", {40400, 40600, 52910}},
    {"Byte", "Byte", {40800, 41000, 53020, 53030, 55020, 55030}},
    {"Word", "Word", {41200, 41400}},
    {"Integer", "Integer", {41600, 41800, 55060, 55070}},
    {"Float", "Float", {42000, 42200, 52880, 52890, 55080, 55090}},
    {"DateTime", "DateTime", {42400, 42600}},
    {"PSInt8", "PSInt8", {44200, 44210, 50000, 50010}},
    {"PSInt16", "PSInt16", {44220, 44230, 50020, 50030}},
    {"PSInt32", "PSInt32", {44240, 44250, 50040, 50050}},
    {"PSUInt8", "PSUInt8", {44260, 44270, 50060, 50070}},
    {"PSUInt16", "PSUInt16", {44280, 44290, 50080, 50090}},
    {"PSUInt32", "PSUInt32", {44300, 44310, 50100, 50110}},
    {"PSSingle", "PSSingle", {44320, 44330, 50120, 50130}},
    {"PSDouble", "PSDouble", {44340, 44350, 50140, 50150}},
    {"PSDate", "PSDate", {44360, 44370, 50160, 50170}},
    {"PSTime", "PSTime", {44380, 44390, 50180, 50190}},
    {"PSDateTime", "PSDateTime", {44400, 44410, 50200, 50210}},
    {"PSBoolean", "PSBoolean", {44420, 44430, 50220, 50230}},
    {"PSBinary", "PSBinary", {50240, 50260}},
    {"Char", "Char", {52800, 52810, 53040, 53050}},
    {"Int", "Int", {52820, 52830, 53060, 53070}},
    {"Long", "Long", {52840, 52850, 53080, 53090}},
    {"Short", "Short", {52860, 52870, 53100, 53110, 55040}},
    {"short", "Short", {55050}},
    {"Boolean", "Boolean", {53000, 53010}},
    {"Date", "Date", {53140, 53150, 55100, 55110}},
    {"Single", "Single", {55000, 55010}},
    {"Time", "Time", {55120, 55130}},
    {"AFByte", "AFByte", {58000, 58010}},
    {"AFInteger", "AFInteger", {58020, 58030}},
    {"AFLong", "AFLong", {58040, 58050}},
    {"AFSingle", "AFSingle", {58060, 58070}},
    {"AFDouble", "AFDouble", {58080, 58090}},
    {"AFCurrency", "AFCurrency", {58100, 58110}},
    {"AFDate", "AFDate", {58120, 58130}},
    {"AFBoolean", "AFBoolean", {58140, 58150}},
};

std::vector<int> AllEvenIds() {
  std::vector<int> ids = kPlainIds;
  for (const auto& row : kTypeChecks) ids.insert(ids.end(), row.ids.begin(), row.ids.end());
  return ids;
}

struct Sample {
  int id;
  std::string_view english;
  std::string_view portuguese;
};

TEST(Catalogue, SampleTextsInBothLanguages) {
  const Sample samples[] = {
      {10400, "Database name longer than 31 characters!",
       "Nome do Banco de Dados tem mais de 31 caracteres!"},
      {15020, "Database name longer than 31 characters!",
       "Nome do Banco de Dados tem mais de 31 caracteres!"},
      {10410, "Invalid Database name!", "Nome do Banco de Dados inválido!"},
      {15090, "Invalid Filename!", "Nome do Arquivo Inválido!"},
      {11200, "Can\u00b4t change Open Mode while Database is open!",
       "Não é possível mudar o tipo de abertura de um Banco de Dados aberto!"},
      // Same Portuguese, English differs only in case.
      {11600, "Database not Open!", "Banco de Dados não está aberto!"},
      {12600, "Database not open!", "Banco de Dados não está aberto!"},
      // Same English, Portuguese differs by one article.
      {12030, "Could not read AppInfo Block!", "Não é possível ler AppInfo Block!"},
      {13820, "Could not read AppInfo Block!", "Não é possível ler o AppInfo Block!"},
      {12200, "Maximum Category number is 15!", "Número máximo de Category é 15!"},
      {60020, "Maximum Category number is 15!", "Número máximo de Category é 15!"},
      {14200, "Cannot write to a Read-Only Database!",
       "Não é possível criar um Banco de Dados exclusivo para leitura!"},
      {14230, "Filename was not informed!", "Nome do Arquivo PDB não foi informado!"},
      {14600, "Database is not open!", "Banco de Dados não está aberto!"},
      {42800, "Database is not open!", "Banco de Dados não está aberto!"},
      {65030, "Database is not open!", "Banco de Dados não está aberto!"},
      {61040, "Database is not open for write!",
       "Banco de Dados não está aberto para gravação!"},
      {15100, "DataSet is already open", "DataSet já está aberto"},
      {15110, "Fields are not defined", "Campos não estão definidos"},
      {15120, "DataSet is not open", "DataSet não está aberto"},
      {57000, "There are no Fields in the structure!",
       "Não há campos adicionados na estrutura!"},
      {40200, "Record is not stored as detailed in Fields structure!",
       "Registro não está de acordo com a estrutura de campos especificada!"},
      {52010, "There are no Fields with this name!", "Não há campos com este nome!"},
      {43800, "Not in Append mode!", "Não está em modo Append!"},
      {50250, "PSBinary datatype can not hold more than 65505 bytes!",
       "Tipo PSBinary não suporta mais de 65505 bytes!"},
      {55140, "Invalid Size for this Field!", "Tamanho Inválido para este campo!"},
      {60030, "Database is not in Creation mode (dmModeWriteOnly)!",
       "Banco de dados não está aberto para gravação (dmModeWriteOnly)!"},
      {60040, "A database cannot hold more than 65535 records!",
       "Um Banco de Dados não pode ter mais de 65535 registros!"},
      {40400, "Invalid DataType for this Field (Double)!",
       "Tipo de dado Inválido para este campo (Double)!"},
      {44430, "Invalid DataType for this Field (PSBoolean)!",
       "Tipo de dado Inválido para este campo (PSBoolean)!"},
      {50240, "Invalid DataType for this Field (PSBinary)!",
       "Tipo de dado Inválido para este campo (PSBinary)!"},
      {50260, "Invalid DataType for this Field (PSBinary)!",
       "Tipo de dado Inválido para este campo (PSBinary)!"},
      {55040, "Invalid DataType for this Field (Short)!",
       "Tipo de dado Inválido para este campo (Short)!"},
      {55050, "Invalid DataType for this Field (short)!",
       "Tipo de dado Inválido para este campo (Short)!"},
      {58100, "Invalid DataType for this Field (AFCurrency)!",
       "Tipo de dado Inválido para este campo (AFCurrency)!"},
  };
  for (const auto& s : samples) {
    SCOPED_TRACE(s.id);
    EXPECT_EQ(CatalogueText(s.id), s.english);
    EXPECT_EQ(CatalogueText(s.id + 1), s.portuguese);
  }
  // The accent is stored as UTF-8 (C2 B4), not as a Latin-1 byte or an apostrophe.
  EXPECT_EQ(CatalogueText(11200).substr(3, 2), "\xC2\xB4");
}

TEST(Catalogue, EveryListedIdHasBothTwins) {
  for (int id : AllEvenIds()) {
    SCOPED_TRACE(id);
    EXPECT_EQ(id % 10, 0);
    EXPECT_FALSE(CatalogueText(id).empty());
    EXPECT_FALSE(CatalogueText(id + 1).empty());
    EXPECT_NE(CatalogueText(id), CatalogueText(id + 1));
  }
}

TEST(Catalogue, HoldsNothingBesideTheListedIds) {
  const std::vector<int> listed = AllEvenIds();
  std::size_t found = 0;
  for (int id = -10; id < 100000; ++id) {
    if (!CatalogueText(id).empty()) ++found;
  }
  EXPECT_EQ(found, 2 * listed.size());
}

TEST(Catalogue, TypeCheckFamily) {
  for (const auto& row : kTypeChecks) {
    for (int id : row.ids) {
      SCOPED_TRACE(id);
      EXPECT_EQ(CatalogueText(id),
                std::string("Invalid DataType for this Field (") + row.english_word + ")!");
      EXPECT_EQ(CatalogueText(id + 1),
                std::string("Tipo de dado Inválido para este campo (") + row.portuguese_word +
                    ")!");
    }
  }
}

TEST(Catalogue, UnknownIdsAreEmpty) {
  for (int id : {0, 1, 10, 10405, 10402, 11202, 60060, 99999, -1, 2147483647,
                 -2147483647 - 1}) {
    SCOPED_TRACE(id);
    EXPECT_TRUE(CatalogueText(id).empty());
  }
}

TEST(CatalogueLanguage, ThreadOverridePicksTheTwin) {
  struct Case {
    const char* language;
    bool portuguese;
  };
  const Case cases[] = {{"PTB", true}, {"pt_BR.UTF-8", true}, {"ptg", true},
                        {"ENU", false}, {"ESP", false},       {"FRA", false},
                        {"p", false},   {"", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.language);
    ScopedThreadLanguage language(c.language);
    EXPECT_EQ(GetLocaleString(14600),
              c.portuguese ? "Banco de Dados não está aberto!" : "Database is not open!");
    EXPECT_EQ(GetLocaleString(15100), c.portuguese ? "DataSet já está aberto"
                                                   : "DataSet is already open");
    EXPECT_EQ(GetLocaleString(10), "");
  }
}

TEST(CatalogueLanguage, ThreadsKeepTheirOwnLanguage) {
  ScopedThreadLanguage language("PTB");
  std::string other;
  std::thread worker([&other] {
    ScopedThreadLanguage mine("ENU");
    other = GetLocaleString(11600);
  });
  worker.join();
  EXPECT_EQ(other, "Database not Open!");
  EXPECT_EQ(GetLocaleString(11600), "Banco de Dados não está aberto!");
}

}  // namespace
}  // namespace corvane
