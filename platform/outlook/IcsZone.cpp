// How the zone is named: TZ wins when set (":Europe/Berlin", "Europe/Berlin" or a path into
// a zoneinfo tree); without TZ the C library reads /etc/localtime, whose link target names
// the zone, and Debian also writes the name into /etc/timezone. A name only counts when
// libical has the zone built in, since its definition goes into the file beside the events.
#include "platform/outlook/IcsZone.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "platform/win/WinTime.h"

namespace {

constexpr char kZoneInfoMark[] = "zoneinfo/";
constexpr char kPosixTree[] = "posix/";

// Names under which the tz database keeps UTC itself: such a zone is written as UTC.
const char* const kUtcNames[] = {"UTC",       "UCT",       "GMT",           "GMT0",
                                 "Zulu",      "Universal", "Greenwich",     "Etc/UTC",
                                 "Etc/UCT",   "Etc/GMT",   "Etc/GMT0",      "Etc/GMT+0",
                                 "Etc/GMT-0", "Etc/Zulu",  "Etc/Universal", "Etc/Greenwich"};

bool IsUtcName(const std::string& strName) {
  for (const char* szUtc : kUtcNames) {
    if (strName == szUtc) return true;
  }
  return false;
}

std::string WithoutPosixTree(std::string strName) {
  if (strName.rfind(kPosixTree, 0) == 0) strName.erase(0, std::strlen(kPosixTree));
  return strName;
}

// The zone name in a path into a zoneinfo tree ("/usr/share/zoneinfo/Europe/Berlin").
std::string NameFromPath(const std::string& strPath) {
  const size_t nMark = strPath.rfind(kZoneInfoMark);
  if (nMark == std::string::npos) return std::string();
  return WithoutPosixTree(strPath.substr(nMark + std::strlen(kZoneInfoMark)));
}

// A path names its zone directly or through the link it is.
std::string NameOfZoneFile(const std::string& strPath) {
  std::string strName = NameFromPath(strPath);
  if (!strName.empty()) return strName;
  std::error_code ec;
  const std::filesystem::path target = std::filesystem::read_symlink(strPath, ec);
  return ec ? std::string() : NameFromPath(target.string());
}

std::string SystemZoneName() {
  std::string strName = NameOfZoneFile("/etc/localtime");
  if (!strName.empty()) return strName;
  std::ifstream in("/etc/timezone");
  std::getline(in, strName);
  const size_t nEnd = strName.find_last_not_of(" \t\r\n");
  return nEnd == std::string::npos ? std::string() : strName.substr(0, nEnd + 1);
}

std::string NameFromEnvironment(const char* szTz) {
  if (szTz == nullptr) return SystemZoneName();
  std::string strTz = szTz;
  if (!strTz.empty() && strTz[0] == ':') strTz.erase(0, 1);
  if (strTz.empty()) return std::string();  // an empty TZ is UTC
  if (strTz[0] == '/') return NameOfZoneFile(strTz);
  return WithoutPosixTree(strTz);
}

// The zones of the tz database need a few hundred observances and dates at most.
constexpr int kMaxZoneChanges = 4096;

constexpr std::time_t kStepsFrom = 0;            // 1970-01-01 UTC
constexpr std::time_t kStepsUntil = 4102444800;  // 2100-01-01 UTC
constexpr std::time_t kProbeStride = 7 * 86400;  // no clock changes twice within a week
constexpr std::time_t kStepPrecision = 1;        // an occurrence may fall on the very second

OlZoneStep StepAt(icaltimezone* pZone, std::time_t tAt) {
  OlZoneStep step{tAt, 0, 0};
  if (pZone != nullptr) {
    icaltimetype utc = icaltime_from_timet_with_zone(tAt, 0, icaltimezone_get_utc_timezone());
    int bDaylight = 0;
    step.nZoneOffset = icaltimezone_get_utc_offset_of_utc_time(pZone, &utc, &bDaylight) / 60;
  }
  std::tm fields{};
  const long nLocalOffset = CxLocalTime(tAt, &fields) ? fields.tm_gmtoff / 60 : 0;
  step.nLocalAhead = nLocalOffset - step.nZoneOffset;
  return step;
}

bool SameDistance(const OlZoneStep& a, const OlZoneStep& b) {
  return a.nZoneOffset == b.nZoneOffset && a.nLocalAhead == b.nLocalAhead;
}

}  // namespace

