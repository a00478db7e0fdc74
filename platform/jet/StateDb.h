// A small SQLite file of text rows, for the program's own memory between runs (which record of
// one calendar is which of the other). The program's code never sees the engine: it reads all
// rows, or replaces all rows at once.
//
// Texts are stored as given (ANSI bytes, kept as blobs so no conversion can alter them). A file
// that is missing, unreadable, damaged or of another layout reads as no rows: the caller then
// starts afresh, it never refuses to run. Every replacement is one transaction: a crash
// leaves the file as it was before, or as it is after.
#pragma once

#include <string>
#include <vector>

// One remembered pair: the two stores' keys and what each side looked like when the pair was
// last made equal.
struct StateDbRow {
  std::string strPalmKey;
  std::string strOutlookKey;
  std::string strPalmPrint;
  std::string strOutlookPrint;
};

// The longest text a row may hold; longer texts in a file mark it as not ours.
inline constexpr size_t STATEDB_MAX_TEXT = 4096;
// The most rows read from a file: more than any calendar pair holds, so only a damaged or
// foreign file stops there.
inline constexpr size_t STATEDB_MAX_ROWS = 2000000;

// Reads every row of the file at szPath into vRows (emptied first). False, with no rows, when
// the file does not exist or cannot be read as a state file; szWhy (optional) then says why.
bool StateDbRead(const char* szPath, std::vector<StateDbRow>& vRows, std::string* pWhy = nullptr);

// Replaces every row of the file at szPath (created when missing) with vRows, in one
// transaction. False when nothing was changed; *pWhy then says why.
bool StateDbWrite(const char* szPath, const std::vector<StateDbRow>& vRows,
                  std::string* pWhy = nullptr);
