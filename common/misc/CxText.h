// A record's long text kept off the record: NUL-terminated ANSI text that reads as a C string
// wherever a char array of N bytes was read, and that every write cuts to N - 1 characters
// exactly as a bounded copy into that array would. An empty text holds no heap block, and
// most records' notes are empty, so a record stays a few hundred bytes instead of carrying
// its longest possible note inline.
//
// Records holding one are no longer plain bytes: they are copied with `=`, cleared with
// `= {}`, never with memset or memcpy.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

template <size_t N>
class CxText {
 public:
  static_assert(N >= 1, "a text needs room for its terminator");

  CxText() = default;

  operator const char*() const { return m_strText.c_str(); }
  const char* c_str() const { return m_strText.c_str(); }

  // Replaces the text with szSrc up to its NUL, cut to N - 1 characters; null empties it.
  void Assign(const char* szSrc) {
    if (szSrc == nullptr) {
      Clear();
      return;
    }
    AssignBytes(szSrc, strnlen(szSrc, N - 1));
  }
  void Clear() { std::string().swap(m_strText); }

 private:
  void AssignBytes(const char* pText, size_t nLength) {
    // A text that shrinks much gives its block back: records live long and there are many.
    // The new text is built first, since pText may lie in the old block.
    if (m_strText.capacity() > 2 * nLength + 64) {
      std::string strFitted(pText, nLength);
      m_strText.swap(strFitted);
    } else {
      m_strText.assign(pText, nLength);
    }
  }

  std::string m_strText;
};

// CxCopyText into a record's long text, with the limit of the array it stands for.
template <size_t N>
inline const char* CxCopyText(CxText<N>& text, const char* szSrc) {
  text.Assign(szSrc);
  return text.c_str();
}
