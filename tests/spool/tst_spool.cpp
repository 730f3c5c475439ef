#include "database/sqlerror.h"
#include "spool/spool.h"
#include "support/testrecord.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// Records at the given times ("0800 0900"), as a terminal lists them.
QList<CollectedTransit> records(const QString& times, qint64 terminal = 1)
{
    QList<CollectedTransit> list;
    for (const QString& hhmm : times.split(u' ', Qt::SkipEmptyParts))
        list.append({terminal, u"127.0.0.11"_s, TestRecord{.hhmm = hhmm}.text()});
    return list;
}

} // namespace

// The spool's own rules, without a server: what a terminal still holds, keys
// that never repeat, and which database failures hold a posting.
class TestSpool : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every test on a spool made anew.
    void init()
    {
        bool created = false;
        m_spool = std::make_unique<Spool>(u":memory:"_s);
        QVERIFY(m_spool->open({}, created, m_error) && created);
    }

    void heldRecordsAreSkippedOnlyWhole_data()
    {
        QTest::addColumn<int>("heldBy");      // the terminal whose deletion was not confirmed
        QTest::addColumn<QString>("held");    // what it listed then
        QTest::addColumn<QString>("listing"); // terminal 1's new listing
        QTest::addColumn<int>("skipped");
        QTest::newRow("the same and one more") << 1 << u"0800 0900"_s << u"0800 0900 1000"_s << 2;
        QTest::newRow("the same only") << 1 << u"0800 0900"_s << u"0800 0900"_s << 2;
        QTest::newRow("a new file") << 1 << u"0800 0900"_s << u"1000 0900"_s << 0;
        QTest::newRow("fewer: the file was deleted") << 1 << u"0800 0900"_s << u"0800"_s << 0;
        QTest::newRow("another terminal's") << 2 << u"0800 0900"_s << u"0800 0900"_s << 0;
    }

    void heldRecordsAreSkippedOnlyWhole()
    {
        QFETCH(int, heldBy);
        QFETCH(QString, held);
        QFETCH(QString, listing);
        QFETCH(int, skipped);
        QVERIFY(
            m_spool->storeListing(qint16(heldBy), records(held, heldBy), 0, {}, {}, 0, m_error));
        QList<qsizetype> counts(2, -1);
        QVERIFY(m_spool->alreadyCollected(1, records(listing), counts[0], m_error));
        // Once the terminal confirms its deletion, nothing it lists is held.
        QVERIFY(m_spool->confirmDeletion(qint16(heldBy), m_error));
        QVERIFY(m_spool->alreadyCollected(1, records(listing), counts[1], m_error));
        QCOMPARE(counts, (QList<qsizetype>{skipped, 0}));
    }

    // A spool without its identity, or one that a later version wrote, is left
    // alone: keyed anew, or read wrongly, its lines could be posted twice.
    void spoolItCannotTrustIsRefused()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(u"Scarico.db"_s);
        const QString later = QString::number(Spool::SchemaVersion + 1);
        bool created = false;
        QVERIFY(Spool(path).open({}, created, m_error));
        QStringList refusals;
        {
            QSqlDatabase other = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"other"_s);
            other.setDatabaseName(path);
            QVERIFY(other.open());
            for (const QString& change :
                 {u"DELETE FROM Identity"_s, u"PRAGMA user_version = "_s + later}) {
                Error error;
                QVERIFY(QSqlQuery(other).exec(change) && !Spool(path).open({}, created, error));
                refusals.append(error.description);
            }
        }
        QSqlDatabase::removeDatabase(u"other"_s);
        QCOMPARE(refusals,
                 (QStringList{u"Scarico.db senza identit\u00e0"_s,
                              u"Scarico.db di una versione successiva (%1)"_s.arg(later)}));
    }

    // A key is the spool's identity, the transit's moment and a line number that goes
    // on growing after lines are posted and let go; a spool made anew has another identity.
    void keysNeverRepeat()
    {
        QStringList keys;
        for (const QString& hhmm : {u"0800"_s, u"0900"_s, u"1000"_s}) {
            if (hhmm == u"1000"_s)
                init();
            QList<Spool::Line> lines;
            qint64 pass = 0, left = -1;
            QVERIFY(m_spool->storeListing(1, {}, 0, records(hhmm), {}, 0, m_error) &&
                    m_spool->lines(Spool::State::Pending, 1, lines, m_error) &&
                    m_spool->beginPass(u"Backup.txt"_s, pass, m_error) &&
                    m_spool->record({{lines.value(0).id, Spool::State::Posted, {}, 0, {}, 0}}, pass,
                                    false, m_error) &&
                    m_spool->endPass(pass, m_error) &&
                    m_spool->prune(QDateTime::currentDateTime().addDays(1), m_error) &&
                    m_spool->count(Spool::State::Posted, left, m_error) && left == 0);
            keys.append(m_spool->key(lines.value(0)));
        }
        const QString a = keys[0].left(32), b = keys[2].left(32);
        QVERIFY(a != b && QRegularExpression(u"^[0-9a-f]{32}$"_s).match(a).hasMatch());
        const auto key = [](const QString& identity, const QString& hhmm, int id) {
            const qint64 moment = records(hhmm).value(0).moment();
            return u"%1-%2-%3"_s.arg(identity).arg(moment, 8, 10, QChar(u'0')).arg(id);
        };
        QCOMPARE(keys,
                 (QStringList{key(a, u"0800"_s, 1), key(a, u"0900"_s, 2), key(b, u"1000"_s, 1)}));
    }

    // The native code is the number; without one, a failed connection or statement
    // has the platform's generic number. The text is the database's, else the driver's.
    void failuresThatHoldThePosting_data()
    {
        QTest::addColumn<QString>("failure"); // server, link or statement, native code
        QTest::addColumn<QString>("error");
        const auto row = [](const char* name, const char* failure, const char* error) {
            QTest::newRow(name) << QString::fromLatin1(failure) << QString::fromLatin1(error);
        };
        row("SQLite busy, extended", "SQLite link 517", "517 held database");
        row("SQLite cannot open", "SQLite link", "-2147467259 held driver");
        row("SQLite no code", "SQLite statement", "-2147217900 refused driver");
        row("PostgreSQL link lost", "PostgreSQL statement 08006", "8006 held database");
        row("PostgreSQL check", "PostgreSQL statement 23514", "23514 refused database");
        row("PostgreSQL deadlock", "PostgreSQL statement 40P01", "-2147217900 held database");
        row("PostgreSQL cannot connect", "PostgreSQL link", "-2147467259 held driver");
        row("SQL Server deadlock", "SqlServer statement 1205", "1205 held database");
        row("SQL Server code 0", "SqlServer statement 0", "-2147217900 refused database");
    }

    void failuresThatHoldThePosting()
    {
        QFETCH(QString, failure);
        QFETCH(QString, error);
        const QStringList f = failure.split(u' ');
        const QString code = f.value(2);
        const QSqlError sqlError(
            u"driver\n "_s, code.isEmpty() ? QString() : u" database\n"_s,
            f[1] == u"link"_s ? QSqlError::ConnectionError : QSqlError::StatementError, code);
        const auto server = QStringList{u"SQLite"_s, u"PostgreSQL"_s, u"SqlServer"_s}.indexOf(f[0]);
        const Error e = SqlError::toError(sqlError, DatabaseTarget::Server(server));
        QCOMPARE(u"%1 %2 %3"_s.arg(e.number).arg(e.unreachable ? u"held"_s : u"refused"_s,
                                                 e.description),
                 error);
    }

private:
    std::unique_ptr<Spool> m_spool;
    Error m_error;
};

QTEST_GUILESS_MAIN(TestSpool)
#include "tst_spool.moc"
