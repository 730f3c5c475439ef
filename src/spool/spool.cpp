#include "spool/spool.h"

#include "database/sqlerror.h"

#include <QDataStream>
#include <QIODevice>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QStringList Schema{
    u"CREATE TABLE Identity (Value TEXT NOT NULL)"_s,
    u"CREATE TABLE Listings (Id INTEGER PRIMARY KEY AUTOINCREMENT, Terminal INTEGER NOT NULL, "
    "Address TEXT NOT NULL, Records INTEGER NOT NULL, "
    "Collected TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP)"_s,
    u"CREATE TABLE Passes (Id INTEGER PRIMARY KEY AUTOINCREMENT, JournalPath TEXT NOT NULL, "
    "LastLine INTEGER NOT NULL, Started TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP, Ended TEXT)"_s,
    // Line numbers are handed out here and never again, whatever is let go.
    u"CREATE TABLE Counter (Next INTEGER NOT NULL)"_s,
    u"INSERT INTO Counter (Next) VALUES (1)"_s,
    // Kept in posting order, so that a slice of the posting changes a few
    // neighbouring pages rather than one page per line.
    u"CREATE TABLE Lines (Moment INTEGER NOT NULL, Id INTEGER NOT NULL, "
    "Listing INTEGER NOT NULL, Terminal INTEGER NOT NULL, Address TEXT NOT NULL, "
    "Record TEXT NOT NULL, State INTEGER NOT NULL DEFAULT 0, Pass INTEGER, Error TEXT, "
    "JournalAt INTEGER, JournalLine BLOB, PRIMARY KEY (Moment, Id)) WITHOUT ROWID"_s,
    u"CREATE UNIQUE INDEX LinesById ON Lines (Id)"_s,
    u"CREATE INDEX LinesByState ON Lines (State, Moment, Id)"_s,
    // The lines whose site transaction is about to commit, with their
    // journal lines: a small table, so a slice's intents touch a page or two.
    u"CREATE TABLE Intents (Line INTEGER PRIMARY KEY, Pass INTEGER NOT NULL, "
    "JournalAt INTEGER NOT NULL, JournalLine BLOB NOT NULL)"_s,
    // Each terminal's last listing whose deletion it has not confirmed.
    u"CREATE TABLE Awaiting (Terminal INTEGER PRIMARY KEY, Records BLOB NOT NULL)"_s,
    u"CREATE TABLE SetAside (Id INTEGER PRIMARY KEY AUTOINCREMENT, Line BLOB NOT NULL, "
    "FileAt INTEGER NOT NULL, Written INTEGER NOT NULL DEFAULT 0)"_s,
};

QString randomIdentity()
{
    QRandomGenerator* random = QRandomGenerator::system();
    return u"%1%2"_s.arg(random->generate64(), 16, 16, QChar(u'0'))
        .arg(random->generate64(), 16, 16, QChar(u'0'));
}

QString timestamp(const QDateTime& moment)
{
    return moment.toUTC().toString(u"yyyy-MM-dd HH:mm:ss"_s);
}

} // namespace

Spool::Spool(const QString& path)
    : m_path(path)
    , m_connection(u"parvix-spool-%1"_s.arg(quintptr(this)))
{}

Spool::~Spool()
{
    close();
}

QSqlDatabase Spool::database() const
{
    return QSqlDatabase::database(m_connection, false);
}

bool Spool::isOpen() const
{
    return QSqlDatabase::contains(m_connection) && database().isOpen() && !m_identity.isEmpty();
}

void Spool::close()
{
    m_identity.clear();
    if (!QSqlDatabase::contains(m_connection))
        return;
    database().close();
    QSqlDatabase::removeDatabase(m_connection);
}

bool Spool::open(const std::function<Legacy()>& legacy, bool& created, Error& error)
{
    close();
    created = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_connection);
        db.setDatabaseName(m_path);
        db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=5000"_s);
        if (!db.open())
            error = SqlError::toError(db.lastError(), DatabaseTarget::Server::SQLite);
    }
    if (error.isSet() || !prepare(legacy, created, error)) {
        close();
        return false;
    }
    return true;
}

