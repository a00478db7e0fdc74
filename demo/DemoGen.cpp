// daybridge-demo: writes a self-contained demo environment for DayBridge under a folder:
//
//   <out>/appdata/           the common application data folder (data folder, settings)
//   <out>/registry.reg       Palm Desktop's key and the App Paths entry of OUTLOOK.EXE
//   <out>/palm/              the Palm Desktop folder of a 4.1.4 installation: palm.exe, the
//                            four stand-in HotSync libraries, users.ini and three users who
//                            all load by user: "Alice" and "Carla" with 4.1.4 datebooks,
//                            "Bruno" with a datebook still in the earlier layout
//   <out>/files/DateBook.mdb a Palm Desktop 6.x database, and files/datebook-earlier.dat an
//                            earlier-layout datebook, for opening as a file
//   <out>/office/OUTLOOK.EXE a PE file with Outlook's version
//   <out>/outlook/Calendar.ics the Outlook calendar
//   <out>/demo.env           the environment variables that point DayBridge at all this
//
// The calendars are written through the program's own stores, so the files are exactly what
// DayBridge writes. The appointments are placed around "today" (or --today) and make every
// match state appear on both sides, with every repeat type, all-day events, alarms,
// categories and accented texts. Nothing outside <out> is touched.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "app/core/AppProcess.h"
#include "app/core/AppSettings.h"
#include "common/calendar/CommDate.h"
#include "common/misc/CxDebugUtil.h"
#include "common/misc/CxIniUtil.h"
#include "common/misc/WinUtil.h"
#include "common/outlook/OlDate.h"
#include "common/palm/PalmDate.h"
#include "common/palm/PalmDateEx.h"
#include "common/palm/PalmDateInfo.h"
#include "demo/palm6/Palm6Fixture.h"
#include "demo/pe/PeImage.h"
#include "platform/win/WinString.h"
#include "platform/win/WinText.h"
#include "platform/win/WinTime.h"

namespace fs = std::filesystem;

namespace {

const char* const kHotSyncLibraries[] = {"condmgr.dll", "UserData.dll", "HSAPI.DLL",
                                         "instaide.dll"};

constexpr INT kAliceId = 1001;
constexpr INT kBrunoId = 1002;
constexpr INT kCarlaId = 1003;

// Texts are written in the ANSI code page, as the program keeps them.
std::string Ansi(const char* szUtf8) {
  return CxUtf8ToAnsi(szUtf8);
}

SYSTEMTIME At(const SYSTEMTIME& stDay, int nDays, int nHour, int nMinute) {
  SYSTEMTIME st = stDay;
  AddDays(&st, nDays);
  st.wHour = static_cast<WORD>(nHour);
  st.wMinute = static_cast<WORD>(nMinute);
  return st;
}

class Appointment {
 public:
  Appointment(const char* szUtf8Desc, SYSTEMTIME stStart, SYSTEMTIME stEnd) {
    CxCopyText(m_Date.szDescription, Ansi(szUtf8Desc).c_str());
    m_Date.stStart = stStart;
    m_Date.stEnd = stEnd;
  }
  Appointment& Location(const char* szUtf8) {
    CxCopyText(m_Date.szLocation, Ansi(szUtf8).c_str());
    return *this;
  }
  Appointment& Note(const char* szUtf8) {
    CxCopyText(m_Date.szNote, Ansi(szUtf8).c_str());
    return *this;
  }
  Appointment& Category(const char* szUtf8) {
    CxCopyText(m_Date.szCategory, Ansi(szUtf8).c_str());
    return *this;
  }
  Appointment& AllDay() {
    m_Date.bAllDay = 1;
    m_Date.stStart.wHour = m_Date.stStart.wMinute = 0;
    m_Date.stEnd.wHour = m_Date.stEnd.wMinute = 0;
    return *this;
  }
  Appointment& Alarm(int nAdvance, UINT nUnit) {
    m_Date.bAlarm = 1;
    m_Date.bAdvance = 1;
    m_Date.nAdvance = nAdvance;
    m_Date.nAdvanceUnit = nUnit;
    return *this;
  }
  Appointment& Private() {
    m_Date.bPrivate = 1;
    return *this;
  }
  Appointment& Repeat(INT nType, UINT nInterval, UINT nMask = 0, UINT nDayOfMonth = 0,
                      INT nMonth = 0, UINT nInstance = 0) {
    m_Date.repeat.nType = nType;
    m_Date.repeat.nInterval = nInterval;
    m_Date.repeat.nDayOfWeekMask = nMask;
    m_Date.repeat.nDayOfMonth = nDayOfMonth;
    m_Date.repeat.nMonthOfYear = nMonth;
    m_Date.repeat.nInstance = nInstance;
    return *this;
  }
  Appointment& Until(SYSTEMTIME stEnd) {
    m_Date.repeat.bHasEnd = 1;
    m_Date.repeat.stPatternEnd = stEnd;
    return *this;
  }
  const CommDate& Get() const { return m_Date; }
  CommDate& Get() { return m_Date; }

