// The application codecs against bytes the handheld's own layout gives
// (golden records packed by Perl's Palm modules and taken from real files),
// damaged records, and the e-book compression both ways.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "corvane/apps/address.h"
#include "corvane/apps/datebook.h"
#include "corvane/apps/doc.h"
#include "corvane/apps/mail.h"
#include "corvane/apps/memo.h"
#include "corvane/apps/todo.h"
#include "corvane/foundation/exception.h"
#include "corvane/host/locale.h"

namespace corvane::apps {
namespace {

Bytes FromHex(std::string_view hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

Bytes Of(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

// The code and English message of the EPDBException `f` raises.
template <class F>
std::pair<int, std::string> Refusal(F&& f) {
  try {
    f();
  } catch (const EPDBException& e) {
    return {e.ErrorCode(), e.what()};
  }
  return {0, "nothing raised"};
}

struct English : ::testing::Test {
  void SetUp() override { SetThreadLanguageOverride("en"); }
  void TearDown() override { SetThreadLanguageOverride(std::nullopt); }
};

using Golden = English;
using Damaged = English;
using Doc = English;

TEST_F(Golden, ToDoFromARealFile) {
  const Bytes bytes = FromHex("cd4c01416e6f74686572206c696e650000");
  const ToDoRecord t = DecodeToDo(bytes);
  EXPECT_EQ(PackedDate::FromWord(t.due).year, 2006);
  EXPECT_EQ(PackedDate::FromWord(t.due).month, 10);
  EXPECT_EQ(PackedDate::FromWord(t.due).day, 12);
  EXPECT_EQ(t.priority, 1);
  EXPECT_FALSE(t.completed);
  EXPECT_EQ(t.description, "Another line");
  EXPECT_EQ(t.note, "");
  EXPECT_EQ(EncodeToDo(t), bytes);

  ToDoRecord done;
  done.priority = 5;
  done.completed = true;
  done.description = "x";
  EXPECT_EQ(EncodeToDo(done), FromHex("ffff85780000"));
}

TEST_F(Golden, DatebookWithEveryPart) {
  const Bytes bytes =
      FromHex("091e0a0fea517c0005000200eb9f020a00000001ea614d65657400526f6f6d203200");
  const DatebookRecord e = DecodeDatebook(bytes);
  EXPECT_EQ(e.startHour, 9);
  EXPECT_EQ(e.startMinute, 30);
  EXPECT_EQ(e.endHour, 10);
  EXPECT_EQ(e.endMinute, 15);
  EXPECT_EQ(e.date, (PackedDate{2021, 2, 17}.Word()));
  ASSERT_TRUE(e.alarm);
  EXPECT_EQ(e.alarm->advance, 5);
  EXPECT_EQ(e.alarm->unit, 0);
  ASSERT_TRUE(e.repeat);
  EXPECT_EQ(e.repeat->type, static_cast<std::uint8_t>(RepeatType::kWeekly));
  EXPECT_EQ(e.repeat->end, (PackedDate{2021, 12, 31}.Word()));
  EXPECT_EQ(e.repeat->frequency, 2);
  EXPECT_EQ(e.repeat->repeatOn, 0x0A);  // Monday and Wednesday
  ASSERT_TRUE(e.exceptions);
  ASSERT_EQ(e.exceptions->size(), 1u);
  EXPECT_EQ((*e.exceptions)[0], (PackedDate{2021, 3, 1}.Word()));
  EXPECT_EQ(e.description, "Meet");
  EXPECT_EQ(e.note, "Room 2");
  EXPECT_EQ(EncodeDatebook(e), bytes);

  // An untimed event from a real file keeps the flag bits it has no use for.
  const Bytes real = FromHex("0f001000ea51043254657374203100");
  const DatebookRecord r = DecodeDatebook(real);
  EXPECT_EQ(r.otherFlags, 0x32);
  EXPECT_FALSE(r.note);
  EXPECT_EQ(EncodeDatebook(r), real);
  DatebookRecord untimed;
  untimed.date = PackedDate{2000, 1, 1}.Word();
  EXPECT_TRUE(untimed.Untimed());
  EXPECT_EQ(EncodeDatebook(untimed), FromHex("ffffffffc0210000"));
}

TEST_F(Golden, AddressMaskAndCompanyOffset) {
  const Bytes bytes = FromHex("000432170004000f09446f6500416e6e0041636d6500353535006e00");
  const AddressRecord a = DecodeAddress(bytes);
  EXPECT_EQ(a.phoneLabels[0], 7);
  EXPECT_EQ(a.phoneLabels[4], 4);
  EXPECT_EQ(a.displayPhone, 0);
  EXPECT_EQ(a[AddressField::kLastName], "Doe");
  EXPECT_EQ(a[AddressField::kFirstName], "Ann");
  EXPECT_EQ(a[AddressField::kCompany], "Acme");
  EXPECT_EQ(a[AddressField::kPhone1], "555");
  EXPECT_EQ(a[AddressField::kNote], "n");
  EXPECT_FALSE(a[AddressField::kCity]);
  EXPECT_EQ(a.companyOffset, 9);
  EXPECT_EQ(a.StandardCompanyOffset(), 9);
  EXPECT_EQ(EncodeAddress(a), bytes);
}

TEST_F(Golden, MailFlagsAndTexts) {
  const Bytes bytes = FromHex("c88f0d058900486900614062006340640000000000426f647900");
  const MailRecord m = DecodeMail(bytes);
  EXPECT_EQ(m.date, (PackedDate{2004, 4, 15}.Word()));
  EXPECT_EQ(m.hour, 13);
  EXPECT_EQ(m.minute, 5);
  EXPECT_TRUE(m.read);
  EXPECT_FALSE(m.signature);
  EXPECT_EQ(m.priority, 2);
  EXPECT_EQ(m.addressing, 1);
  EXPECT_EQ(m[MailField::kSubject], "Hi");
  EXPECT_EQ(m[MailField::kTo], "c@d");
  EXPECT_EQ(m[MailField::kBody], "Body");
  EXPECT_EQ(EncodeMail(m), bytes);
  // Bytes after the body (a real file has them) come back as they were.
  Bytes tail = bytes;
  tail.push_back(0x01);
  EXPECT_EQ(DecodeMail(tail).extra, "\x01");
  EXPECT_EQ(EncodeMail(DecodeMail(tail)), tail);
}

TEST_F(Golden, MemoAndStandardAppInfo) {
  EXPECT_EQ(EncodeMemo(MemoRecord{"Hi\nthere", ""}), Of(std::string("Hi\nthere\0", 9)));
  EXPECT_EQ(DecodeMemo(Of(std::string("abc\0", 4))).text, "abc");

  MemoAppInfo info;
  info.categories.names[1] = "Business";
  info.sortOrder = 1;
  const Bytes block = EncodeMemoAppInfo(info);
  ASSERT_EQ(block.size(), 282u);
  EXPECT_EQ(block[0], 0);
  EXPECT_EQ(std::string(block.begin() + 2, block.begin() + 9), "Unfiled");
  EXPECT_EQ(std::string(block.begin() + 18, block.begin() + 26), "Business");
  EXPECT_EQ(block[258 + 15], 15);  // category ID 15
  EXPECT_EQ(block[274], 15);       // last unique ID
  EXPECT_EQ(block[280], 1);        // sort order after four reserved bytes
  EXPECT_EQ(DecodeMemoAppInfo(block), info);

  AddressAppInfo address = AddressAppInfo::Standard();
  address.misc = 1;
  const Bytes ablock = EncodeAddressAppInfo(address);
  EXPECT_EQ(ablock.size(), 638u);
  EXPECT_TRUE(DecodeAddressAppInfo(ablock).SortByCompany());
  EXPECT_EQ(DecodeAddressAppInfo(ablock).labels[21], "Mobile");

  EXPECT_EQ(EncodeToDoAppInfo(ToDoAppInfo{}).size(), 282u);
  EXPECT_EQ(EncodeDatebookAppInfo(DatebookAppInfo{}).size(), 280u);
  EXPECT_EQ(EncodeMailAppInfo(MailAppInfo{}).size(), 288u);
  // A category name of 16 bytes fills its slot without an ending zero.
  MemoAppInfo full;
  full.categories.names[2] = "sixteen-chars-ok";
  EXPECT_EQ(DecodeMemoAppInfo(EncodeMemoAppInfo(full)).categories.names[2], "sixteen-chars-ok");
}

TEST_F(Damaged, RecordsAreRefusedWithWhatIsWrong) {
  struct Case {
    const char* what;
    std::pair<int, std::string> got;
    int code;
    std::string message;
  };
  const std::string not_ended = "A text of the record is not ended by a zero byte!";
  const std::string too_short = "Record is shorter than its fixed part!";
  const Case cases[] = {
      {"memo without its zero", Refusal([] { DecodeMemo(Of("abc")); }), 1, not_ended},
      {"empty memo record", Refusal([] { DecodeMemo({}); }), 1, not_ended},
      {"to-do of two bytes", Refusal([] { DecodeToDo(FromHex("ffff")); }), 1, too_short},
      {"to-do without note", Refusal([] { DecodeToDo(FromHex("ffff016162")); }), 2, not_ended},
      {"to-do note cut", Refusal([] { DecodeToDo(FromHex("ffff0161620063")); }), 3, not_ended},
      {"address of 8 bytes", Refusal([] { DecodeAddress(FromHex("0000000000000001")); }), 1,
       too_short},
      {"address mask names a missing text",
       Refusal([] { DecodeAddress(FromHex("000000000000000300616200")); }), 2, not_ended},
      {"date book of 7 bytes", Refusal([] { DecodeDatebook(FromHex("ffffffff282100")); }), 1,
       too_short},
      {"date book alarm cut", Refusal([] { DecodeDatebook(FromHex("ffffffff2821400005")); }), 2,
       too_short},
      {"date book repeat cut", Refusal([] { DecodeDatebook(FromHex("ffffffff28212000010000")); }),
       3, too_short},
      {"date book exceptions past the end",
       Refusal([] { DecodeDatebook(FromHex("ffffffff28210800ffff2821")); }), 4,
       "Date Book exception list runs past the end of the record!"},
      {"date book description cut", Refusal([] { DecodeDatebook(FromHex("ffffffff2821040041")); }),
       5, not_ended},
      {"mail of 5 bytes", Refusal([] { DecodeMail(FromHex("0000000000")); }), 1, too_short},
      {"mail with seven texts", Refusal([] { DecodeMail(FromHex("00000000000000000000000000")); }),
       2, not_ended},
      {"memo app-info of 275 bytes", Refusal([] { DecodeMemoAppInfo(Bytes(275)); }), 1,
       "Application-info block is shorter than its fixed part!"},
      {"address app-info without labels", Refusal([] { DecodeAddressAppInfo(Bytes(300)); }), 2,
       "Application-info block is shorter than its fixed part!"},
      {"to-do text holding a zero", Refusal([] {
         EncodeToDo(ToDoRecord{kNoDate, 1, false, std::string("a\0b", 3), "", ""});
       }),
       2, "A text holds a zero byte and cannot be stored!"},
      {"priority over 127", Refusal([] {
         EncodeToDo(ToDoRecord{kNoDate, 200, false, "", "", ""});
       }),
       1, "A value is out of range for its field!"},
      {"category name of 17 bytes", Refusal([] {
         MemoAppInfo i;
         i.categories.names[3] = "seventeen-chars-x";
         EncodeMemoAppInfo(i);
       }),
       1, "Name longer than 16 bytes!"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.got.first, c.code) << c.what << ": " << c.got.second;
    EXPECT_EQ(c.got.second, c.message) << c.what;
  }
}

TEST_F(Damaged, PortugueseMessages) {
  SetThreadLanguageOverride("pt");
  EXPECT_EQ(Refusal([] { DecodeMemo(Of("x")); }).second,
            "Um texto do registro não termina com um byte zero!");
  EXPECT_EQ(Refusal([] { DecodeDocHeader(Bytes(4)); }).second,
            "O registro de cabeçalho do livro eletrônico é curto demais!");
}

// Every prefix of a good record either decodes or is refused cleanly, and
// whatever decodes encodes to the same bytes.
TEST_F(Damaged, EveryPrefixOfAGoodRecord) {
  const Bytes records[] = {
      FromHex("091e0a0fea517c0005000200eb9f020a00000001ea614d65657400526f6f6d203200"),
      FromHex("000432170004000f09446f6500416e6e0041636d6500353535006e00"),
      FromHex("c88f0d058900486900614062006340640000000000426f647900"),
  };
  for (const Bytes& full : records) {
    for (std::size_t n = 0; n <= full.size(); ++n) {
      const std::span<const std::uint8_t> part(full.data(), n);
      const Bytes same(part.begin(), part.end());
      for (int codec = 0; codec < 3; ++codec) {
        try {
          Bytes again;
          if (codec == 0) again = EncodeDatebook(DecodeDatebook(part));
          if (codec == 1) again = EncodeAddress(DecodeAddress(part));
          if (codec == 2) again = EncodeMail(DecodeMail(part));
          EXPECT_EQ(again, same) << "codec " << codec << ", " << n << " bytes";
        } catch (const EPDBException&) {
        }
      }
    }
  }
}

TEST_F(Doc, HeaderGoldenBytes) {
  const Bytes bytes = FromHex("0002000000004dfd0005100000000000");
  const DocHeader h = DecodeDocHeader(bytes);
  EXPECT_EQ(h.compression, kDocCompressed);
  EXPECT_EQ(h.textLength, 0x4DFDu);
  EXPECT_EQ(h.recordCount, 5);
  EXPECT_EQ(h.recordSize, 4096);
  EXPECT_EQ(EncodeDocHeader(h), bytes);
  EXPECT_EQ(Refusal([&] { DecodeDocHeader(FromHex("4448000000004dfd0005100000000000")); }),
            (std::pair<int, std::string>{2, "Unknown e-book compression!"}));
}

TEST_F(Doc, DecompressionTable) {
  struct Case {
    const char* compressed;
    std::string text;
  };
  const Case cases[] = {
      {"41424300", std::string("ABC\0", 4)},
      {"0380ff0a", "\x80\xff\n"},    // a literal run of three
      {"e8e9", " h i"},              // space + letter pairs
      {"61626380180a", "abcabc\n"},  // back 3, length 3
      {"6180090a", "aaaaa\n"},       // back 1, length 4: the copy overlaps itself
      {"4142434445464748494a8057", "ABCDEFGHIJABCDEFGHIJ"},  // back 10, length 10
  };
  for (const Case& c : cases) {
    const Bytes in = FromHex(c.compressed);
    Bytes out(DocExpansionBound(in.size()));
    const std::size_t n = DecompressDoc(in, out);
    EXPECT_EQ(std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n)), c.text)
        << c.compressed;
  }
}

TEST_F(Doc, HostileCompressedText) {
  const std::string back = "Compressed e-book text refers back before its start!";
  const std::string cut = "Compressed e-book text ends inside a literal run!";
  const std::string beyond = "E-book text expands beyond its limit!";
  struct Case {
    const char* compressed;
    std::size_t room;
    int code;
    std::string message;
  };
  const Case cases[] = {
      {"8008", 64, 3, back},      // back 1 with nothing produced
      {"4180100a", 64, 3, back},  // back 2 with one byte produced
      {"8000", 64, 3, back},      // distance 0
      {"0541", 64, 1, cut},       // five literal bytes announced, one there
      {"4180", 64, 1, cut},       // a pair without its second byte
      {"414243", 2, 2, beyond},  {"e8", 1, 2, beyond},
      {"41800f", 5, 2, beyond},  // back 1, length 10 into room for 5
  };
  for (const Case& c : cases) {
    const Bytes in = FromHex(c.compressed);
    Bytes out(c.room);
    const auto got = Refusal([&] { DecompressDoc(in, out); });
    EXPECT_EQ(got, (std::pair<int, std::string>{c.code, c.message})) << c.compressed;
  }
}

TEST_F(Doc, CompressionRoundTrips) {
  std::mt19937 rng(13);
  std::vector<std::string> texts = {
      "",
      "a",
      " ",
      "  x",
      "The quick brown fox jumps over the lazy dog. The quick brown fox.",
      std::string(5000, 'z'),
      std::string("\x01\x02\x03\x80\x81\xff\x00 \x7f", 10)};
  std::string random(9000, '\0');
  for (char& c : random) c = static_cast<char>(rng());
  texts.push_back(random);
  std::string words;
  const char* vocabulary[] = {"palm ", "record ", "\xe9t\xe9 ", "\n", "data ", "Base ", "\t"};
  while (words.size() < 20000) words += vocabulary[rng() % 7];
  texts.push_back(words);
  for (const std::string& t : texts) {
    const Bytes in(t.begin(), t.end());
    const Bytes packed = CompressDoc(in);
    Bytes out(DocExpansionBound(packed.size()) + 1);
    const std::size_t n = DecompressDoc(packed, out);
    ASSERT_EQ(std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n)), t);
    if (t == words) {
      EXPECT_LT(packed.size(), t.size() / 2) << "the compression saves little";
    }
  }
}