bool Spool::prepare(const std::function<Legacy()>& legacy, bool& created, Error& error)
{
    QSqlQuery query(database());
    // The write-ahead log: a commit is one append, forced to disk only where
    // it must survive a power cut (a listing before its deletion).
    if (!exec(query, u"PRAGMA journal_mode=WAL"_s, {}, error) ||
        !exec(query, u"PRAGMA synchronous=NORMAL"_s, {}, error) ||
        !exec(query, u"PRAGMA user_version"_s, {}, error) || !query.next())
        return false;
    const int version = query.value(0).toInt();
    query.finish();
    if (version > SchemaVersion) {
        error = Error{-2147217900, u"Scarico.db di una versione successiva (%1)"_s.arg(version)};
        return false;
    }
    if (version == 0) {
        const Legacy taken = legacy ? legacy() : Legacy();
        m_identity = randomIdentity();
        if (!transaction(
                true, [&](Error& e) { return create(taken, e); }, error))
            return false;
        created = true;
    }
    if (!exec(query, u"SELECT Value FROM Identity"_s, {}, error) || !query.next()) {
        if (!error.isSet())
            error = Error{-2147217900, u"Scarico.db senza identità"_s};
        return false;
    }
    m_identity = query.value(0).toString();
    return true;
}

bool Spool::create(const Legacy& legacy, Error& error)
{
    for (const QString& statement : Schema) {
        if (!exec(statement, {}, error))
            return false;
    }
    if (!exec(u"INSERT INTO Identity (Value) VALUES (?)"_s, {m_identity}, error))
        return false;
    for (qsizetype from = 0; from < legacy.pending.size();) {
        // One listing per run of lines from the same terminal.
        qsizetype to = from;
        while (to < legacy.pending.size() &&
               legacy.pending[to].NumTer == legacy.pending[from].NumTer)
            ++to;
        if (!addLines(qint16(legacy.pending[from].NumTer), legacy.pending[from].IPTer,
                      legacy.pending.mid(from, to - from), error))
            return false;
        from = to;
    }
    if (!legacy.awaiting.isEmpty() &&
        !replaceAwaiting(qint16(legacy.awaiting.first().NumTer), legacy.awaiting, error))
        return false;
    return exec(u"PRAGMA user_version = %1"_s.arg(SchemaVersion), {}, error);
}

QString Spool::key(const Line& line) const
{
    return u"%1-%2-%3"_s.arg(m_identity).arg(line.moment, 8, 10, QChar(u'0')).arg(line.id);
}

bool Spool::exec(QSqlQuery& query, const QString& statement, const QVariantList& values,
                 Error& error) const
{
    if (!QSqlDatabase::contains(m_connection) || !database().isOpen()) {
        error = Error{-2147467259, u"Scarico.db non aperto"_s};
        return false;
    }
    bool ok = query.lastQuery() == statement || query.prepare(statement);
    for (qsizetype i = 0; ok && i < values.size(); ++i)
        query.bindValue(int(i), values[i]);
    ok = ok && query.exec();
    if (!ok)
        error = SqlError::toError(query.lastError(), DatabaseTarget::Server::SQLite);
    return ok;
}

bool Spool::exec(const QString& statement, const QVariantList& values, Error& error) const
{
    QSqlQuery query(database());
    return exec(query, statement, values, error);
}

// `durable`: forced to disk before it returns, so a power cut keeps it.
bool Spool::transaction(bool durable, const std::function<bool(Error&)>& work, Error& error)
{
    QSqlDatabase db = database();
    if (durable && !exec(u"PRAGMA synchronous=FULL"_s, {}, error))
        return false;
    bool done = db.transaction();
    if (!done)
        error = SqlError::toError(db.lastError(), DatabaseTarget::Server::SQLite);
    done = done && work(error);
    if (done && !db.commit()) {
        error = SqlError::toError(db.lastError(), DatabaseTarget::Server::SQLite);
        done = false;
    }
    if (!done)
        db.rollback();
    Error ignored;
    if (durable)
        exec(u"PRAGMA synchronous=NORMAL"_s, {}, ignored);
    return done;
}

