#pragma once
// The files the command line writes: whole or not at all, and never over a
// database.

#include <string>

namespace cli {

// True when path is a file that begins as a property database does (SQLite,
// or Jet/ACE): a list written there would destroy it.
bool IsDatabaseFile(const std::string& path);

// Writes bytes to path whole or not at all: to a temporary file beside it
// (hidden, and not a name a user would pick), then renamed over it. On
// failure nothing is left behind, any file already at path is as it was, and
// why says what went wrong. A folder at path is refused.
bool WriteFileWhole(const std::string& path, const std::string& bytes, std::string& why);

} // namespace cli
