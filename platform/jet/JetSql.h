// The one rewrite a statement written for Jet needs before SQLite can run it.
#pragma once

#include <string>

// Copies szSql into strOut with every LEFT(name, n) outside quoted text replaced by
// substr(name, 1, n): LEFT is a keyword in SQLite and cannot be called. Everything else,
// bracketed names and hexadecimal literals included, runs on SQLite as Jet wrote it.
void JetTranslateSql(const char* szSql, std::string& strOut);

// True when szText holds nothing but blanks, line breaks and semicolons.
bool JetIsBlankTail(const char* szText);