bool Spool::addLines(qint16 terminal, const QString& address,
                     const QList<CollectedTransit>& records, Error& error)
{
    QSqlQuery query(database());
    if (!exec(query, u"INSERT INTO Listings (Terminal, Address, Records) VALUES (?, ?, ?)"_s,
              {terminal, address, records.size()}, error))
        return false;
    const qint64 listing = query.lastInsertId().toLongLong();
    if (!exec(query, u"SELECT Next FROM Counter"_s, {}, error) || !query.next())
        return false;
    qint64 id = query.value(0).toLongLong();
    query.finish();
    // Inserted in posting order, each page of Lines is written once; lines of
    // the same minute keep the order the terminal listed them in.
    QList<std::pair<qint64, qsizetype>> order;
    order.reserve(records.size());
    for (qsizetype i = 0; i < records.size(); ++i)
        order.append({records[i].moment(), i});
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QSqlQuery insert(database());
    for (const auto& [moment, i] : order) {
        const CollectedTransit& record = records[i];
        if (!exec(insert,
                  u"INSERT INTO Lines (Moment, Id, Listing, Terminal, Address, Record) "
                  "VALUES (?, ?, ?, ?, ?, ?)"_s,
                  {moment, id++, listing, record.NumTer, record.IPTer, record.record}, error))
            return false;
    }
    return exec(u"UPDATE Counter SET Next = ?"_s, {id}, error);
}

namespace {

QByteArray packed(const QList<CollectedTransit>& records)
{
    QStringList fields;
    for (const CollectedTransit& record : records)
        fields << record.IPTer << record.record;
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << fields;
    return bytes;
}

QStringList unpacked(const QByteArray& bytes)
{
    QStringList fields;
    QDataStream stream(bytes);
    stream >> fields;
    return fields;
}

} // namespace

// What the terminal holds, as far as the server knows: its last listing.
bool Spool::replaceAwaiting(qint16 terminal, const QList<CollectedTransit>& records, Error& error)
{
    return exec(u"INSERT OR REPLACE INTO Awaiting (Terminal, Records) VALUES (?, ?)"_s,
                {terminal, packed(records)}, error);
}

bool Spool::alreadyCollected(qint16 terminal, const QList<CollectedTransit>& listing,
                             qsizetype& count, Error& error)
{
    count = 0;
    QSqlQuery query(database());
    if (!exec(query, u"SELECT Records FROM Awaiting WHERE Terminal = ?"_s, {terminal}, error))
        return false;
    if (!query.next())
        return true;
    const QStringList held = unpacked(query.value(0).toByteArray());
    const qsizetype records = held.size() / 2;
    // Only all of them: a terminal that lost a few records deleted its file.
    if (records > listing.size())
        return true;
    for (qsizetype i = 0; i < records; ++i) {
        if (listing[i].IPTer != held[2 * i] || listing[i].record != held[2 * i + 1])
            return true;
    }
    count = records;
    return true;
}

bool Spool::storeListing(qint16 terminal, const QList<CollectedTransit>& listing, qsizetype skip,
                         const QList<CollectedTransit>& lines, const QList<QByteArray>& setAside,
                         qint64 setAsideAt, Error& error)
{
    return transaction(
        true,
        [&](Error& e) {
            if (!lines.isEmpty() && !addLines(terminal, lines.first().IPTer, lines, e))
                return false;
            if (!replaceAwaiting(terminal, listing, e))
                return false;
            QSqlQuery insert(database());
            qint64 at = setAsideAt;
            for (const QByteArray& line : setAside) {
                if (!exec(insert, u"INSERT INTO SetAside (Line, FileAt) VALUES (?, ?)"_s,
                          {line, at}, e))
                    return false;
                at += line.size();
            }
            return true;
        },
        error);
}