// The largest distance a pair can hold is 2047: a block of 2048 bytes seen
// again is out of reach exactly, and must be spelled out, not referenced.
TEST_F(Doc, BackReferencesNeverReachPast2047) {
  std::mt19937 rng(2048);
  for (std::size_t block : {2046u, 2047u, 2048u, 2049u}) {
    std::string piece(block, '\0');
    for (char& c : piece) c = static_cast<char>('a' + rng() % 26);
    const std::string text = piece + piece + piece;
    const Bytes in(text.begin(), text.end());
    const Bytes packed = CompressDoc(in);
    Bytes out(DocExpansionBound(packed.size()) + 1);
    const std::size_t n = DecompressDoc(packed, out);
    ASSERT_EQ(std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n)), text)
        << block;
    // Walk the stream and look at every pair.
    std::size_t longest = 0, pairs = 0;
    for (std::size_t i = 0; i < packed.size();) {
      const std::uint8_t c = packed[i];
      if (c >= 0x01 && c <= 0x08) {
        i += 1 + c;
      } else if (c >= 0x80 && c < 0xC0) {
        ASSERT_LT(i + 1, packed.size());
        longest = std::max<std::size_t>(longest, ((c << 8 | packed[i + 1]) & 0x3FFF) >> 3);
        ++pairs;
        i += 2;
      } else {
        ++i;
      }
    }
    EXPECT_LE(longest, 2047u) << block;
    if (block <= 2047) {
      EXPECT_GT(pairs, block / 10) << "a repeat within reach is not referenced";
      EXPECT_EQ(longest, block);
    }
  }
}

