// Replays a fuzz target's saved corpus without libFuzzer: every file of the folders (or the
// files) named on the command line is fed once to LLVMFuzzerTestOneInput. CTest runs this,
// so crash inputs found by fuzzing stay fixed on machines without clang.
//
// With --expect <outcomes file> each input must be listed there with the outcome it is kept
// for, and the target must report exactly that outcome (fuzz/README.md has the format); an
// input without a line, a line without an input, or another outcome fails the run. Without
// it the outcome of every input is printed as a line for that file.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "fuzz/FuzzOutcome.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize);

namespace {

struct Expected {
  std::string strVerdict;
  std::string strDetail;
  int nLine = 0;
  bool bReplayed = false;
};

std::string Trim(const std::string& strText) {
  const size_t nBegin = strText.find_first_not_of(" \t\r");
  if (nBegin == std::string::npos) return std::string();
  return strText.substr(nBegin, strText.find_last_not_of(" \t\r") - nBegin + 1);
}

// "<input> <accepted|refused> [<detail>] # <why it is kept>", one input a line.
bool ReadOutcomes(const char* szPath, std::map<std::string, Expected>& expected) {
  std::ifstream in(szPath);
  if (!in) {
    std::fprintf(stderr, "%s: no outcomes file; every corpus input needs a line there\n", szPath);
    return false;
  }
  bool bOk = true;
  std::string strLine;
  for (int nLine = 1; std::getline(in, strLine); ++nLine) {
    strLine = Trim(strLine);
    if (strLine.empty() || strLine[0] == '#') continue;
    const size_t nHash = strLine.find('#');
    const std::string strReason = nHash == std::string::npos ? "" : Trim(strLine.substr(nHash + 1));
    const std::string strFields = Trim(strLine.substr(0, nHash));
    const size_t nNameEnd = strFields.find_first_of(" \t");
    const std::string strName = strFields.substr(0, nNameEnd);
    const std::string strRest =
        nNameEnd == std::string::npos ? "" : Trim(strFields.substr(nNameEnd));
    const size_t nVerdictEnd = strRest.find_first_of(" \t");
    Expected entry;
    entry.strVerdict = strRest.substr(0, nVerdictEnd);
    entry.strDetail = nVerdictEnd == std::string::npos ? "" : Trim(strRest.substr(nVerdictEnd));
    entry.nLine = nLine;
    const char* szProblem = nullptr;
    if (entry.strVerdict != dbfuzz::kAccepted && entry.strVerdict != dbfuzz::kRefused) {
      szProblem = "the outcome is neither accepted nor refused";
    } else if (strReason.empty()) {
      szProblem = "no \"# why it is kept\"";
    } else if (!expected.emplace(strName, entry).second) {
      szProblem = "the input is listed twice";
    }
    if (szProblem != nullptr) {
      std::fprintf(stderr, "%s:%d: %s\n", szPath, nLine, szProblem);
      bOk = false;
    }
  }
  return bOk;
}

dbfuzz::Outcome Replay(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  dbfuzz::LastOutcome() = {};
  LLVMFuzzerTestOneInput(bytes.empty() ? nullptr : bytes.data(), bytes.size());
  dbfuzz::Outcome seen = dbfuzz::LastOutcome();
  seen.strDetail = Trim(seen.strDetail);
  return seen;
}

// Every input of a folder, named relative to it; a file named on its own is named by its
// file name.
std::vector<std::pair<std::string, std::filesystem::path>> Inputs(const char* szRoot) {
  std::vector<std::pair<std::string, std::filesystem::path>> inputs;
  const std::filesystem::path root(szRoot);
  if (std::filesystem::is_directory(root)) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
      if (entry.is_regular_file()) {
        inputs.emplace_back(entry.path().lexically_relative(root).generic_string(), entry.path());
      }
    }
  } else if (std::filesystem::is_regular_file(root)) {
    inputs.emplace_back(root.filename().string(), root);
  }
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

}  // namespace

int main(int argc, char** argv) {
  const char* szOutcomes = nullptr;
  std::map<std::string, Expected> expected;
  int nFirst = 1;
  if (argc > 2 && std::strcmp(argv[1], "--expect") == 0) {
    szOutcomes = argv[2];
    nFirst = 3;
  }
  bool bOk = szOutcomes == nullptr || ReadOutcomes(szOutcomes, expected);
  // An empty input is always worth one run.
  LLVMFuzzerTestOneInput(nullptr, 0);
  size_t nFiles = 0;
  for (int i = nFirst; i < argc; ++i) {
    for (const auto& [strName, path] : Inputs(argv[i])) {
      const dbfuzz::Outcome seen = Replay(path);
      ++nFiles;
      const std::string strSeen =
          seen.strVerdict.empty()
              ? "(no outcome reported)"
              : seen.strVerdict + (seen.strDetail.empty() ? "" : " " + seen.strDetail);
      if (szOutcomes == nullptr) {
        std::printf("%s %s\n", strName.c_str(), strSeen.c_str());
        continue;
      }
      auto it = expected.find(strName);
      if (it == expected.end()) {
        std::fprintf(stderr, "%s: not in %s (it gave: %s)\n", strName.c_str(), szOutcomes,
                     strSeen.c_str());
        bOk = false;
        continue;
      }
      it->second.bReplayed = true;
      if (seen.strVerdict != it->second.strVerdict || seen.strDetail != it->second.strDetail) {
        const std::string strWanted =
            it->second.strVerdict +
            (it->second.strDetail.empty() ? "" : " " + it->second.strDetail);
        std::fprintf(stderr, "%s:%d: %s: expected \"%s\", saw \"%s\"\n", szOutcomes,
                     it->second.nLine, strName.c_str(), strWanted.c_str(), strSeen.c_str());
        bOk = false;
      }
    }
  }
  for (const auto& [strName, entry] : expected) {
    if (!entry.bReplayed) {
      std::fprintf(stderr, "%s:%d: %s is listed but is not in the corpus\n", szOutcomes,
                   entry.nLine, strName.c_str());
      bOk = false;
    }
  }
  std::printf("replayed %zu inputs%s\n", nFiles, bOk ? "" : ", outcomes differ");
  return bOk ? 0 : 1;
}
