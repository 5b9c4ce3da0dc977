#pragma once
// The name and address look-up tables behind the main window's first two view modes.
#include <SQLiteCpp/Database.h>

namespace kamo {

// Refill tblSearch_Name / tblSearch_Addresses with the distinct sender and receiver names /
// addresses of all stored mail.
void RebuildNameList(SQLite::Database& db);
void RebuildAddressList(SQLite::Database& db);

} // namespace kamo