// One record may hold at most 65535 bytes of text (its size is 16 bits in the
// header): a record that expands further is refused, whatever room there is.
TEST_F(Doc, RecordExpandingPastItsLimit) {
  Bytes bomb = {'a'};
  for (int i = 0; i < 7000; ++i) {
    bomb.push_back(0x80);
    bomb.push_back(0x0F);  // back 1, length 10
  }
  DocHeader h;
  h.recordCount = 1;
  const Bytes head = EncodeDocHeader(h);
  const std::vector<std::span<const std::uint8_t>> spans = {head, bomb};
  // The message names the record, as every record's failure does.
  EXPECT_EQ(Refusal([&] { DecodeDocText(h, spans); }),
            (std::pair<int, std::string>{2, "record 1: E-book text expands beyond its limit!"}));
  bomb.resize(1 + 2 * 6500);  // 65001 bytes: allowed
  const std::vector<std::span<const std::uint8_t>> fits = {head, bomb};
  EXPECT_EQ(DecodeDocText(h, fits), std::string(65001, 'a'));
}

TEST_F(Doc, BookOfRecordsBothWays) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "Line " + std::to_string(i) + " of the book.\n";
  for (std::uint16_t compression : {kDocUncompressed, kDocCompressed}) {
    DocHeader h;
    h.compression = compression;
    const std::vector<Bytes> records = EncodeDocText(text, h);
    EXPECT_EQ(h.textLength, text.size());
    EXPECT_EQ(h.recordCount, (text.size() + 4095) / 4096);
    const Bytes head = EncodeDocHeader(h);
    std::vector<std::span<const std::uint8_t>> spans = {head};
    for (const Bytes& r : records) spans.emplace_back(r);
    EXPECT_EQ(DecodeDocText(DecodeDocHeader(head), spans), text);
    spans.pop_back();
    EXPECT_EQ(Refusal([&] { DecodeDocText(h, spans); }).second,
              "E-book header names more text records than the database holds!");
  }
}

}  // namespace
}  // namespace corvane::apps