bool Spool::confirmDeletion(qint16 terminal, Error& error)
{
    return exec(u"DELETE FROM Awaiting WHERE Terminal = ?"_s, {terminal}, error);
}

bool Spool::unwrittenSetAside(QList<SetAside>& records, Error& error)
{
    records.clear();
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!exec(query, u"SELECT Id, Line, FileAt FROM SetAside WHERE Written = 0 ORDER BY Id"_s, {},
              error))
        return false;
    while (query.next())
        records.append({query.value(0).toLongLong(), query.value(1).toByteArray(),
                        query.value(2).toLongLong()});
    return true;
}

bool Spool::setAsideWritten(qint64 upToId, Error& error)
{
    return exec(u"UPDATE SetAside SET Written = 1 WHERE Id <= ? AND Written = 0"_s, {upToId},
                error);
}

bool Spool::beginPass(const QString& journalPath, qint64& pass, Error& error)
{
    QSqlQuery query(database());
    if (!exec(query,
              u"INSERT INTO Passes (JournalPath, LastLine) VALUES (?, (SELECT Next - 1 FROM "
              "Counter))"_s,
              {journalPath}, error))
        return false;
    pass = query.lastInsertId().toLongLong();
    return true;
}

bool Spool::endPass(qint64 pass, Error& error)
{
    return exec(u"UPDATE Passes SET Ended = CURRENT_TIMESTAMP WHERE Id = ?"_s, {pass}, error);
}

namespace {

// Where the lines in a state are found, and the values it binds. A line
// committing stays pending in Lines; its intent says it is committing.
std::pair<QString, QVariantList> linesIn(Spool::State state)
{
    if (state == Spool::State::Committing)
        return {u"Intents JOIN Lines ON Lines.Id = Intents.Line LEFT JOIN Passes ON Passes.Id = "
                "Intents.Pass"_s,
                {}};
    return {u"Lines LEFT JOIN Passes ON Passes.Id = Lines.Pass WHERE State = ? AND NOT EXISTS "
            "(SELECT 1 FROM Intents WHERE Intents.Line = Lines.Id)"_s,
            {int(state)}};
}

} // namespace

bool Spool::select(State state, qint64 limit, const std::function<void(const Line&)>& visit,
                   Error& error)
{
    const auto [source, values] = linesIn(state);
    const QString journal = state == State::Committing
                                ? u"Intents.JournalAt, Intents.JournalLine, Intents.Pass"_s
                                : u"Lines.JournalAt, Lines.JournalLine, Lines.Pass"_s;
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!exec(query,
              u"SELECT Lines.Id, Terminal, Address, Record, Error, %1, JournalPath, Moment FROM "
              "%2 ORDER BY Moment, Lines.Id LIMIT ?"_s.arg(journal, source),
              values + QVariantList{limit}, error))
        return false;
    while (query.next()) {
        visit(Line{
            query.value(0).toLongLong(),
            {query.value(1).toLongLong(), query.value(2).toString(), query.value(3).toString()},
            query.value(4).toString(),
            query.value(5).toLongLong(),
            query.value(6).toByteArray(),
            query.value(8).toString(),
            query.value(7).toLongLong(),
            query.value(9).toLongLong()});
    }
    if (query.lastError().isValid()) {
        error = SqlError::toError(query.lastError(), DatabaseTarget::Server::SQLite);
        return false;
    }
    return true;
}

bool Spool::forEach(State state, const std::function<void(const Line&)>& visit, Error& error)
{
    return select(state, -1, visit, error);
}

bool Spool::lines(State state, qint64 limit, QList<Line>& lines, Error& error)
{
    lines.clear();
    return select(
        state, limit, [&](const Line& line) { lines.append(line); }, error);
}

bool Spool::count(State state, qint64& count, Error& error)
{
    const auto [source, values] = linesIn(state);
    QSqlQuery query(database());
    if (!exec(query, u"SELECT COUNT(*) FROM "_s + source, values, error) || !query.next())
        return false;
    count = query.value(0).toLongLong();
    return true;
}

