// The base of the Outlook store: the one Outlook session of the process (the application
// object and its "MAPI" namespace), shared by every OlBaseUtil object with a use count, and
// the functions that find the installed Outlook and its version. Every Connect is matched by
// one Disconnect; the session is released when the last one comes.
//
// The Outlook version class (from OUTLOOK.EXE's major version) decides which reminder
// property the calendar conversion uses: 0 not found, 1 up to 9, 2 for 10, 3 for 11, 4 for
// 12, 5 for 14, 6 for 13 and 15 on.
#pragma once

#include <memory>

#include "common/misc/DispCmd.h"
#include "platform/automation/ComBase.h"
#include "platform/win/WinTypes.h"

class CxList;

// "%d.%d.%d.%d" of the installed OUTLOOK.EXE. False when Outlook's application path is not
// registered or the file has no version (the buffer is emptied when the registry was read).
bool GetOutlookVersion(char* szVersion, int nSize = 32);
// The four parts of the file version of szPath (all 0 first); false for an empty path or a
// file without version resource.
bool GetFileVersion(const char* szPath, int* pnMajor, int* pnMinor, int* pnBuild, int* pnRevision);
// The version class of a major version (see above); a negative major (not found) gives 0.
int OlVersionClassOf(int nMajor);

class OlBaseUtil {
 public:
  OlBaseUtil();
  virtual ~OlBaseUtil();
  OlBaseUtil(const OlBaseUtil&) = delete;
  OlBaseUtil& operator=(const OlBaseUtil&) = delete;

  // Clears (through the subclass's Clear) and succeeds; subclasses load their items.
  virtual bool Load();
  // Empties the list without freeing its elements.
  virtual void Clear();
  // Creates the list and connects.
  virtual void Init();
  // Clears and disconnects.
  virtual void Term();
  // Joins the session, starting Outlook when there is none yet.
  virtual bool Connect();
  // Leaves the session; the last to leave releases it.
  virtual void Disconnect();

  // The version class the session found when it started; 0 before.
  static int GetVersionClass();

 protected:
  // Tests stand in for an installed Outlook of a given version class.
  static void SetVersionClass(int nClass);

  // This object's copies of the session's references (not owned).
  CDispCmd* m_pApp;
  CDispCmd* m_pNameSpace;
  IUnknown* m_pAppUnknown;
  std::unique_ptr<CxList> m_pList;

 private:
  // Connects of this object not yet matched by a Disconnect.
  int m_nConnects;
};