 private:
  CommDate m_Date{};
};

struct DemoCalendars {
  std::vector<Appointment> vPalm;
  std::vector<Appointment> vOutlook;
  std::vector<Appointment> vCarla;  // a calendar of her own, so switching users shows it
};

UINT WeekdayBit(const SYSTEMTIME& st) {
  return 1u << st.wDayOfWeek;
}

// The appointments of both calendars around today.
DemoCalendars MakeAppointments(const SYSTEMTIME& stToday) {
  DemoCalendars cal;
  SYSTEMTIME stMonday = stToday;
  AddDays(&stMonday, -((stToday.wDayOfWeek + 6) % 7));

  // The same on both sides.
  Appointment dentist("Dentist", At(stToday, 1, 9, 0), At(stToday, 1, 10, 0));
  dentist.Location("Dr. Müller, Hauptstraße 5").Alarm(15, ADVANCE_MINUTES).Category("Health");
  // An all-day event ends on its last day; the Outlook store turns that into Outlook's
  // midnight-after end and back.
  Appointment birthday("Renée's birthday", At(stToday, 3, 0, 0), At(stToday, 3, 0, 0));
  SYSTEMTIME stBirthday = At(stToday, 3, 0, 0);
  birthday.AllDay()
      .Alarm(1, ADVANCE_DAYS)
      .Repeat(REPEAT_YEARLY_BY_DATE, 1, 0, stBirthday.wDay, stBirthday.wMonth);
  for (DemoCalendars* p : {&cal}) {
    p->vPalm.push_back(dentist);
    p->vOutlook.push_back(dentist);
    p->vPalm.push_back(birthday);
    p->vOutlook.push_back(birthday);
  }

  // The same appointment with different contents on each side.
  Appointment lunchPalm("Lunch with Zoë", At(stToday, 2, 12, 30), At(stToday, 2, 13, 30));
  lunchPalm.Location("Café de Flore");
  Appointment lunchOutlook = lunchPalm;
  lunchOutlook.Location("Café Crème");
  cal.vPalm.push_back(lunchPalm);
  cal.vOutlook.push_back(lunchOutlook);

  SYSTEMTIME stReview = At(stMonday, 1, 14, 0);  // a Tuesday
  Appointment reviewPalm("Project review", stReview, At(stMonday, 1, 15, 0));
  reviewPalm.Repeat(REPEAT_WEEKLY, 1, DAYMASK_TUESDAY | DAYMASK_THURSDAY)
      .Location("Room 1")
      .Category("Business");
  Appointment reviewOutlook = reviewPalm;
  reviewOutlook.Location("Room 2");
  cal.vPalm.push_back(reviewPalm);
  cal.vOutlook.push_back(reviewOutlook);

  // Only in Palm Desktop.
  Appointment rent("Pay rent", At(stToday, 0, 8, 0), At(stToday, 0, 8, 15));
  rent.Repeat(REPEAT_MONTHLY_BY_DATE, 1, 0, stToday.wDay).Alarm(1, ADVANCE_HOURS);
  cal.vPalm.push_back(rent);
  // Two days long.
  Appointment conference("Conférence annuelle à Genève", At(stToday, 5, 0, 0),
                         At(stToday, 6, 0, 0));
  conference.AllDay().Category("Business").Note("Badge at the desk.\r\nHôtel: Les Armures");
  cal.vPalm.push_back(conference);
  Appointment physio("Physiotherapy", At(stToday, 0, 17, 0), At(stToday, 0, 18, 0));
  physio.Private().Category("Personal");
  cal.vPalm.push_back(physio);
  Appointment run("Morning run", At(stToday, 0, 6, 30), At(stToday, 0, 7, 15));
  run.Repeat(REPEAT_DAILY, 2).Until(At(stToday, 30, 0, 0));
  cal.vPalm.push_back(run);
  Appointment teamLunch("Team lunch", At(stMonday, 4, 12, 0), At(stMonday, 4, 13, 0));
  SYSTEMTIME stFriday = At(stMonday, 4, 0, 0);
  teamLunch.Repeat(REPEAT_MONTHLY_BY_DAY, 1, WeekdayBit(stFriday), 0, 0,
                   static_cast<UINT>((stFriday.wDay - 1) / 7 + 1));
  cal.vPalm.push_back(teamLunch);

  // Only in Outlook.
  SYSTEMTIME stThursday = At(stMonday, 3, 19, 0);
  Appointment bookClub("Book club", stThursday, At(stMonday, 3, 21, 0));
  bookClub
      .Repeat(REPEAT_MONTHLY_BY_DAY, 1, DAYMASK_THURSDAY, 0, 0,
              static_cast<UINT>((stThursday.wDay - 1) / 7 + 1))
      .Location("Bibliothèque");
  cal.vOutlook.push_back(bookClub);
  Appointment anniversary("Company anniversary", At(stMonday, 0, 0, 0), At(stMonday, 0, 0, 0));
  anniversary.AllDay().Repeat(REPEAT_YEARLY_BY_DAY, 1, DAYMASK_MONDAY, 0, stMonday.wMonth,
                              static_cast<UINT>((stMonday.wDay - 1) / 7 + 1));
  cal.vOutlook.push_back(anniversary);
  Appointment call("Call Jürgen", At(stToday, 0, 16, 0), At(stToday, 0, 16, 30));
  call.Alarm(2, ADVANCE_HOURS).Category("Business");
  cal.vOutlook.push_back(call);
  Appointment flight("Night flight to Zürich", At(stToday, 4, 23, 30), At(stToday, 5, 1, 0));
  flight.Note("Seat 12A").Location("Terminal 2");
  cal.vOutlook.push_back(flight);
  Appointment standup("Stand-up", At(stMonday, 0, 9, 30), At(stMonday, 0, 9, 45));
  standup
      .Repeat(
          REPEAT_WEEKLY, 1,
          DAYMASK_MONDAY | DAYMASK_TUESDAY | DAYMASK_WEDNESDAY | DAYMASK_THURSDAY | DAYMASK_FRIDAY)
      .Until(At(stToday, 60, 0, 0));
  cal.vOutlook.push_back(standup);

  cal.vCarla.push_back(dentist);
  Appointment yoga("Yoga", At(stMonday, 2, 18, 30), At(stMonday, 2, 19, 30));
  yoga.Repeat(REPEAT_WEEKLY, 1, DAYMASK_WEDNESDAY).Location("Studio Lotus");
  cal.vCarla.push_back(yoga);
  Appointment piano("Piano lesson", At(stToday, 1, 15, 0), At(stToday, 1, 16, 0));
  piano.Note("Bring the Chopin score.");
  cal.vCarla.push_back(piano);
  Appointment market("Farmers' market", At(stToday, 2, 0, 0), At(stToday, 2, 0, 0));
  market.AllDay().Category("Personal");
  cal.vCarla.push_back(market);
  return cal;
}

bool WriteText(const fs::path& path, const std::string& sText) {
  std::ofstream out(path, std::ios::binary);
  out << sText;
  return static_cast<bool>(out);
}

// A .reg value: backslashes and quotes escaped.
std::string RegValue(const std::string& sText) {
  std::string sOut;
  for (char ch : sText) {
    if (ch == '\\' || ch == '"') sOut += '\\';
    sOut += ch;
  }
  return "\"" + sOut + "\"";
}

bool FillPalmCalendar(const fs::path& file, const std::vector<Appointment>& vRecords) {
  PmDateInfo store;
  if (!store.LoadFile(file.c_str())) {
    fprintf(stderr, "daybridge-demo: cannot load %s\n", file.c_str());
    return false;
  }
  for (const Appointment& appt : vRecords) {
    CommDate date = appt.Get();
    if (!store.SyncRecord(&date)) {
      fprintf(stderr, "daybridge-demo: cannot add \"%s\" to %s\n", date.szDescription,
              file.c_str());
      return false;
    }
  }
  return store.Save();
}

// An empty 6.x database with its three tables, filled through the program's store.
bool WritePalmDatabase(const fs::path& database, const std::vector<Appointment>& vRecords) {
  {
    palm6::Palm6Fixture fixture(database.string());
    if (!fixture.IsOpen()) {
      fprintf(stderr, "daybridge-demo: cannot create %s\n", database.c_str());
      return false;
    }
  }
  return FillPalmCalendar(database, vRecords);
}

bool WritePalmCalendar(const fs::path& datebook, bool bEarlierLayout,
                       const std::vector<Appointment>& vRecords) {
  // An empty datebook of the layout first (saving replaces an existing file only); the
  // program's store then fills and saves it.
  std::ofstream(datebook, std::ios::binary).flush();
  bool bCreated = bEarlierLayout ? PmDateUtil().SaveAs(datebook.c_str())
                                 : PmDateExUtil().SaveAs(datebook.c_str());
  if (!bCreated) {
    fprintf(stderr, "daybridge-demo: cannot create %s\n", datebook.c_str());
    return false;
  }
  if (!FillPalmCalendar(datebook, vRecords)) return false;
  // The first save of a datebook keeps the file it replaced; here that was the empty one.
  std::error_code ec;
  fs::remove(datebook.string() + ".bak", ec);
  return true;
}

bool WriteOutlookCalendar(const std::vector<Appointment>& vRecords) {
  OlDateUtil store;
  if (!store.Load()) {
    fprintf(stderr, "daybridge-demo: cannot open the Outlook calendar\n");
    return false;
  }
  for (const Appointment& appt : vRecords) {
    CommDate date = appt.Get();
    if (!store.SyncRecord(&date)) {
      fprintf(stderr, "daybridge-demo: cannot add \"%s\" to Outlook\n", date.szDescription);
      return false;
    }
  }
  return true;
}

bool ParseToday(const char* szText, SYSTEMTIME* pToday) {
  unsigned nYear = 0, nMonth = 0, nDay = 0;
  if (sscanf(szText, "%4u-%2u-%2u", &nYear, &nMonth, &nDay) != 3) return false;
  SYSTEMTIME st = {};
  st.wYear = static_cast<WORD>(nYear);
  st.wMonth = static_cast<WORD>(nMonth);
  st.wDay = static_cast<WORD>(nDay);
  if (nMonth < 1 || nMonth > 12 || nDay < 1 ||
      static_cast<int>(nDay) > DaysInMonth(static_cast<int>(nYear), static_cast<int>(nMonth))) {
    return false;
  }
  *pToday = st;
  return AddDays(pToday, 0);
}

int Usage() {
  fprintf(stderr,
          "Usage: daybridge-demo --out DIR [--today YYYY-MM-DD]\n"
          "Writes a DayBridge demo environment under DIR (replacing one made before) and the\n"
          "file DIR/demo.env with the variables that point DayBridge at it.\n");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string sOut;
  SYSTEMTIME stToday = {};
  GetLocalTime(&stToday);
  AddDays(&stToday, 0);
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
      sOut = argv[++i];
    } else if (strcmp(argv[i], "--today") == 0 && i + 1 < argc) {
      if (!ParseToday(argv[++i], &stToday)) return Usage();
    } else {
      return Usage();
    }
  }
  if (sOut.empty()) return Usage();

  std::error_code ec;
  fs::path out = fs::absolute(sOut, ec);
  // Only what this tool writes is replaced; anything else in the folder (the build's own
  // files when it is build/demo/) stays.
  for (const char* szEntry :
       {"appdata", "palm", "files", "office", "outlook", "registry.reg", "demo.env"}) {
    fs::remove_all(out / szEntry, ec);
    if (ec) {
      fprintf(stderr, "daybridge-demo: cannot replace %s\n", (out / szEntry).c_str());
      return 1;
    }
  }
  // Errors of the stores are logged beside the demo, never into the caller's folder.
  fs::create_directories(out, ec);
  g_DebugLog.SetFolder((out.string() + "/").c_str());
  const fs::path appdata = out / "appdata";
  const fs::path palm = out / "palm";
  const fs::path office = out / "office";
  const fs::path outlook = out / "outlook";
  const fs::path files = out / "files";
  for (const fs::path& dir : {appdata, palm / "Alice" / "datebook", palm / "Bruno" / "datebook",
                              palm / "Carla" / "datebook", files, office, outlook}) {
    fs::create_directories(dir, ec);
    if (ec) {
      fprintf(stderr, "daybridge-demo: cannot create %s\n", dir.c_str());
      return 1;
    }
  }

  // The Palm Desktop folder.
  for (const char* szLib : kHotSyncLibraries) {
    fs::copy_file(fs::path(DB_HOTSYNC_BUILD_DIR) / szLib, palm / szLib,
                  fs::copy_options::overwrite_existing, ec);
    if (ec) {
      fprintf(stderr, "daybridge-demo: cannot copy %s\n", szLib);
      return 1;
    }
  }
  WriteText(palm / "users.ini", "[Users]\r\nAlice=" + std::to_string(kAliceId) +
                                    ",Alice Martin\r\nBruno=" + std::to_string(kBrunoId) + "," +
                                    Ansi("Bruno Lefèvre") +
                                    "\r\nCarla=" + std::to_string(kCarlaId) + ",Carla Rossi\r\n");
  WritePeFile((palm / "palm.exe").c_str(), PeVersion(4, 1, 4, 0));
  WritePeFile((office / "OUTLOOK.EXE").c_str(), PeVersion(11, 0, 8312, 0));

  const fs::path registry = out / "registry.reg";
  WriteText(registry,
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\U.S. Robotics\\Pilot Desktop\\Core]\r\n"
            "\"DesktopPath\"=" +
                RegValue(palm.string() + "/") + "\r\n\r\n" +
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\"
                "OUTLOOK.EXE]\r\n@=" +
                RegValue((office / "OUTLOOK.EXE").string()) +
                "\r\n\"Path\"=" + RegValue(office.string() + "/") + "\r\n");
  const fs::path calendar = outlook / "Calendar.ics";
  std::string sEnv = "DAYBRIDGE_COMMON_APPDATA=" + appdata.string() + "\n" +
                     "DAYBRIDGE_REGISTRY=" + registry.string() + "\n" +
                     "DAYBRIDGE_OUTLOOK_CALENDAR=" + calendar.string() + "\n";
  setenv("DAYBRIDGE_COMMON_APPDATA", appdata.c_str(), 1);
  setenv("DAYBRIDGE_REGISTRY", registry.c_str(), 1);
  setenv("DAYBRIDGE_OUTLOOK_CALENDAR", calendar.c_str(), 1);

  // The calendars, through the program's own stores.
  DemoCalendars cal = MakeAppointments(stToday);
  const bool bComInit = AppStartPlatform();
  // Loading by user takes the installed Palm Desktop's kind, so every user holds a datebook;
  // the other layouts are files the user opens by path.
  if (!WritePalmCalendar(palm / "Alice" / "datebook" / "datebook.dat", false, cal.vPalm) ||
      !WritePalmCalendar(palm / "Bruno" / "datebook" / "datebook.dat", true, cal.vPalm) ||
      !WritePalmCalendar(palm / "Carla" / "datebook" / "datebook.dat", false, cal.vCarla) ||
      !WritePalmCalendar(files / "datebook-earlier.dat", true, cal.vPalm) ||
      !WritePalmDatabase(files / "DateBook.mdb", cal.vPalm)) {
    return 1;
  }
  bool bOutlook = WriteOutlookCalendar(cal.vOutlook);
  AppStopPlatform(bComInit);
  if (!bOutlook) return 1;

  // Settings of a user who has been through the first-run wizard.
  char szDataFolder[MAX_PATH];
  if (!GetDataFolder(szDataFolder)) {
    fprintf(stderr, "daybridge-demo: cannot create the data folder\n");
    return 1;
  }
  UseDataFolderSettings(szDataFolder);
  LoadSettings();
  AppSettings.ShowWizard = 0;
  AppSettings.PDUserID = kAliceId;
  AppSettings.SyncMode = SYNC_TWO_WAY;
  AppSettings.ConfAction = CONFLICT_ASK;
  SaveSettings();

  WriteText(out / "demo.env", sEnv);
  printf("Demo environment written to %s\n", out.c_str());
  return 0;
}
