// Replays a fuzz target's saved corpus without libFuzzer: every file of the folders (or the
// files) named on the command line is fed once to LLVMFuzzerTestOneInput. CTest runs this,
// so crash inputs found by fuzzing stay fixed on machines without clang.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize);

namespace {

void ReplayFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(bytes.empty() ? nullptr : bytes.data(), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  size_t nFiles = 0;
  // An empty input is always worth one run.
  LLVMFuzzerTestOneInput(nullptr, 0);
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path root(argv[i]);
    if (std::filesystem::is_directory(root)) {
      std::vector<std::filesystem::path> files;
      for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
      for (const auto& file : files) {
        ReplayFile(file);
        ++nFiles;
      }
    } else if (std::filesystem::is_regular_file(root)) {
      ReplayFile(root);
      ++nFiles;
    }
  }
  std::printf("replayed %zu inputs\n", nFiles);
  return 0;
}
