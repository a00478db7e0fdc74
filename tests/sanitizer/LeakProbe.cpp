// Leaks one block on purpose; the sanitizer test expects LeakSanitizer to report it.
#include <cstdio>

int main() {
  char* volatile pLeaked = new char[64];
  pLeaked[0] = 1;
  pLeaked = nullptr;
  std::puts("leaked 64 bytes");
  return 0;
}
