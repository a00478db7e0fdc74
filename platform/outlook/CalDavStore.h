// The Outlook stand-in's calendar on a CalDAV server: the events of one calendar collection,
// read into an OlIcsFile whose saves go back to the server item by item. Each save is a PUT
// of the item's calendar object guarded by its ETag (If-Match; If-None-Match: * for a new
// one), so another program's change is never overwritten: the save fails with
// OL_E_OBJECT_CHANGED and the next open reads the new version.
//
// What was read is remembered in a cache file in the common application data folder
// ("DayBridge Outlook/CalDAV/<hash of the address>.cache": each item's href, ETag and text,
// and the collection's sync-token), so that a later open asks the server only what changed:
// a sync-collection report from the token where the server offers tokens, else the ETags of
// all items; only items whose ETag differs are fetched. The cache is a copy: lost or damaged,
// it is ignored and the whole collection is read again.
//
// When the server cannot be reached or refuses the login, the save fails with the reason and
// every later save of the same open fails at once with it: nothing is counted as saved that
// the server did not confirm.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/outlook/IcsFile.h"

// Opens the collection at strAddress. Null with the reason (naming the address, never a
// password) and *phr = OL_E_DISK_ERROR when it cannot be read.
std::unique_ptr<OlIcsFile> OlCalDavOpen(const std::string& strAddress, HRESULT* phr,
                                        std::string* pstrError);

// One remembered item.
struct OlCalDavCachedItem {
  std::string strHref;
  std::string strEtag;  // empty: to be fetched again
  std::string strData;
};
struct OlCalDavCache {
  std::string strAddress;
  std::string strSyncToken;
  std::vector<OlCalDavCachedItem> items;
};
// The cache file's text, and its reading (false for anything but a whole, well-formed cache).
std::string OlComposeCalDavCache(const OlCalDavCache& cache);
bool OlParseCalDavCache(const std::string& strText, OlCalDavCache* pCache);
