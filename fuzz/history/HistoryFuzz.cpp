// Feeds arbitrary bytes to the history file decoder and re-encodes what it accepted: every
// delivered entry must be terminated and survive a round trip unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/core/SyncHistory.h"
#include "fuzz/FuzzOutcome.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  std::vector<HistoryEntry> vEntries;
  const DWORD nAnnounced = DecodeHistoryFile(pData, nSize, vEntries);
  std::vector<const HistoryEntry*> vPointers;
  for (const HistoryEntry& entry : vEntries) {
    if (memchr(entry.szDesc, '\0', sizeof(entry.szDesc)) == nullptr) abort();
    vPointers.push_back(&entry);
  }
  std::string sBytes = EncodeHistoryFile(vPointers);
  std::vector<HistoryEntry> vAgain;
  DecodeHistoryFile(reinterpret_cast<const BYTE*>(sBytes.data()), sBytes.size(), vAgain);
  if (vAgain.size() != vEntries.size()) abort();
  for (size_t i = 0; i < vAgain.size(); ++i) {
    if (strcmp(vAgain[i].szDesc, vEntries[i].szDesc) != 0 ||
        vAgain[i].nRecords != vEntries[i].nRecords ||
        memcmp(&vAgain[i].dtStart, &vEntries[i].dtStart, sizeof(DATE)) != 0) {
      abort();
    }
  }
  // A cut file still gives its whole entries; it counts as refused for what it drops.
  if (vEntries.size() == nAnnounced) {
    dbfuzz::ReportAccepted(dbfuzz::Format("%zu entries", vEntries.size()));
  } else {
    dbfuzz::ReportRefused(dbfuzz::Format("%zu of %u entries whole", vEntries.size(),
                                         static_cast<unsigned>(nAnnounced)));
  }
  return 0;
}
