// Feeds arbitrary bytes to the naming of the local zone: the first line is the value of TZ
// (a name, ":name", a path into a zoneinfo tree, a POSIX rule), the rest a TZID as a calendar
// file may carry it. A zone that is named must be the local zone by that name, and its
// definition must parse back as a VTIMEZONE under exactly that TZID, since events written
// with it point at it by that name.
#include <libical/ical.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/FuzzOutcome.h"
#include "platform/outlook/IcsZone.h"

namespace {

void Check(bool bCondition, const char* szWhat) {
  if (!bCondition) {
    std::fprintf(stderr, "fuzz_icszone: %s\n", szWhat);
    std::abort();
  }
}

bool BlockNamesZone(const std::string& strBlock, const std::string& strName) {
  icalcomponent* pParsed = icalparser_parse_string(strBlock.c_str());
  if (pParsed == nullptr) return false;
  icalcomponent* pZone = icalcomponent_isa(pParsed) == ICAL_VTIMEZONE_COMPONENT
                             ? pParsed
                             : icalcomponent_get_first_component(pParsed, ICAL_VTIMEZONE_COMPONENT);
  icalproperty* pTzid =
      pZone != nullptr ? icalcomponent_get_first_property(pZone, ICAL_TZID_PROPERTY) : nullptr;
  const bool bNamed = pTzid != nullptr && strName == icalproperty_get_tzid(pTzid);
  icalcomponent_free(pParsed);
  return bNamed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  const std::string strInput(reinterpret_cast<const char*>(pData), nSize);
  const size_t nBreak = strInput.find('\n');
  // setenv stops at a NUL, as a real environment would.
  const std::string strTz = strInput.substr(0, nBreak);
  const std::string strTzid = nBreak == std::string::npos ? "" : strInput.substr(nBreak + 1);
  setenv("TZ", strTz.c_str(), 1);

  const std::string strZone = OlLocalZoneName();
  const bool bLocalTzid = OlIsLocalZone(strTzid.c_str());
  OlBuiltinZone(strTzid);
  if (strZone.empty()) {
    dbfuzz::ReportRefused(bLocalTzid ? "TZID local" : "");
    Check(!bLocalTzid, "a TZID is local without a local zone");
    return 0;
  }
  Check(OlIsLocalZone(strZone.c_str()), "the local zone is not local by its own name");
  Check(BlockNamesZone(OlZoneBlock(strZone), strZone), "the zone's definition does not name it");
  dbfuzz::ReportAccepted(dbfuzz::Printable(strZone) + (bLocalTzid ? ", TZID local" : ""));
  return 0;
}
