// The OLE Automation value types: BSTR (length-prefixed UTF-16 text, allocated by
// SysAllocString and freed by SysFreeString) and VARIANT (a tagged value). Only the tags
// the program uses are supported; VariantClear frees what a VARIANT owns (a BSTR, a
// reference on an IDispatch) and leaves it VT_EMPTY.
#pragma once

#include "platform/win/WinTypes.h"

typedef OLECHAR* BSTR;
typedef short VARIANT_BOOL;
typedef unsigned short VARTYPE;

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_INT = 22,
  VT_UINT = 23,
};

struct IUnknown;
struct IDispatch;

typedef struct tagVARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    BYTE bVal;
    SHORT iVal;
    float fltVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    HRESULT scode;
    DATE date;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    CHAR cVal;
    USHORT uiVal;
    ULONG ulVal;
    INT intVal;
    UINT uintVal;
  };
} VARIANT, VARIANTARG, *LPVARIANT;

// A copy of the text (null gives null) with its length prefix; free with SysFreeString.
BSTR SysAllocString(const OLECHAR* psz);
// A copy of the first ui characters of psz (null psz gives ui uninitialised-zero characters).
BSTR SysAllocStringLen(const OLECHAR* psz, UINT ui);
void SysFreeString(BSTR bstr);
// Length in characters, from the prefix (embedded NULs counted); 0 for null.
UINT SysStringLen(BSTR bstr);

void VariantInit(VARIANT* pvarg);
// Frees the BSTR or releases the interface the variant holds; the variant becomes VT_EMPTY.
HRESULT VariantClear(VARIANT* pvarg);
// Deep copy: a BSTR is duplicated, an interface gets AddRef.
HRESULT VariantCopy(VARIANT* pvargDest, const VARIANT* pvargSrc);
