// Feeds arbitrary bytes to the rule-text decoder of "Repeated Event" (and to the start-time
// text it reads beside it): the first byte chooses how many of the rest go to the start time,
// the remainder is the rule text, cut to what the record holds. A decoded rule is encoded
// again, which must also stay within the record.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/palm/PalmDateEx2.h"
#include "fuzz/FuzzOutcome.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  static bool bZoneSet = false;
  if (!bZoneSet) {
    setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
    bZoneSet = true;
  }
  PmDateEx2Record record;
  std::memset(&record, 0, sizeof(record));
  if (nSize > 0) {
    size_t nStart = pData[0] % 16;
    ++pData;
    --nSize;
    if (nStart > nSize) nStart = nSize;
    std::memcpy(record.szStartTime, pData, nStart);
    pData += nStart;
    nSize -= nStart;
    // No terminator on purpose when the text fills the field: the decoder must bound it.
    const size_t nRule =
        nSize < sizeof(record.szRepeatedEvent) ? nSize : sizeof(record.szRepeatedEvent);
    std::memcpy(record.szRepeatedEvent, pData, nRule);
  }
  PmDateEx2Util::DecodeRepeat(&record);
  const std::string strDecoded = dbfuzz::Format(
      "start %ld, type %ld every %ld, days 0x%02X week %ld month %ld day %ld, end %ld",
      static_cast<long>(record.nStartTime), static_cast<long>(record.nRepeatType),
      static_cast<long>(record.nRepeatInterval), static_cast<unsigned>(record.bRepeatDays),
      static_cast<long>(record.nRepeatWeek), static_cast<long>(record.nRepeatMonth),
      static_cast<long>(record.nRepeatDay), static_cast<long>(record.nRepeatEnd));
  PmDateEx2Util::EncodeRepeat(&record);
  if (std::strlen(record.szRepeatedEvent) >= sizeof(record.szRepeatedEvent)) std::abort();
  // A text that is no rule leaves the appointment without a repeat.
  if (record.nRepeatType != 0) {
    dbfuzz::ReportAccepted(strDecoded);
  } else {
    dbfuzz::ReportRefused(strDecoded);
  }
  return 0;
}
