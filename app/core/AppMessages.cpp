// The one channel through which the core reports errors the user must see.
#include "app/core/AppMessages.h"

#include <utility>

#include "common/misc/CxDebugUtil.h"

namespace {

UserErrorHandler& Handler() {
  static UserErrorHandler s_handler;
  return s_handler;
}

}  // namespace

UserErrorHandler SetUserErrorHandler(UserErrorHandler handler) {
  UserErrorHandler previous = std::move(Handler());
  Handler() = std::move(handler);
  return previous;
}

void ShowUserError(const char* szText) {
  if (szText == nullptr) return;
  Log(0, "%s", szText);
  if (Handler()) Handler()(szText);
}
