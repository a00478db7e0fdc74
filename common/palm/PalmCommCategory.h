// The category list of a datebook: 16 slots, slot 0 the built-in "Unfiled" with id 0. Names
// are single-byte texts in the ANSI code page, cut to 15 characters.
#pragma once

#include <memory>

#include "platform/win/WinTypes.h"

// Categories.
#define PM_CATEGORY_SLOTS 16
#define PM_CATEGORY_NAME_SIZE 16
#define PM_CATEGORY_SHORT_NAME_SIZE 256
#define PM_CATEGORY_DIRTY 0x10
#define PM_CATEGORY_FLAGGED 0x01
#define PM_CATEGORY_FIRST_FREE_ID 128

class PmCategory {
 public:
  PmCategory();
  PmCategory(const PmCategory& other);
  PmCategory& operator=(const PmCategory& other);
  virtual ~PmCategory();

  virtual LONG GetIndex() const;
  virtual LONG GetId() const;
  virtual const char* GetName() const;
  // Zero-fill szBuf for *pnLen bytes, then copy the text when it is not empty and fits
  // (with its terminator) into *pnLen bytes; *pnLen becomes the text's length.
  virtual bool CopyName(char* szBuf, DWORD* pnLen) const;
  virtual bool CopyShortName(char* szBuf, DWORD* pnLen) const;
  virtual DWORD GetFlags() const;
  virtual void SetIndex(LONG nIndex);
  virtual void SetId(LONG nId);
  virtual void SetName(const char* szName);            // cut to 15 characters
  virtual void SetShortName(const char* szShortName);  // cut to 255 characters
  virtual void SetFlags(DWORD nFlags);
  virtual void SetDirty(bool bDirty);
  virtual bool IsFlagged() const;
  // Same index, same id and the same name (case-sensitive).
  virtual bool Equals(const PmCategory* pOther) const;

  const char* GetShortName() const { return m_szShortName; }

 private:
  LONG m_nIndex;
  LONG m_nId;
  char m_szName[PM_CATEGORY_NAME_SIZE];
  char m_szShortName[PM_CATEGORY_SHORT_NAME_SIZE];
  DWORD m_nFlags;
};

// The 16 category slots of one datebook; slot 0 is "Unfiled" with id 0.
class PmCategoryMgr {
 public:
  PmCategoryMgr();
  virtual ~PmCategoryMgr();
  PmCategoryMgr(const PmCategoryMgr&) = delete;
  PmCategoryMgr& operator=(const PmCategoryMgr&) = delete;

  virtual int GetCount() const;
  virtual PmCategory* FindById(LONG nId) const;
  virtual PmCategory* GetAt(WORD nSlot) const;
  // Letter case ignored; null for an absent or empty text.
  virtual PmCategory* FindByName(const char* szName) const;
  virtual PmCategory* First();
  virtual PmCategory* Next();
  // Adds a copy. An index of -1 takes the lowest free slot from 1; an id of -1 becomes one
  // more than the largest id held. Refused: a full list, an index outside 0..15 or already
  // taken, an id already held.
  virtual bool Add(const PmCategory* pCategory);
  virtual void SetChanged(bool bChanged);

  bool IsChanged() const { return m_bChanged != 0; }
  DWORD GetNextFreeId() const { return m_nNextFreeId; }
  void SetNextFreeId(DWORD nNextFreeId) { m_nNextFreeId = nNextFreeId; }

 private:
  DWORD m_nNextFreeId;
  int m_nCursor;
  int m_nCount;
  std::unique_ptr<PmCategory> m_pSlots[PM_CATEGORY_SLOTS];
  BYTE m_bChanged;
};
