// The message catalogue: every text the library raises, in English at an id N
// that is a multiple of 10 and in Portuguese at N + 1.
//
// Every function here may be called from any thread. The language is looked
// up for the calling thread on every call, so each thread gets the messages
// of its own language (host/locale.h: its override or its locale), whatever
// other threads use.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The catalogue entry at exactly this id (English at N, Portuguese at N + 1),
// as UTF-8; empty when there is none.
std::string_view CatalogueText(int id) noexcept;

// True when the calling thread's language (ThreadLanguageName) starts with "pt"
// in any case.
bool ThreadWantsPortuguese();

// The text for the even id Id in the calling thread's language; "" when the
// catalogue has no such entry.
std::string GetLocaleString(int Id);

}  // namespace corvane
