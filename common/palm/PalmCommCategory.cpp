// The category list of a datebook (PmCategory, PmCategoryMgr) and PmDBUtil's category block:
// 16 slots, slot 0 the built-in "Unfiled" with id 0, names cut to 15 characters.
#include "common/palm/PalmCommCategory.h"
#define DB_MODULE "PalmComm"
#include <cstring>
#include <memory>

#include "common/misc/CxDebugUtil.h"
#include "common/palm/PalmComm.h"
#include "common/palm/PalmCommLog.h"
#include "platform/win/WinString.h"

namespace {

// The smallest category entry of the block: index, id, flag and two empty texts.
constexpr DWORD kMinCategoryEntryBytes = 4 + 4 + 4 + 1 + 1;

// Texts a datebook stores as fields of this size are cut there.
constexpr int kCategoryReadBuffer = 256;

bool IsShortNameReserved(char c) {
  return std::strchr("\"*+,./:;<=>?[\\]^|", c) != nullptr && c != '\0';
}

// A category list holding only the built-in "Unfiled", which every datebook has.
std::unique_ptr<PmCategoryMgr> NewCategoryList() {
  auto pList = std::make_unique<PmCategoryMgr>();
  PmCategory unfiled;
  unfiled.SetIndex(0);
  unfiled.SetId(0);
  unfiled.SetName("Unfiled");
  pList->Add(&unfiled);
  pList->SetChanged(false);
  return pList;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// PmCategory

PmCategory::PmCategory() : m_nIndex(-1), m_nId(-1), m_szName{}, m_szShortName{}, m_nFlags(0) {}

PmCategory::PmCategory(const PmCategory& other) = default;
PmCategory& PmCategory::operator=(const PmCategory& other) = default;
PmCategory::~PmCategory() = default;

LONG PmCategory::GetIndex() const {
  return m_nIndex;
}
LONG PmCategory::GetId() const {
  return m_nId;
}
const char* PmCategory::GetName() const {
  return m_szName;
}
DWORD PmCategory::GetFlags() const {
  return m_nFlags;
}
void PmCategory::SetIndex(LONG nIndex) {
  m_nIndex = nIndex;
}
void PmCategory::SetId(LONG nId) {
  m_nId = nId;
}
void PmCategory::SetName(const char* szName) {
  CxCopyText(m_szName, szName);
}
void PmCategory::SetShortName(const char* szShortName) {
  CxCopyText(m_szShortName, szShortName);
}
void PmCategory::SetFlags(DWORD nFlags) {
  m_nFlags = nFlags;
}

void PmCategory::SetDirty(bool bDirty) {
  if (bDirty) {
    m_nFlags |= PM_CATEGORY_DIRTY;
  } else {
    m_nFlags &= ~static_cast<DWORD>(PM_CATEGORY_DIRTY);
  }
}

bool PmCategory::IsFlagged() const {
  return (m_nFlags & PM_CATEGORY_FLAGGED) != 0;
}

bool PmCategory::Equals(const PmCategory* pOther) const {
  return pOther != nullptr && pOther->m_nIndex == m_nIndex && pOther->m_nId == m_nId &&
         std::strcmp(pOther->m_szName, m_szName) == 0;
}

namespace {

bool CopyCategoryText(const char* szText, char* szBuf, DWORD* pnLen) {
  if (szBuf == nullptr || pnLen == nullptr) return false;
  std::memset(szBuf, 0, *pnLen);
  const size_t nLen = std::strlen(szText);
  // The terminator needs a byte of its own.
  if (nLen == 0 || nLen >= *pnLen) return false;
  std::memcpy(szBuf, szText, nLen);
  *pnLen = static_cast<DWORD>(nLen);
  return true;
}

}  // namespace

bool PmCategory::CopyName(char* szBuf, DWORD* pnLen) const {
  return CopyCategoryText(m_szName, szBuf, pnLen);
}

bool PmCategory::CopyShortName(char* szBuf, DWORD* pnLen) const {
  return CopyCategoryText(m_szShortName, szBuf, pnLen);
}

// ---------------------------------------------------------------------------------------------
// PmCategoryMgr

PmCategoryMgr::PmCategoryMgr()
    : m_nNextFreeId(PM_CATEGORY_FIRST_FREE_ID), m_nCursor(0), m_nCount(0), m_bChanged(0) {}

PmCategoryMgr::~PmCategoryMgr() = default;

int PmCategoryMgr::GetCount() const {
  return m_nCount;
}

PmCategory* PmCategoryMgr::FindById(LONG nId) const {
  for (const auto& pEntry : m_pSlots) {
    if (pEntry && pEntry->GetId() == nId) return pEntry.get();
  }
  return nullptr;
}

PmCategory* PmCategoryMgr::GetAt(WORD nSlot) const {
  return nSlot < PM_CATEGORY_SLOTS ? m_pSlots[nSlot].get() : nullptr;
}

PmCategory* PmCategoryMgr::FindByName(const char* szName) const {
  if (szName == nullptr || szName[0] == '\0') return nullptr;
  for (const auto& pEntry : m_pSlots) {
    if (pEntry && lstrcmpi(pEntry->GetName(), szName) == 0) return pEntry.get();
  }
  return nullptr;
}

PmCategory* PmCategoryMgr::First() {
  m_nCursor = 0;
  return Next();
}

PmCategory* PmCategoryMgr::Next() {
  while (m_nCursor < PM_CATEGORY_SLOTS) {
    PmCategory* pEntry = m_pSlots[m_nCursor++].get();
    if (pEntry != nullptr) return pEntry;
  }
  return nullptr;
}

bool PmCategoryMgr::Add(const PmCategory* pCategory) {
  if (pCategory == nullptr || m_nCount >= PM_CATEGORY_SLOTS) return false;
  auto pCopy = std::make_unique<PmCategory>(*pCategory);

  LONG nIndex = pCopy->GetIndex();
  if (nIndex == -1) {
    for (LONG nSlot = 1; nSlot < PM_CATEGORY_SLOTS; ++nSlot) {
      if (!m_pSlots[nSlot]) {
        nIndex = nSlot;
        break;
      }
    }
    if (nIndex == -1) return false;
    pCopy->SetIndex(nIndex);
    pCopy->SetDirty(true);
  } else if (nIndex < 0 || nIndex >= PM_CATEGORY_SLOTS || m_pSlots[nIndex]) {
    return false;
  }

  if (pCopy->GetId() == -1) {
    // One more than the largest id held anywhere in the list, so an id is never handed out
    // twice even when the slots have gaps.
    bool bAny = false;
    LONG nMaxId = 0;
    for (const auto& pEntry : m_pSlots) {
      if (!pEntry) continue;
      if (!bAny || pEntry->GetId() > nMaxId) nMaxId = pEntry->GetId();
      bAny = true;
    }
    if (!bAny) return false;
    pCopy->SetId(nMaxId + 1);
    pCopy->SetDirty(true);
  } else if (FindById(pCopy->GetId()) != nullptr) {
    return false;
  }

  const char* szName = pCopy->GetName();
  if (szName[0] != '\0') {
    char szShort[PM_CATEGORY_SHORT_NAME_SIZE];
    CxCopyText(szShort, szName);
    for (char* p = szShort; *p != '\0'; ++p) {
      if (IsShortNameReserved(*p)) *p = '_';
    }
    pCopy->SetShortName(szShort);
  }

  m_pSlots[nIndex] = std::move(pCopy);
  ++m_nCount;
  m_bChanged = 1;
  return true;
}

void PmCategoryMgr::SetChanged(bool bChanged) {
  m_bChanged = bChanged ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// PmDBUtil: categories

bool PmDBUtil::GetCategoryText(LONG nId, char* szCatText) {
  // The assertion's text is what the log reports, so it keeps the compact form.
  // clang-format off
  CX_ASSERT(m_pCatMgr!=NULL && szCatText!=NULL);
  // clang-format on
  if (m_pCatMgr == nullptr || szCatText == nullptr) return false;
  const PmCategory* pEntry = m_pCatMgr->FindById(nId);
  if (pEntry == nullptr) return false;
  lstrcpyn(szCatText, pEntry->GetName(), PM_CATEGORY_NAME_SIZE);
  return true;
}

bool PmDBUtil::GetCategoryId(const char* szText, LONG* pnId, bool bAdd) {
  if (pnId == nullptr) return false;
  if (szText == nullptr || szText[0] == '\0') {
    *pnId = 0;
    return true;
  }
  // A datebook that was never loaded still has its "Unfiled" category.
  if (m_pCatMgr == nullptr) m_pCatMgr = NewCategoryList();
  // Names are stored cut to 15 characters, so a longer text is looked up by what would be
  // stored; otherwise each lookup of it would add another category.
  char szKey[PM_CATEGORY_NAME_SIZE];
  CxCopyText(szKey, szText);
  if (const PmCategory* pEntry = m_pCatMgr->FindByName(szKey)) {
    *pnId = pEntry->GetId();
    return true;
  }
  if (!bAdd) {
    *pnId = 0;
    return false;
  }
  PmCategory category;
  category.SetName(szKey);
  m_pCatMgr->Add(&category);
  if (const PmCategory* pEntry = m_pCatMgr->FindByName(szKey)) {
    *pnId = pEntry->GetId();
    return true;
  }
  *pnId = -1;
  return false;
}

bool PmDBUtil::ReadCategoryBlock(const char* szLogModule) {
  LogAs(szLogModule, 2, "Start loading Palm Desktop Calendar category information.");
  m_pCatMgr = NewCategoryList();
  DWORD nNextFreeId = 0;
  if (!ReadLong(&nNextFreeId)) {
    LogAs(szLogModule, 0, "Failed to read the next feed ID.");
    return false;
  }
  m_pCatMgr->SetNextFreeId(nNextFreeId);
  DWORD nCount = 0;
  if (!ReadLong(&nCount)) return false;
  if (nCount >= PM_CATEGORY_SLOTS || nCount * kMinCategoryEntryBytes > RemainingBytes()) {
    LogRefusal(szLogModule, "Category count %u does not fit the datebook.", nCount);
    return false;
  }

  for (DWORD nEntry = 0; nEntry < nCount; ++nEntry) {
    DWORD nIndex = 0;
    DWORD nId = 0;
    DWORD nDirty = 0;
    if (!ReadLong(&nIndex) || !ReadLong(&nId) || !ReadLong(&nDirty)) return false;
    char szText[kCategoryReadBuffer];
    DWORD nCapacity = sizeof(szText);
    if (!ReadCString(szText, &nCapacity)) {
      LogAs(szLogModule, 0, "Failed to read category name.");
      return false;
    }
    PmCategory category;
    category.SetName(szText);
    LogAs(szLogModule, 2, "Read category:%s", category.GetName());
    nCapacity = sizeof(szText);
    if (!ReadCString(szText, &nCapacity)) return false;
    category.SetShortName(szText);
    if (nIndex < 1 || nIndex >= PM_CATEGORY_SLOTS) {
      LogRefusal(szLogModule, "Category index %d is outside 1..15.", static_cast<int>(nIndex));
      return false;
    }
    if (m_pCatMgr->GetAt(static_cast<WORD>(nIndex)) != nullptr) {
      LogRefusal(szLogModule, "Category index %d is already taken.", static_cast<int>(nIndex));
      return false;
    }
    category.SetIndex(static_cast<LONG>(nIndex));
    category.SetId(static_cast<LONG>(nId));
    category.SetDirty(nDirty != 0);
    if (!m_pCatMgr->Add(&category)) {
      LogRefusal(szLogModule, "Category %s (id %d) cannot be added.", category.GetName(),
                 static_cast<int>(nId));
      return false;
    }
  }
  m_pCatMgr->SetChanged(false);
  LogAs(szLogModule, 2, "Load Palm Desktop Calendar categories successfully.");
  return true;
}

bool PmDBUtil::WriteCategoryBlock(const char* szLogModule) {
  LogAs(szLogModule, 2, "Start saving Palm Desktop Calendar categories.");
  const DWORD nNextFreeId = m_pCatMgr ? m_pCatMgr->GetNextFreeId() : PM_CATEGORY_FIRST_FREE_ID;
  if (!WriteLong(nNextFreeId)) return false;
  if (!m_pCatMgr || m_pCatMgr->GetCount() <= 1) {
    if (!WriteLong(0)) return false;
    LogAs(szLogModule, 2, "Palm Desktop Calendar categories are saved successfully.");
    return true;
  }
  if (!WriteLong(static_cast<DWORD>(m_pCatMgr->GetCount() - 1))) return false;
  for (WORD nSlot = 0; nSlot < PM_CATEGORY_SLOTS; ++nSlot) {
    const PmCategory* pEntry = m_pCatMgr->GetAt(nSlot);
    if (pEntry == nullptr || pEntry->GetId() == 0) continue;
    LogAs(szLogModule, 2, "Saving category [%s]", pEntry->GetName());
    if (!WriteLong(nSlot) || !WriteLong(static_cast<DWORD>(pEntry->GetId())) || !WriteLong(0)) {
      return false;
    }
    char szText[kCategoryReadBuffer];
    DWORD nLen = sizeof(szText);
    pEntry->CopyName(szText, &nLen);
    if (!WriteCString(szText)) return false;
    nLen = sizeof(szText);
    pEntry->CopyShortName(szText, &nLen);
    if (!WriteCString(szText)) return false;
  }
  LogAs(szLogModule, 2, "Palm Desktop Calendar categories are saved successfully.");
  return true;
}
