#pragma once
// A plain ODBC connection for tests: runs statements and reads rows as text,
// beside the engine (not through it), so a test checks the engine against
// what the database holds. Also another user of the database, for lock tests.

#include <memory>
#include <optional>
#include <string>
#include <vector>

class OdbcSession {
public:
    // Connects with the ODBC connection string; throws std::runtime_error
    // with the driver's message.
    explicit OdbcSession(const std::string& connectionString);
    ~OdbcSession();
    OdbcSession(const OdbcSession&) = delete;
    OdbcSession& operator=(const OdbcSession&) = delete;

    // Runs one statement; throws std::runtime_error on failure.
    void exec(const std::string& sql);
    // As exec, but returns the driver's message instead of throwing (empty on success).
    std::string tryExec(const std::string& sql);
    // The rows of a query, each value as text (nothing for Null).
    std::vector<std::vector<std::optional<std::string>>> rows(const std::string& sql);
    void setAutocommit(bool on);
    void commit();
    void rollback();

private:
    struct Handles;
    std::unique_ptr<Handles> handles_;
};
