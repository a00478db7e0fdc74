// The pointer list with its shared cursor. m_nFindIndex mirrors the cursor container's
// index so that GetAt can tell which way to walk without touching the containers.
#include "common/misc/CxList.h"
#define DB_MODULE "CxList"
#include <cstdlib>
#include <new>

#include "common/misc/CxDebugUtil.h"

CxList::CxList()
    : m_pHead(nullptr),
      m_pTail(nullptr),
      m_pCurr(nullptr),
      m_nCount(0),
      m_nFindIndex(0),
      m_pFree(nullptr) {}

CxList::~CxList() {
  RemoveAll(false);
}

void CxList::SetFreeFunc(CxListFreeFunc pFree) {
  m_pFree = pFree;
}

void CxList::FreeData(void* pData) const {
  if (m_pFree != nullptr) {
    m_pFree(pData);
  } else {
    std::free(pData);
  }
}

bool CxList::Add(void* pData) {
  if (pData == nullptr) {
    return false;
  }
  CxListContainer* pNew = new (std::nothrow) CxListContainer;
  if (pNew == nullptr) {
    Log(0, "No memory for a list container");
    return false;
  }
  pNew->pData = pData;
  pNew->nIndex = static_cast<INT>(m_nCount);
  pNew->pPrev = m_pTail;
  pNew->pNext = nullptr;
  if (m_pTail != nullptr) {
    m_pTail->pNext = pNew;
  } else {
    m_pHead = pNew;
  }
  m_pTail = pNew;
  m_pCurr = pNew;
  m_nFindIndex = m_nCount;
  m_nCount++;
  return true;
}

void* CxList::GetFirst() {
  if (m_pHead == nullptr) {
    return nullptr;
  }
  m_pCurr = m_pHead;
  m_nFindIndex = 0;
  return m_pCurr->pData;
}

void* CxList::GetLast() {
  if (m_pTail == nullptr) {
    return nullptr;
  }
  m_pCurr = m_pTail;
  m_nFindIndex = m_nCount - 1;
  return m_pCurr->pData;
}

void* CxList::GetNext() {
  if (m_pCurr == nullptr || m_pCurr->pNext == nullptr) {
    return nullptr;
  }
  m_pCurr = m_pCurr->pNext;
  m_nFindIndex++;
  return m_pCurr->pData;
}

void* CxList::GetPrev() {
  if (m_pCurr == nullptr || m_pCurr->pPrev == nullptr) {
    return nullptr;
  }
  m_pCurr = m_pCurr->pPrev;
  m_nFindIndex--;
  return m_pCurr->pData;
}

void* CxList::GetAt(UINT nIndex) {
  if (nIndex >= m_nCount) {
    return nullptr;
  }
  if (m_pCurr == nullptr) {
    m_pCurr = m_pHead;
    m_nFindIndex = 0;
  }
  if (m_pCurr->nIndex != static_cast<INT>(m_nFindIndex)) {
    CxAssertFailed("m_pCurr->nIndex==m_nFindIndex", DB_MODULE, __LINE__);
  }
  // The walk never needs more steps than the list has containers; the limit guards a
  // corrupted link from turning into an endless loop.
  const UINT nMaxSteps = m_nCount;
  UINT nSteps = 0;
  CxListContainer* pWalk = m_pCurr;
  while (pWalk != nullptr && static_cast<UINT>(pWalk->nIndex) != nIndex && nSteps < nMaxSteps) {
    pWalk = static_cast<UINT>(pWalk->nIndex) < nIndex ? pWalk->pNext : pWalk->pPrev;
    nSteps++;
  }
  if (pWalk == nullptr || static_cast<UINT>(pWalk->nIndex) != nIndex) {
    Log(0, "List position %u not reached", nIndex);
    return nullptr;
  }
  m_pCurr = pWalk;
  m_nFindIndex = nIndex;
  return pWalk->pData;
}

CxListContainer* CxList::Find(const void* pData) const {
  for (CxListContainer* pWalk = m_pHead; pWalk != nullptr; pWalk = pWalk->pNext) {
    if (pWalk->pData == pData) {
      return pWalk;
    }
  }
  return nullptr;
}

bool CxList::Remove(void* pData, bool bFree) {
  CxListContainer* pGone = pData != nullptr ? Find(pData) : nullptr;
  if (pGone == nullptr) {
    return false;
  }
  for (CxListContainer* pWalk = pGone->pNext; pWalk != nullptr; pWalk = pWalk->pNext) {
    pWalk->nIndex--;
  }
  if (pGone->pPrev != nullptr) {
    pGone->pPrev->pNext = pGone->pNext;
  } else {
    m_pHead = pGone->pNext;
  }
  if (pGone->pNext != nullptr) {
    pGone->pNext->pPrev = pGone->pPrev;
  } else {
    m_pTail = pGone->pPrev;
  }
  m_nCount--;

  if (pGone->pNext != nullptr) {
    m_pCurr = pGone->pNext;
    m_nFindIndex = static_cast<UINT>(m_pCurr->nIndex);
  } else if (m_pTail != nullptr) {
    m_pCurr = m_pTail;
    m_nFindIndex = m_nCount - 1;
  } else {
    m_pCurr = nullptr;
    m_nFindIndex = 0;
  }

  if (bFree) {
    FreeData(pGone->pData);
  }
  delete pGone;
  return true;
}

void CxList::RemoveAll(bool bFree) {
  CxListContainer* pWalk = m_pHead;
  while (pWalk != nullptr) {
    CxListContainer* pNext = pWalk->pNext;
    if (bFree) {
      FreeData(pWalk->pData);
    }
    delete pWalk;
    pWalk = pNext;
  }
  m_pHead = nullptr;
  m_pTail = nullptr;
  m_pCurr = nullptr;
  m_nCount = 0;
  m_nFindIndex = 0;
}
