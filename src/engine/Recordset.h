#pragma once
// The rows of one query. All rows are read when the recordset is opened, so no
// statement or lock outlives the open; an editable recordset writes a row back
// to its table, found again by its key, on Update.

#include "engine/Connection.h"
#include "engine/Variant.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace engine {

class Recordset;

// A column of the recordset's current row, found by name without regard to case.
class Field {
public:
    Field(Recordset& recordset, std::size_t index) : recordset_(&recordset), index_(index) {}
    // Raises errObjectClosed on a closed recordset, errNoCurrentRecord at EOF.
    Variant Value() const;
    // Only between Edit and Update; raises errUpdateWithoutEdit otherwise.
    void SetValue(const Variant& value);

private:
    Recordset* recordset_;
    std::size_t index_;
};

class Recordset {
public:
    using Rows = engine::Rows;

    Recordset(std::shared_ptr<Connection> connection, Rows rows, bool editable);
    // Rows written but held back by the connection are sent; a failure then
    // is the connection's to raise at its next statement.
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // BOF and EOF of the recordset (EOF is a macro of the C library, hence
    // the spelling). Raise errObjectClosed after Close.
    bool Bof() const;
    bool Eof() const;
    // errReadOnly on a read-only recordset, errNoCurrentRecord at EOF.
    void Edit();
    // Writes the fields set since Edit to the row and ends the edit; the row
    // then shows what the table holds. errUpdateWithoutEdit without Edit;
    // errRecordDeleted when the row is no longer in its table (or, where the
    // row is found by its original values, when it was changed meanwhile); the
    // backend's error (the edit stays pending) when the write fails.
    void Update();
    // errNoCurrentRecord when already at EOF. An edit not yet written is dropped.
    void MoveNext();
    // Back to the first row (the rows were read whole at the open). An edit
    // not yet written is dropped.
    void MoveFirst();
    // Sends the rows written but held back (their failure is raised here,
    // and the recordset is closed all the same).
    void Close();
    // errNoSuchField for a name the recordset does not have.
    Field Fields(const std::string& name);

private:
    friend class Field;
    void checkOpen() const;

    std::shared_ptr<Connection> connection_;
    Rows rows_;
    bool editable_;
    bool open_ = true;
    std::size_t position_ = 0;
    bool editing_ = false;
    std::vector<std::optional<Variant>> edits_;
};

} // namespace engine
