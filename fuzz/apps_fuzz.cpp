// libFuzzer target: any byte string is a record (and an application-info
// block) of every handheld application and flat-file table, and compressed
// e-book text. What
// decodes must encode to the very same bytes; what does not must be refused
// with EPDBException. The e-book compression must give back any text, and the
// expansion must stay within the buffer it is given.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "corvane/apps/address.h"
#include "corvane/apps/calendar.h"
#include "corvane/apps/contacts.h"
#include "corvane/apps/datebook.h"
#include "corvane/apps/doc.h"
#include "corvane/apps/jfile.h"
#include "corvane/apps/mail.h"
#include "corvane/apps/memo.h"
#include "corvane/apps/memos.h"
#include "corvane/apps/tasks.h"
#include "corvane/apps/mobiledb.h"
#include "corvane/apps/todo.h"
#include "corvane/foundation/exception.h"

namespace {

using corvane::Bytes;
using corvane::EPDBException;
using Span = std::span<const std::uint8_t>;

void Same(const Bytes& again, Span original) {
  if (again.size() != original.size() ||
      !std::equal(again.begin(), again.end(), original.begin())) {
    std::abort();
  }
}

template <class Decode, class Encode>
void RoundTrip(Span in, Decode&& decode, Encode&& encode) {
  try {
    const auto value = decode(in);
    Same(encode(value), in);
  } catch (const EPDBException&) {
    // Refused cleanly.
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corvane::apps;
  const Span in(data, size);
  RoundTrip(
      in, [](Span s) { return DecodeMemo(s); }, [](const auto& v) { return EncodeMemo(v); });
  RoundTrip(
      in, [](Span s) { return DecodeToDo(s); }, [](const auto& v) { return EncodeToDo(v); });
  RoundTrip(
      in, [](Span s) { return DecodeAddress(s); }, [](const auto& v) { return EncodeAddress(v); });
  RoundTrip(
      in, [](Span s) { return DecodeDatebook(s); },
      [](const auto& v) { return EncodeDatebook(v); });
  RoundTrip(
      in, [](Span s) { return DecodeMail(s); }, [](const auto& v) { return EncodeMail(v); });
  RoundTrip(
      in, [](Span s) { return DecodeDocHeader(s); },
      [](const auto& v) { return EncodeDocHeader(v); });
  RoundTrip(
      in, [](Span s) { return DecodeMemoAppInfo(s); },
      [](const auto& v) { return EncodeMemoAppInfo(v); });
  RoundTrip(
      in, [](Span s) { return DecodeToDoAppInfo(s); },
      [](const auto& v) { return EncodeToDoAppInfo(v); });
  RoundTrip(
      in, [](Span s) { return DecodeAddressAppInfo(s); },
      [](const auto& v) { return EncodeAddressAppInfo(v); });
  RoundTrip(
      in, [](Span s) { return DecodeDatebookAppInfo(s); },
      [](const auto& v) { return EncodeDatebookAppInfo(v); });
  RoundTrip(
      in, [](Span s) { return DecodeMailAppInfo(s); },
      [](const auto& v) { return EncodeMailAppInfo(v); });

  // The later handhelds' applications, and the payloads of their blobs.
  RoundTrip(
      in, [](Span s) { return DecodeContacts(s); },
      [](const auto& v) { return EncodeContacts(v); });
  RoundTrip(
      in, [](Span s) { return DecodeCalendar(s); },
      [](const auto& v) { return EncodeCalendar(v); });
  RoundTrip(
      in, [](Span s) { return DecodeTasks(s); }, [](const auto& v) { return EncodeTasks(v); });
  RoundTrip(
      in, [](Span s) { return DecodeContactsAppInfo(s); },
      [](const auto& v) { return EncodeContactsAppInfo(v); });
  RoundTrip(
      in, [](Span s) { return DecodeCalendarAppInfo(s); },
      [](const auto& v) { return EncodeCalendarAppInfo(v); });
  RoundTrip(
      in, [](Span s) { return DecodeTasksAppInfo(s); },
      [](const auto& v) { return EncodeTasksAppInfo(v); });
  RoundTrip(
      in, [](Span s) { return DecodeMemosAppInfo(s); },
      [](const auto& v) { return EncodeMemosAppInfo(v); });
  const auto as_bytes = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
  RoundTrip(
      in, [](Span s) { return DecodeTimeZone(s); },
      [&](const auto& v) { return as_bytes(EncodeTimeZone(v)); });
  RoundTrip(
      in, [](Span s) { return DecodeMeeting(s); },
      [&](const auto& v) { return as_bytes(EncodeMeeting(v)); });
  RoundTrip(
      in, [](Span s) { return DecodePicture(s); },
      [&](const auto& v) { return as_bytes(EncodePicture(v)); });
  RoundTrip(
      in, [](Span s) { return DecodeAnniversary(s); },
      [&](const auto& v) { return as_bytes(EncodeAnniversary(v)); });
  // Flat-file tables: the block of each generation, rows of a four-field table.
  for (JFileVersion v : {JFileVersion::k3, JFileVersion::k4, JFileVersion::k5}) {
    RoundTrip(
        in, [v](Span s) { return DecodeJFileTable(v, s); },
        [](const auto& t) { return EncodeJFileTable(t); });
    JFileTable t = JFileTable::New(v);
    t.fields.resize(4);
    RoundTrip(
        in, [&t](Span s) { return DecodeJFileRow(t, s); },
        [&t](const auto& r) { return EncodeJFileRow(t, r); });
  }
  RoundTrip(
      in, [](Span s) { return DecodeMobileDBRecord(s); },
      [](const auto& r) { return EncodeMobileDBRecord(r); });
  RoundTrip(
      in, [](Span s) { return DecodeMobileDBAppInfo(s); },
      [](const auto& v) { return EncodeMobileDBAppInfo(v); });

  // Compressed text: expanded into a buffer of exactly the room the bound
  // gives (and a smaller one), then compressed again and expanded again.
  const std::size_t room = DocExpansionBound(size);
  for (const std::size_t cap : {room, room / 3}) {
    Bytes out(cap);
    try {
      const std::size_t n = DecompressDoc(in, out);
      if (n > cap) std::abort();
      const Span text(out.data(), n);
      const Bytes packed = CompressDoc(text);
      Bytes back(DocExpansionBound(packed.size()));
      const std::size_t m = DecompressDoc(packed, back);
      back.resize(m);
      Same(back, text);
    } catch (const EPDBException&) {
    }
  }
  // Any bytes as text.
  const Bytes packed = CompressDoc(in);
  Bytes back(DocExpansionBound(packed.size()));
  back.resize(DecompressDoc(packed, back));
  Same(back, in);
  return 0;
}