std::vector<OlZoneStep> OlZoneSteps(icaltimezone* pZone) {
  std::vector<OlZoneStep> steps{StepAt(pZone, kStepsFrom)};
  for (std::time_t tProbe = kStepsFrom + kProbeStride; tProbe < kStepsUntil;
       tProbe += kProbeStride) {
    const OlZoneStep probe = StepAt(pZone, tProbe);
    // Each change after the previous probe is found by halving down to the second; a week
    // with two changes is searched again from the first.
    std::time_t tBefore = tProbe - kProbeStride;
    while (!SameDistance(probe, steps.back())) {
      std::time_t tAfter = tProbe;
      while (tAfter - tBefore > kStepPrecision) {
        const std::time_t tMiddle = tBefore + (tAfter - tBefore) / 2;
        if (SameDistance(StepAt(pZone, tMiddle), steps.back())) {
          tBefore = tMiddle;
        } else {
          tAfter = tMiddle;
        }
      }
      steps.push_back(StepAt(pZone, tAfter));
      tBefore = tAfter;
    }
  }
  return steps;
}

bool OlZoneIsBounded(icalcomponent* pZone) {
  if (pZone == nullptr) return false;
  int nChanges = 0;
  for (icalcomponent* pObservance = icalcomponent_get_first_component(pZone, ICAL_ANY_COMPONENT);
       pObservance != nullptr;
       pObservance = icalcomponent_get_next_component(pZone, ICAL_ANY_COMPONENT)) {
    for (icalproperty* pProp = icalcomponent_get_first_property(pObservance, ICAL_ANY_PROPERTY);
         pProp != nullptr;
         pProp = icalcomponent_get_next_property(pObservance, ICAL_ANY_PROPERTY)) {
      const icalproperty_kind kind = icalproperty_isa(pProp);
      if (kind == ICAL_RRULE_PROPERTY) {
        const icalrecurrencetype rule = icalproperty_get_rrule(pProp);
        if (rule.freq != ICAL_YEARLY_RECURRENCE) return false;
      }
      if ((kind == ICAL_RRULE_PROPERTY || kind == ICAL_RDATE_PROPERTY) &&
          ++nChanges > kMaxZoneChanges) {
        return false;
      }
    }
  }
  return true;
}

icaltimezone* OlBuiltinZone(const std::string& strName) {
  // libical turns a name into a path below the zoneinfo folder: nothing may climb out of it.
  if (strName.empty() || strName[0] == '/' || strName.find("..") != std::string::npos) {
    return nullptr;
  }
  return icaltimezone_get_builtin_timezone(strName.c_str());
}

std::string OlLocalZoneName() {
  // Tests change TZ between cases, so the answer is kept per TZ value, not once.
  static std::mutex lock;
  static std::string strForTz = "\x01";
  static std::string strName;
  const char* szTz = std::getenv("TZ");
  const std::string strKey = szTz != nullptr ? szTz : "\x02";
  std::lock_guard<std::mutex> guard(lock);
  if (strKey != strForTz) {
    strName = NameFromEnvironment(szTz);
    if (IsUtcName(strName) || OlBuiltinZone(strName) == nullptr) strName.clear();
    strForTz = strKey;
  }
  return strName;
}

bool OlIsLocalZone(const char* szTzid) {
  if (szTzid == nullptr || *szTzid == 0) return false;
  const std::string strName = OlLocalZoneName();
  if (strName.empty()) return false;
  const std::string strTzid = szTzid;
  return strTzid == strName ||
         (strTzid.size() > strName.size() &&
          strTzid.compare(strTzid.size() - strName.size(), strName.size(), strName) == 0 &&
          strTzid[strTzid.size() - strName.size() - 1] == '/');
}

std::string OlZoneBlock(const std::string& strName) {
  icaltimezone* pZone = OlBuiltinZone(strName);
  icalcomponent* pDefinition = pZone != nullptr ? icaltimezone_get_component(pZone) : nullptr;
  if (pDefinition == nullptr) return std::string();
  icalcomponent* pCopy = icalcomponent_new_clone(pDefinition);
  // libical names its built-in zones with a prefix of its own; other programs look the bare
  // name up in their own zone database.
  icalproperty* pTzid = icalcomponent_get_first_property(pCopy, ICAL_TZID_PROPERTY);
  if (pTzid != nullptr) icalproperty_set_tzid(pTzid, strName.c_str());
  char* szText = icalcomponent_as_ical_string_r(pCopy);
  std::string strText = szText != nullptr ? szText : "";
  free(szText);
  icalcomponent_free(pCopy);
  return strText;
}
