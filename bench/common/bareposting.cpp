#include "bareposting.h"

#include "app/recordwriter.h"
#include "benchworkspace.h"
#include "database/connectionstring.h"
#include "database/databasesession.h"
#include "server/server.h"
#include "support/serverfixture.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace BarePosting {

bool capture(const QString& backend, const QStringList& records, QList<Transit>& transits,
             QString& error)
{
    qputenv("PARVIX_TEST_BACKEND", backend.toLatin1());
    ServerFixture fixture({{u"1"_s, u"127.0.0.11"_s}});
    TestDatabase database(fixture.workspace.path());
    if (!database.isValid()) {
        error = database.error();
        return false;
    }
    fixture.workspace.write(u"Set/Connection.set"_s,
                            RecordWriter::quotedRecord({database.connectionString()}));
    fixture.clock.set(QDateTime::currentDateTime());
    if (!fixture.start()) {
        error = u"the server core did not start"_s;
        return false;
    }
    transits.clear();
    fixture.server->session().observeStatements(
        [&transits](const QString& text, const QVariantList& values) {
            transits.last().append({text, values});
        });
    for (const QString& record : records) {
        transits.append(Transit());
        fixture.control.raiseData(u"127.0.0.11"_s, record, 1);
    }
    // The server's connection goes before the scratch database is dropped.
    fixture.server.reset();
    return true;
}

namespace {

// One run on a fresh copy of the database.
bool replayOnce(const QString& backend, const QList<Transit>& transits, bool inTransactions,
                Result& result, QString& error)
{
    BenchWorkspace workspace(backend);
    if (!workspace.isValid()) {
        error = workspace.error();
        return false;
    }
    const QString name = u"bare"_s;
    {
        const DatabaseTarget target = DatabaseTarget::fromConnectionString(
            workspace.database().connectionString(), workspace.files().path());
        QSqlDatabase db = target.addDatabase(name);
        if (!db.open()) {
            error = db.lastError().text();
            return false;
        }
        if (target.backend == DatabaseTarget::Backend::SQLite)
            DatabaseSession::useWriteAheadLog(db);
        QHash<QString, QSqlQuery> prepared;
        result = Result();
        QElapsedTimer timer;
        timer.start();
        for (const Transit& transit : transits) {
            if (inTransactions)
                db.transaction();
            for (const Statement& statement : transit) {
                auto it = prepared.find(statement.text);
                if (it == prepared.end()) {
                    QSqlQuery query(db);
                    query.setForwardOnly(true);
                    if (!query.prepare(statement.text)) {
                        error = statement.text + u": "_s + query.lastError().text();
                        return false;
                    }
                    it = prepared.insert(statement.text, query);
                }
                for (qsizetype i = 0; i < statement.values.size(); ++i)
                    it->bindValue(int(i), statement.values[i]);
                if (!it->exec()) {
                    error = statement.text + u": "_s + it->lastError().text();
                    return false;
                }
                while (it->next()) {
                }
                it->finish();
                ++result.statements;
            }
            if (inTransactions)
                db.commit();
            ++result.transits;
        }
        result.seconds = double(timer.nsecsElapsed()) / 1e9;
    }
    QSqlDatabase::removeDatabase(name);
    return true;
}

} // namespace

// The floor is the best of three runs: the machine's noise only slows a run.
bool replay(const QString& backend, const QList<Transit>& transits, bool inTransactions,
            Result& result, QString& error)
{
    for (int run = 0; run < 3; ++run) {
        Result one;
        if (!replayOnce(backend, transits, inTransactions, one, error))
            return false;
        if (run == 0 || one.seconds < result.seconds)
            result = one;
    }
    return true;
}

} // namespace BarePosting
