// The process-wide window-class table.
#include "platform/win/WinWindow.h"

#include <vector>

#include "platform/win/WinString.h"

namespace {

std::vector<CxWndClass>& ClassTable() {
  static std::vector<CxWndClass> s_classes;
  return s_classes;
}

int g_nClassRegistrations = 0;

const CxWndClass* FindClass(HINSTANCE hInstance, const char* szClassName) {
  if (!szClassName) return nullptr;
  for (const CxWndClass& cls : ClassTable()) {
    if (cls.hInstance == hInstance && lstrcmpi(cls.szClassName, szClassName) == 0) return &cls;
  }
  return nullptr;
}

}  // namespace

bool CxRegisterClass(const CxWndClass* pClass) {
  if (!pClass || !pClass->pfnWndProc || pClass->szClassName[0] == '\0') return false;
  if (FindClass(pClass->hInstance, pClass->szClassName)) return false;
  ClassTable().push_back(*pClass);
  ++g_nClassRegistrations;
  return true;
}

bool CxGetClassInfo(HINSTANCE hInstance, const char* szClassName, CxWndClass* pClass) {
  const CxWndClass* pFound = FindClass(hInstance, szClassName);
  if (!pFound) return false;
  if (pClass) *pClass = *pFound;
  return true;
}

int CxGetClassRegistrationCount() {
  return g_nClassRegistrations;
}
