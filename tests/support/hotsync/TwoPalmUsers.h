// The user list the user selection cases run on: user A (id 5), then user B (id 9). Pass
// bEmpty for a list without users.
#pragma once

#include "common/misc/CxList.h"
#include "common/palm/PalmHotSync.h"

struct TwoPalmUsers {
  explicit TwoPalmUsers(bool bEmpty = false) {
    if (bEmpty) return;
    list.Add(&a);
    list.Add(&b);
  }
  TwoPalmUsers(const TwoPalmUsers&) = delete;
  TwoPalmUsers& operator=(const TwoPalmUsers&) = delete;

  PalmUser a = {5, "A", "A"};
  PalmUser b = {9, "B", "B"};
  CxList list;
};
