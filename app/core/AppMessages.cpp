// The one channel through which the core reports errors the user must see.
#include "app/core/AppMessages.h"
#define DB_MODULE "AppMessages"
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

std::string AppTextWithReason(const char* szText, const CxFailure& reason) {
  std::string strText = szText != nullptr ? szText : "";
  if (!reason.IsSet() || reason.szText[0] == '\0') return strText;
  // Reasons are written to follow a colon or stand in parentheses ("permission denied:
  // /path"); standing alone, the first letter is raised. A path ends the text, so no full
  // stop follows it.
  std::string strReason = reason.szText;
  if (strReason[0] >= 'a' && strReason[0] <= 'z') {
    strReason[0] = static_cast<char>(strReason[0] - 'a' + 'A');
  }
  return strText + "\n\n" + strReason;
}