bool Spool::countByState(QMap<State, qint64>& counts, Error& error)
{
    QSqlQuery query(database());
    if (!exec(query, u"SELECT State, COUNT(*) FROM Lines GROUP BY State"_s, {}, error))
        return false;
    counts.clear();
    while (query.next())
        counts.insert(State(query.value(0).toInt()), query.value(1).toLongLong());
    return true;
}

bool Spool::record(const QList<Outcome>& outcomes, qint64 pass, bool committed, Error& error)
{
    if (outcomes.isEmpty() && !committed)
        return true;
    return transaction(
        false,
        [&](Error& e) {
            if (committed &&
                !(exec(u"UPDATE Lines SET State = 3, Pass = ? WHERE Id IN (SELECT Line FROM "
                       "Intents WHERE Pass = ?)"_s,
                       {pass, pass}, e) &&
                  exec(u"DELETE FROM Intents WHERE Pass = ?"_s, {pass}, e)))
                return false;
            QSqlQuery intent(database());
            QSqlQuery update(database());
            QSqlQuery settled(database());
            for (const Outcome& outcome : outcomes) {
                const qint64 linePass = outcome.pass > 0 ? outcome.pass : pass;
                const QVariant passValue = linePass > 0 ? QVariant(linePass) : QVariant();
                if (outcome.state == State::Committing) {
                    if (!exec(intent,
                              u"INSERT INTO Intents (Line, Pass, JournalAt, JournalLine) VALUES "
                              "(?, ?, ?, ?)"_s,
                              {outcome.id, linePass, outcome.journalAt, outcome.journalLine}, e))
                        return false;
                    continue;
                }
                const bool journal = !outcome.journalLine.isEmpty();
                if (!exec(update,
                          u"UPDATE Lines SET State = ?, Pass = IFNULL(?, Pass), Error = ?, "
                          "JournalAt = ?, JournalLine = ? WHERE Id = ?"_s,
                          {int(outcome.state), passValue,
                           outcome.error.isEmpty() ? QVariant() : outcome.error,
                           journal ? outcome.journalAt : QVariant(),
                           journal ? outcome.journalLine : QVariant(), outcome.id},
                          e) ||
                    !exec(settled, u"DELETE FROM Intents WHERE Line = ?"_s, {outcome.id}, e))
                    return false;
            }
            return true;
        },
        error);
}

bool Spool::retryFailed(qint64& count, Error& error)
{
    QSqlQuery query(database());
    if (!exec(query, u"UPDATE Lines SET State = 0, Error = NULL WHERE State = 5"_s, {}, error))
        return false;
    count = query.numRowsAffected();
    return true;
}

bool Spool::prune(const QDateTime& before, Error& error)
{
    const QString cutoff = timestamp(before);
    // Lines are numbered in the order of their listings: the listings before
    // the first line still kept have no line left.
    return transaction(
        false,
        [&](Error& e) {
            return exec(u"DELETE FROM Lines WHERE State IN (3, 4) AND Id <= (SELECT "
                        "IFNULL(MAX(LastLine), 0) FROM Passes WHERE Ended < ?)"_s,
                        {cutoff}, e) &&
                   exec(u"DELETE FROM Passes WHERE Ended < ? AND Id < (SELECT MAX(Id) FROM "
                        "Passes) AND Id NOT IN (SELECT Pass FROM Intents) AND Id NOT IN (SELECT "
                        "Pass FROM Lines WHERE State = 2)"_s,
                        {cutoff}, e) &&
                   exec(u"DELETE FROM Listings WHERE Collected < ? AND Id < IFNULL((SELECT "
                        "Listing FROM Lines ORDER BY Id LIMIT 1), Id + 1)"_s,
                        {cutoff}, e) &&
                   exec(u"DELETE FROM SetAside WHERE Written = 1"_s, {}, e);
        },
        error);
}
