// The Palm Desktop 6.x calendar as PmDateInfo drives it: PmDateEx2Util behind the
// PmCalendarEx2 interface. PmRegisterCalendarEx2 makes PmDateInfo use it; the platform
// start-up step (AppStartPlatform) calls it before any Palm store is created.
#pragma once

#include <memory>

#include "common/palm/PalmDateEx2.h"
#include "common/palm/PalmDateInfo.h"

class PmCalendarEx2Db : public PmCalendarEx2 {
 public:
  bool LoadByUserId(DWORD nUserId) override { return m_Util.LoadByUserId(nUserId); }
  bool LoadFile(const char* szPath) override { return m_Util.LoadFile(szPath); }
  PmDateEx2DataMgr* GetRecords() override { return m_Util.GetRecords(); }
  bool SaveRecord(PmDateEx2Record* pRecord) override { return m_Util.SaveRecord(pRecord); }
  bool ResolveCategory(const char* szName, LONG* pnId, bool bCreate) override {
    return m_Util.ResolveCategory(szName, pnId, bCreate);
  }
  bool Commit() override { return m_Util.Commit(); }
  const CxFailure& GetLastFailure() const override { return m_Util.GetLastFailure(); }
  void ReleaseHold() override { m_Util.ReleaseHold(); }
  std::string GetLoadedPath() const override { return m_Util.GetLoadedPath(); }

  PmDateEx2Util* GetUtil() { return &m_Util; }

 private:
  PmDateEx2Util m_Util;
};

std::unique_ptr<PmCalendarEx2> PmMakeCalendarEx2();
void PmRegisterCalendarEx2();
