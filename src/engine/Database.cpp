#include "engine/Database.h"

#include "engine/EngineError.h"

namespace engine {

Database::Database(std::shared_ptr<Connection> connection) : connection_(std::move(connection)) {}

Database::~Database() = default;

const std::string& Database::Name() const {
    return connection_->name();
}

void Database::Execute(const std::string& sql) {
    recordsAffected_ = 0;
    recordsAffected_ = connection_->execute(sql);
}

std::shared_ptr<Recordset> Database::OpenRecordset(const std::string& sql, std::int16_t type, std::int16_t options) {
    const bool editable = type == dbOpenDynaset && (options & dbReadOnly) == 0;
    Rows rows = connection_->query(sql, editable);
    return std::make_shared<Recordset>(connection_, std::move(rows), editable);
}

void Database::ReadRows(const std::string& sql, const RowReader& row) {
    connection_->forEachRow(sql, row);
}

long long Database::RecordsAffected() const {
    return recordsAffected_;
}

void Database::BeginTrans() {
    connection_->beginTrans();
}

void Database::CommitTrans() {
    connection_->commitTrans();
}

void Database::Rollback() {
    connection_->rollback();
}

void Database::Savepoint(const std::string& name, bool wholeOrNothing) {
    checkSavepoints();
    if (wholeOrNothing)
        connection_->savepointWhole(name);
    else
        connection_->savepoint(name);
}

void Database::ReleaseSavepoint(const std::string& name) {
    checkSavepoints();
    connection_->releaseSavepoint(name);
}

void Database::RollbackToSavepoint(const std::string& name) {
    checkSavepoints();
    connection_->rollbackToSavepoint(name);
}

bool Database::BeginSnapshot() {
    return connection_->beginSnapshot();
}

bool Database::InTransaction() const {
    return connection_->inTransaction();
}

bool Database::SupportsSavepoints() const {
    return !savepointsDisabled_ && connection_->supportsSavepoints();
}

bool Database::IsFile() const {
    return connection_->isFile();
}

bool Database::FoldsCaseAtEachCompare() const {
    return connection_->foldsCaseAtEachCompare();
}

void Database::DisableSavepoints() {
    savepointsDisabled_ = true;
}

void Database::checkSavepoints() const {
    if (savepointsDisabled_)
        throw EngineError(errInvalidOperation, engineSource, "This database has no savepoints.");
}

void Database::SetBusyTimeout(int milliseconds) {
    connection_->setBusyTimeout(milliseconds);
}

std::uint64_t Database::RoundTrips() const {
    return connection_->roundTrips();
}

std::optional<ChangeMark> Database::ReadChangeMark() {
    return connection_->changeMark();
}

bool Database::ConnectionLost() const {
    return connection_->connectionLost();
}

std::shared_ptr<Database> Database::OpenAnother() const {
    std::shared_ptr<Connection> another = connection_->openAnother();
    return another ? std::make_shared<Database>(std::move(another)) : nullptr;
}

bool Database::ReleaseLostConnection() {
    return connection_->releaseLost();
}

void Database::SetNetworkWaitLimit(std::chrono::milliseconds limit) {
    connection_->setNetworkWaitLimit(limit);
}

} // namespace engine
