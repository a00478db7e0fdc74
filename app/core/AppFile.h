// Whole-file writes of the application's own files (the history), done so that a reader never
// finds one half-written: the bytes go to a temporary file beside the target, are flushed, and
// the temporary file is renamed over the target in one step.
#pragma once

#include <cstddef>

// False, with the target untouched and no temporary file left, when any step fails.
bool WriteFileReplacing(const char* szPath, const void* pData, size_t nSize);

// The rename that replaces szTo in one step, and a delete whose failure does not matter.
bool RenameReplacing(const char* szFrom, const char* szTo);
void DeleteQuietly(const char* szPath);
