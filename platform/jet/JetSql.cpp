// How the translation works: one pass over the text, copying it. Quoted texts ('...' with
// doubled quotes, "..." and [...]) are copied untouched. Where a word LEFT starts (not inside
// another word) and an opening parenthesis follows, the two arguments are taken up to the
// first comma and the closing parenthesis at the same depth; anything that does not parse
// that way is copied as it is, so SQLite reports it.
#include "platform/jet/JetSql.h"
#include "platform/win/WinString.h"

#include <strings.h>
#include <cctype>
#include <cstring>

namespace {

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

// Index just past the quoted text starting at nPos (whose first character is the quote).
size_t SkipQuoted(const std::string& strSql, size_t nPos) {
  const char cOpen = strSql[nPos];
  const char cClose = cOpen == '[' ? ']' : cOpen;
  size_t i = nPos + 1;
  while (i < strSql.size()) {
    if (strSql[i] == cClose) {
      // A doubled quote stands for one quote inside the text.
      if (cOpen != '[' && i + 1 < strSql.size() && strSql[i + 1] == cClose) {
        i += 2;
        continue;
      }
      return i + 1;
    }
    ++i;
  }
  return strSql.size();
}

// Parses "(name, n)" starting at the opening parenthesis. On success gives both arguments
// and the index just past the closing parenthesis.
bool ParseLeftArgs(const std::string& strSql, size_t nOpen, std::string& strName,
                   std::string& strCount, size_t& nEnd) {
  int nDepth = 0;
  size_t nComma = std::string::npos;
  size_t i = nOpen;
  while (i < strSql.size()) {
    const char c = strSql[i];
    if (c == '\'' || c == '"' || c == '[') {
      i = SkipQuoted(strSql, i);
      continue;
    }
    if (c == '(') {
      ++nDepth;
    } else if (c == ')') {
      if (--nDepth == 0) {
        if (nComma == std::string::npos) return false;
        strName = CxTrim(strSql.substr(nOpen + 1, nComma - nOpen - 1), " \t\n\v\f\r");
        strCount = CxTrim(strSql.substr(nComma + 1, i - nComma - 1), " \t\n\v\f\r");
        nEnd = i + 1;
        return !strName.empty() && !strCount.empty();
      }
    } else if (c == ',' && nDepth == 1) {
      if (nComma != std::string::npos) return false;
      nComma = i;
    }
    ++i;
  }
  return false;
}

}  // namespace

void JetTranslateSql(const char* szSql, std::string& strOut) {
  strOut.clear();
  if (szSql == nullptr) return;
  const std::string strSql(szSql);
  strOut.reserve(strSql.size() + 16);
  size_t i = 0;
  while (i < strSql.size()) {
    const char c = strSql[i];
    if (c == '\'' || c == '"' || c == '[') {
      const size_t nEnd = SkipQuoted(strSql, i);
      strOut.append(strSql, i, nEnd - i);
      i = nEnd;
      continue;
    }
    if (IsWordChar(c)) {
      size_t nWordEnd = i;
      while (nWordEnd < strSql.size() && IsWordChar(strSql[nWordEnd])) ++nWordEnd;
      const std::string strWord = strSql.substr(i, nWordEnd - i);
      if (strWord.size() == 4 && strncasecmp(strWord.c_str(), "LEFT", 4) == 0) {
        size_t nOpen = nWordEnd;
        while (nOpen < strSql.size() && std::isspace(static_cast<unsigned char>(strSql[nOpen])))
          ++nOpen;
        std::string strName;
        std::string strCount;
        size_t nEnd = 0;
        if (nOpen < strSql.size() && strSql[nOpen] == '(' &&
            ParseLeftArgs(strSql, nOpen, strName, strCount, nEnd)) {
          std::string strInner;
          JetTranslateSql(strName.c_str(), strInner);
          strOut += "substr(" + strInner + ", 1, " + strCount + ")";
          i = nEnd;
          continue;
        }
      }
      strOut += strWord;
      i = nWordEnd;
      continue;
    }
    strOut += c;
    ++i;
  }
}

bool JetIsBlankTail(const char* szText) {
  if (szText == nullptr) return true;
  for (const char* p = szText; *p != '\0'; ++p) {
    if (!std::isspace(static_cast<unsigned char>(*p)) && *p != ';') return false;
  }
  return true;
}
