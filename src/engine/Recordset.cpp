#include "engine/Recordset.h"

#include "engine/EngineError.h"

namespace engine {

namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

[[noreturn]] void noCurrentRecord() {
    throw EngineError(errNoCurrentRecord, engineSource, "No current record.");
}

} // namespace

Variant Field::Value() const {
    recordset_->checkOpen();
    if (recordset_->position_ >= recordset_->rows_.values.size())
        noCurrentRecord();
    // Between Edit and Update a field shows the value given to it.
    if (recordset_->editing_ && recordset_->edits_[index_])
        return *recordset_->edits_[index_];
    return recordset_->rows_.values[recordset_->position_][index_];
}

void Field::SetValue(const Variant& value) {
    recordset_->checkOpen();
    if (!recordset_->editing_)
        throw EngineError(errUpdateWithoutEdit, engineSource, "Update or CancelUpdate without AddNew or Edit.");
    recordset_->edits_[index_] = value;
}

Recordset::Recordset(std::shared_ptr<Connection> connection, Rows rows, bool editable)
    : connection_(std::move(connection)), rows_(std::move(rows)), editable_(editable), edits_(rows_.names.size()) {
    // An editable recordset needs its table, a column for each field and a key for each row.
    if (editable_ && !rows_.writable())
        editable_ = false;
}

Recordset::~Recordset() {
    if (!connection_)
        return;
    try {
        connection_->writePending(rows_);
    } catch (...) {
        // The connection keeps the failure: its savepoint is spoiled.
    }
    connection_->forgetPending(rows_);
}

void Recordset::checkOpen() const {
    if (!open_)
        throw EngineError(errObjectClosed, engineSource, "Operation is not allowed when the object is closed.");
}

bool Recordset::Bof() const {
    checkOpen();
    // Rows are only ever walked forwards, so BOF holds only for no rows at all.
    return rows_.values.empty();
}

bool Recordset::Eof() const {
    checkOpen();
    return position_ >= rows_.values.size();
}

void Recordset::Edit() {
    checkOpen();
    if (!editable_)
        throw EngineError(errReadOnly, engineSource, "Cannot update. Database or object is read-only.");
    if (Eof())
        noCurrentRecord();
    editing_ = true;
    edits_.assign(rows_.names.size(), std::nullopt);
}

void Recordset::Update() {
    checkOpen();
    if (!editing_)
        throw EngineError(errUpdateWithoutEdit, engineSource, "Update or CancelUpdate without AddNew or Edit.");
    bool any = false;
    for (const auto& edit : edits_)
        any = any || edit.has_value();
    if (any)
        connection_->updateRow(rows_, position_, edits_);
    editing_ = false;
    edits_.assign(rows_.names.size(), std::nullopt);
}

void Recordset::MoveNext() {
    checkOpen();
    if (Eof())
        noCurrentRecord();
    // Moving on drops an edit that was not written, as the data-access objects do.
    editing_ = false;
    edits_.assign(rows_.names.size(), std::nullopt);
    ++position_;
}

void Recordset::MoveFirst() {
    checkOpen();
    editing_ = false;
    edits_.assign(rows_.names.size(), std::nullopt);
    position_ = 0;
}

void Recordset::Close() {
    checkOpen();
    open_ = false;
    editing_ = false;
    edits_.clear();
    std::shared_ptr<Connection> connection = std::move(connection_);
    try {
        connection->writePending(rows_);
    } catch (...) {
        connection->forgetPending(rows_);
        rows_ = Rows{};
        throw;
    }
    connection->forgetPending(rows_);
    rows_ = Rows{};
}

Field Recordset::Fields(const std::string& name) {
    checkOpen();
    for (std::size_t i = 0; i < rows_.names.size(); ++i) {
        if (sameName(rows_.names[i], name))
            return Field(*this, i);
    }
    throw EngineError(errNoSuchField, engineSource, "Item not found in this collection.");
}

} // namespace engine
