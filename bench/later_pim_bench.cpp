// Decoding and encoding a full database's worth (65,535) of the later
// handhelds' Contacts and Calendar records, each with texts and blobs. The
// mark to stay near: a few milliseconds for the whole database, as for
// decoding five fields of every record of the other databases.
#include <benchmark/benchmark.h>

#include <vector>

#include "corvane/apps/calendar.h"
#include "corvane/apps/contacts.h"

namespace corvane {
namespace {

using namespace corvane::apps;

constexpr int kRecords = 65535;

const std::vector<Bytes>& ContactRecords() {
  static const std::vector<Bytes> records = [] {
    std::vector<Bytes> v;
    for (int i = 0; i < kRecords; ++i) {
      ContactsRecord c;
      c[ContactsField::kLastName] = "Lastname" + std::to_string(i);
      c[ContactsField::kFirstName] = "First";
      c[ContactsField::kCompany] = "Company Ltd";
      c[ContactsField::kPhone1] = "+1 555 0100";
      c[ContactsField::kPhone5] = "someone@example.com";
      c[ContactsField::kCity1] = "Springfield";
      c.companyOffset = c.StandardCompanyOffset();
      c.birthday = PackedDate{1970, 5, 17}.Word();
      c.birthdayFlags = 0;
      c.blobs = {{"Bd01", std::string(12, '\0')}};
      v.push_back(EncodeContacts(c));
    }
    return v;
  }();
  return records;
}

const std::vector<Bytes>& EventRecords() {
  static const std::vector<Bytes> records = [] {
    std::vector<Bytes> v;
    for (int i = 0; i < kRecords; ++i) {
      CalendarRecord e;
      e.startHour = 9;
      e.startMinute = 0;
      e.endHour = 10;
      e.endMinute = 0;
      e.date = PackedDate{2006, 1 + i % 12, 1 + i % 28}.Word();
      e.description = "Meeting " + std::to_string(i);
      e.location = "Room 4";
      CalendarTimeZone z;
      z.offset = -300;
      z.name = "New York";
      e.blobs = {{"Bd00", EncodeTimeZone(z)}};
      v.push_back(EncodeCalendar(e));
    }
    return v;
  }();
  return records;
}

void DecodeContactsDatabase(benchmark::State& state) {
  const auto& records = ContactRecords();
  for (auto _ : state) {
    std::size_t n = 0;
    for (const Bytes& r : records) n += DecodeContacts(r).fields[0]->size();
    benchmark::DoNotOptimize(n);
  }
}
BENCHMARK(DecodeContactsDatabase)->Unit(benchmark::kMillisecond);

void DecodeCalendarDatabase(benchmark::State& state) {
  const auto& records = EventRecords();
  for (auto _ : state) {
    std::size_t n = 0;
    for (const Bytes& r : records) n += DecodeCalendar(r).blobs.size();
    benchmark::DoNotOptimize(n);
  }
}
BENCHMARK(DecodeCalendarDatabase)->Unit(benchmark::kMillisecond);

void EncodeContactsDatabase(benchmark::State& state) {
  std::vector<ContactsRecord> decoded;
  for (const Bytes& r : ContactRecords()) decoded.push_back(DecodeContacts(r));
  for (auto _ : state) {
    std::size_t n = 0;
    for (const ContactsRecord& c : decoded) n += EncodeContacts(c).size();
    benchmark::DoNotOptimize(n);
  }
}
BENCHMARK(EncodeContactsDatabase)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane
