#include "corvane/foundation/exception.h"

#include "corvane/foundation/messages.h"

namespace corvane {

void RaisePDB(int code, int message_id) { throw EPDBException(code, GetLocaleString(message_id)); }

}  // namespace corvane
