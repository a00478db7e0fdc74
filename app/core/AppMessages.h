// Errors the user must see. The core never draws: it hands the text to the handler that the
// front end installed (the windows show a message box captioned "Error" with the error icon,
// the companion tool prints to standard error). Without a handler the text only reaches the
// debug log.
#pragma once

#include <functional>
#include <string>

#include "common/misc/CxFailure.h"

#define MSG_NO_PALM_USERS "Can not find any Palm users in your desktop environment."
#define MSG_CALENDAR_INIT_FAILED "Failed to initialize Calendar data."

using UserErrorHandler = std::function<void(const char* szText)>;

// Installs the handler (an empty one removes it) and returns the one it replaces.
UserErrorHandler SetUserErrorHandler(UserErrorHandler handler);

// Logs the text at level 0 and passes it to the handler.
void ShowUserError(const char* szText);

// An error text with the reason a store gave for it: the message first, as the program has
// always said it, then the reason on a paragraph of its own. Without a reason, the message
// alone.
std::string AppTextWithReason(const char* szText, const CxFailure& reason);
