// An ordered list of untyped pointers with one built-in cursor, the collection every part of
// the program uses. Positions run 0..count-1 from head to tail without gaps; the cursor is
// the container last returned or added, and every reader of a list shares it, so iterations
// of one list must not be nested (GetFirst, then GetNext until null).
//
// The list does not own its elements unless a call says so (Remove / RemoveAll with bFree).
// Freed elements are released with the list's free function, std::free unless SetFreeFunc
// names another, so a list that frees must hold elements allocated to match it.
#pragma once

#include "platform/win/WinTypes.h"

struct CxListContainer {
  void* pData;
  INT nIndex;  // 0-based position of the element
  CxListContainer* pPrev;
  CxListContainer* pNext;
};

typedef void (*CxListFreeFunc)(void* pData);

class CxList {
 public:
  CxList();
  // RemoveAll without freeing elements.
  virtual ~CxList();

  CxList(const CxList&) = delete;
  CxList& operator=(const CxList&) = delete;

  // Appends at the tail; the new container becomes the cursor. False for a null element or
  // when no container can be allocated.
  bool Add(void* pData);

  // Move the cursor to the head / tail; null when the list is empty.
  void* GetFirst();
  void* GetLast();
  // The element after / before the cursor; null at the end / start or for an empty list.
  void* GetNext();
  void* GetPrev();
  // The element at nIndex, walking the cursor there from where it stands; null when nIndex
  // is not below the count.
  void* GetAt(UINT nIndex);

  // Unlinks the first container holding this very pointer. The cursor moves to the container
  // that followed (same index), to the new tail when the last was removed, or is cleared
  // when the list became empty. False when the pointer is not in the list.
  bool Remove(void* pData, bool bFree);
  void RemoveAll(bool bFree);

  UINT GetCount() const { return m_nCount; }
  // The container holding this pointer, scanning from the head; null when absent.
  CxListContainer* Find(const void* pData) const;

  // How elements are released by Remove / RemoveAll with bFree; null restores std::free.
  void SetFreeFunc(CxListFreeFunc pFree);

 private:
  void FreeData(void* pData) const;

  CxListContainer* m_pHead;
  CxListContainer* m_pTail;
  CxListContainer* m_pCurr;
  UINT m_nCount;
  UINT m_nFindIndex;
  CxListFreeFunc m_pFree;
};
