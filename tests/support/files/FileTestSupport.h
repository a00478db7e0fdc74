// Helpers for the tests of what happens to the user's files: temporary files left behind,
// running a step as a user without privileges (the suites may run as root, for whom file
// permissions do not apply), and holding something in a second, real process.
#pragma once

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/EnvGuard.h"

namespace dbtest {

// The names in the folder that a writer left behind: its temporary files, old or new style.
inline std::vector<std::string> LeftoverTemps(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".~db") != std::string::npos || name.ends_with(".tmp")) names.push_back(name);
  }
  return names;
}

// The user id steps run as by RunUnprivileged.
constexpr uid_t kUnprivilegedId = 65534;

// Runs fn in a child process; as root the child first becomes an ordinary user, so that
// permissions apply to it. Returns what fn returned (-1 when the child did not finish).
inline int RunUnprivileged(const std::function<int()>& fn) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::geteuid() == 0 && (::setgid(kUnprivilegedId) != 0 || ::setuid(kUnprivilegedId) != 0)) {
      ::_exit(99);
    }
    // The user's own runtime folder, where its lock files go (the inherited one is root's).
    std::string runtime = (std::filesystem::temp_directory_path() / "db-run-XXXXXX").string();
    if (::mkdtemp(runtime.data()) == nullptr) ::_exit(98);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    const int nResult = fn();
    std::error_code ec;
    std::filesystem::remove_all(runtime, ec);
    ::_exit(nResult);
  }
  int nStatus = 0;
  if (pid < 0 || ::waitpid(pid, &nStatus, 0) != pid) return -1;
  return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
}

// Runs hold in a second process, which then keeps what it took until the object goes (or
// Kill ends it the hard way). hold returns false when it could not take it.
class HeldElsewhere {
 public:
  explicit HeldElsewhere(const std::function<bool()>& hold) {
    int ready[2];
    int release[2];
    if (::pipe(ready) != 0 || ::pipe(release) != 0) return;
    m_Pid = ::fork();
    if (m_Pid == 0) {
      ::close(ready[0]);
      ::close(release[1]);
      const char cState = hold() ? 'y' : 'n';
      (void)!::write(ready[1], &cState, 1);
      char c;
      (void)!::read(release[0], &c, 1);  // until the parent closes its end
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    m_nRelease = release[1];
    char cState = 'n';
    m_bHeld = ::read(ready[0], &cState, 1) == 1 && cState == 'y';
    ::close(ready[0]);
  }
  ~HeldElsewhere() { End(false); }

  bool Held() const { return m_bHeld; }
  void Kill() { End(true); }

 private:
  void End(bool bKill) {
    if (m_Pid <= 0) return;
    if (bKill) ::kill(m_Pid, SIGKILL);
    ::close(m_nRelease);
    int nStatus = 0;
    ::waitpid(m_Pid, &nStatus, 0);
    m_Pid = -1;
  }

  pid_t m_Pid = -1;
  int m_nRelease = -1;
  bool m_bHeld = false;
};

}  // namespace dbtest
