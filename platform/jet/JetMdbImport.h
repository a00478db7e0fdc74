// Reading a real Jet database file: the file is recognised by its header, and its user
// tables are copied, column types and rows, into a SQLite database so that the statements
// of the program run on one engine whatever file they came from.
#pragma once

#include <string>

struct sqlite3;

// True when the file starts with a Jet (or ACE) database header.
bool JetIsJetFile(const char* szPath);

// Copies every user table of the Jet file into pDb. False, with a message, when the file
// cannot be read by mdbtools or a table cannot be created.
bool JetImportMdb(const char* szPath, sqlite3* pDb, std::string& strError);
