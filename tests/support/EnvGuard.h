// Sets an environment variable for the life of the object and puts back what was there.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace dbtest {

class EnvGuard {
 public:
  // A null value unsets the variable.
  EnvGuard(const char* szName, const char* szValue) : m_strName(szName) {
    if (const char* szOld = std::getenv(szName)) m_strOld = szOld;
    if (szValue) {
      ::setenv(szName, szValue, 1);
    } else {
      ::unsetenv(szName);
    }
  }
  // An empty value unsets the variable.
  EnvGuard(const char* szName, const std::string& strValue)
      : EnvGuard(szName, strValue.empty() ? nullptr : strValue.c_str()) {}
  ~EnvGuard() {
    if (m_strOld) {
      ::setenv(m_strName.c_str(), m_strOld->c_str(), 1);
    } else {
      ::unsetenv(m_strName.c_str());
    }
  }
  EnvGuard(const EnvGuard&) = delete;
  EnvGuard& operator=(const EnvGuard&) = delete;

 private:
  std::string m_strName;
  std::optional<std::string> m_strOld;
};

}  // namespace dbtest
