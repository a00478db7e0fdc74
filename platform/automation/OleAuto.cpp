// BSTR and VARIANT. A BSTR points at its first character; the four bytes before it hold the
// text's length in bytes and a NUL character follows the text, as on Windows, so a BSTR can
// be read as a terminated wide text and still carry embedded NULs.
#include "platform/automation/OleAuto.h"

#include <cstdlib>
#include <cstring>

#include "platform/automation/ComBase.h"

const IID IID_NULL = {0x00000000, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 0}};
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

namespace {

// The length prefix holds bytes in 32 bits, so no text may exceed this many characters.
constexpr UINT kMaxBstrChars = 0x7FFFFFFEu / sizeof(OLECHAR);

DWORD* PrefixOf(BSTR bstr) {
  return reinterpret_cast<DWORD*>(bstr) - 1;
}

bool IsKnownType(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_UNKNOWN:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_INT:
    case VT_UINT:
      return true;
    default:
      return false;
  }
}

}  // namespace

BSTR SysAllocString(const OLECHAR* psz) {
  if (psz == nullptr) return nullptr;
  UINT nLength = 0;
  while (psz[nLength] != 0) ++nLength;
  return SysAllocStringLen(psz, nLength);
}

BSTR SysAllocStringLen(const OLECHAR* psz, UINT ui) {
  if (ui > kMaxBstrChars) return nullptr;
  const size_t nBytes = static_cast<size_t>(ui) * sizeof(OLECHAR);
  // The prefix keeps the characters aligned to four bytes, as the allocator's block is.
  void* pBlock = std::malloc(sizeof(DWORD) + nBytes + sizeof(OLECHAR));
  if (pBlock == nullptr) return nullptr;
  auto* pPrefix = static_cast<DWORD*>(pBlock);
  *pPrefix = static_cast<DWORD>(nBytes);
  BSTR bstr = reinterpret_cast<BSTR>(pPrefix + 1);
  if (psz != nullptr) {
    std::memcpy(bstr, psz, nBytes);
  } else {
    std::memset(bstr, 0, nBytes);
  }
  bstr[ui] = 0;
  return bstr;
}

void SysFreeString(BSTR bstr) {
  if (bstr != nullptr) std::free(PrefixOf(bstr));
}

UINT SysStringLen(BSTR bstr) {
  return bstr == nullptr ? 0 : static_cast<UINT>(*PrefixOf(bstr) / sizeof(OLECHAR));
}

void VariantInit(VARIANT* pvarg) {
  if (pvarg == nullptr) return;
  std::memset(pvarg, 0, sizeof(VARIANT));
  pvarg->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* pvarg) {
  if (pvarg == nullptr) return E_INVALIDARG;
  if (!IsKnownType(pvarg->vt)) return DISP_E_BADVARTYPE;
  switch (pvarg->vt) {
    case VT_BSTR:
      SysFreeString(pvarg->bstrVal);
      break;
    case VT_DISPATCH:
      if (pvarg->pdispVal != nullptr) pvarg->pdispVal->Release();
      break;
    case VT_UNKNOWN:
      if (pvarg->punkVal != nullptr) pvarg->punkVal->Release();
      break;
    default:
      break;
  }
  VariantInit(pvarg);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* pvargDest, const VARIANT* pvargSrc) {
  if (pvargDest == nullptr || pvargSrc == nullptr) return E_INVALIDARG;
  if (pvargDest == pvargSrc) return S_OK;
  if (!IsKnownType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
  const HRESULT hr = VariantClear(pvargDest);
  if (FAILED(hr)) return hr;
  switch (pvargSrc->vt) {
    case VT_BSTR: {
      BSTR bstrCopy = nullptr;
      if (pvargSrc->bstrVal != nullptr) {
        bstrCopy = SysAllocStringLen(pvargSrc->bstrVal, SysStringLen(pvargSrc->bstrVal));
        if (bstrCopy == nullptr) return E_OUTOFMEMORY;
      }
      *pvargDest = *pvargSrc;
      pvargDest->bstrVal = bstrCopy;
      break;
    }
    case VT_DISPATCH:
      *pvargDest = *pvargSrc;
      if (pvargDest->pdispVal != nullptr) pvargDest->pdispVal->AddRef();
      break;
    case VT_UNKNOWN:
      *pvargDest = *pvargSrc;
      if (pvargDest->punkVal != nullptr) pvargDest->punkVal->AddRef();
      break;
    default:
      *pvargDest = *pvargSrc;
      break;
  }
  return S_OK;
}
