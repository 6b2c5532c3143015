#pragma once
// Connection texts: a database location of the form "ODBC;<connection
// string>", the data-access objects' own way of naming a database reached
// through ODBC rather than a file.

#include <string>

namespace engine {

// Whether location is a connection text: it begins with "ODBC;" (any case),
// blanks before it allowed. A path never is one.
bool IsConnectionText(const std::string& location);

// The ODBC connection string of a connection text (what follows "ODBC;");
// location itself when it is not a connection text.
std::string OdbcConnectionString(const std::string& location);

// The location as it may be shown or logged: in a connection text, the
// value of every PWD= or Password= attribute (key in any case, blanks around it allowed, a braced
// value with "}}" inside included) replaced by ****. Everything else stays
// as it is; a text without a password is returned unchanged, and so is
// anything that is not a connection text (a path). Every label, message and log entry that shows a database location
// passes it through here.
std::string MaskPassword(const std::string& text);

} // namespace engine
