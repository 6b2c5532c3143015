// The engine's tests in the Windows build. That build has no SQLite of its
// own, so it runs every test except those on the SQLite backend itself (the
// backend-parameterised tests named ".../Sqlite", and EngineTest, whose
// fixture is an SQLite file opened directly): the ODBC backends, SQLite
// through its ODBC driver and PostgreSQL, and the engine's logic. A filter
// given on the command line replaces this one.

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    GTEST_FLAG_SET(filter, "-*/Sqlite:EngineTest.*");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
