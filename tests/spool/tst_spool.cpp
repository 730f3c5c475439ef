#include "live/sqlerror.h"
#include "spool/spool.h"
#include "support/testrecord.h"

#include <QSqlError>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

// The spool's own rules, without a server: what a terminal still holds, keys
// that never repeat, and which database failures hold a posting.
class TestSpool : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void heldRecordsAreSkippedOnlyWhole_data();
    void heldRecordsAreSkippedOnlyWhole();
    void keysNeverRepeat();
    void failuresThatHoldThePosting_data();
    void failuresThatHoldThePosting();

private:
    // Records at the given times ("0800 0900"), as a terminal lists them.
    static QList<CollectedTransit> records(const QString& times, qint64 terminal = 1);

    QTemporaryDir m_folder;
    std::unique_ptr<Spool> m_spool;
    Error m_error;
};

QList<CollectedTransit> TestSpool::records(const QString& times, qint64 terminal)
{
    QList<CollectedTransit> list;
    for (const QString& hhmm : times.split(u' ', Qt::SkipEmptyParts))
        list.append({terminal, u"127.0.0.11"_s, TestRecord{.hhmm = hhmm}.text()});
    return list;
}

// Every test on a spool made anew.
void TestSpool::init()
{
    bool created = false;
    m_spool.reset();
    QFile::remove(m_folder.filePath(u"Scarico.db"_s));
    m_spool = std::make_unique<Spool>(m_folder.filePath(u"Scarico.db"_s));
    QVERIFY(m_spool->open({}, created, m_error) && created);
}

void TestSpool::heldRecordsAreSkippedOnlyWhole_data()
{
    QTest::addColumn<int>("heldBy");      // the terminal whose deletion was not confirmed
    QTest::addColumn<QString>("held");    // what it listed then
    QTest::addColumn<QString>("listing"); // terminal 1's new listing
    QTest::addColumn<int>("skipped");
    QTest::newRow("same records and one more") << 1 << u"0800 0900"_s << u"0800 0900 1000"_s << 2;
    QTest::newRow("the same records only") << 1 << u"0800 0900"_s << u"0800 0900"_s << 2;
    QTest::newRow("a new file") << 1 << u"0800 0900"_s << u"1000 0900"_s << 0;
    QTest::newRow("fewer: the file was deleted") << 1 << u"0800 0900"_s << u"0800"_s << 0;
    QTest::newRow("another terminal's") << 2 << u"0800 0900"_s << u"0800 0900"_s << 0;
    QTest::newRow("nothing held") << 1 << QString() << u"0800 0900"_s << 0;
}

void TestSpool::heldRecordsAreSkippedOnlyWhole()
{
    QFETCH(int, heldBy);
    QFETCH(QString, held);
    QFETCH(QString, listing);
    QFETCH(int, skipped);
    QVERIFY(m_spool->storeListing(qint16(heldBy), records(held, heldBy), 0, {}, {}, 0, m_error));
    QList<qsizetype> counts(2, -1);
    QVERIFY(m_spool->alreadyCollected(1, records(listing), counts[0], m_error));
    // Once the terminal confirms its deletion, nothing it lists is held.
    QVERIFY(m_spool->confirmDeletion(qint16(heldBy), m_error));
    QVERIFY(m_spool->alreadyCollected(1, records(listing), counts[1], m_error));
    QCOMPARE(counts, (QList<qsizetype>{skipped, 0}));
}

// A key is the spool's identity, the transit's moment and a line number that goes
// on growing after lines are posted and let go; a spool made anew has another identity.
void TestSpool::keysNeverRepeat()
{
    QStringList keys;
    for (const QString& hhmm : {u"0800"_s, u"0900"_s, u"1000"_s}) {
        if (hhmm == u"1000"_s)
            init();
        QList<Spool::Line> lines;
        qint64 pass = 0;
        qint64 left = -1;
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
    const QString a = keys[0].left(32);
    const QString b = keys[2].left(32);
    QVERIFY(a != b && QRegularExpression(u"^[0-9a-f]{32}$"_s).match(a).hasMatch());
    const auto key = [](const QString& identity, const QString& hhmm, int id) {
        const qint64 moment = records(hhmm).value(0).moment();
        return u"%1-%2-%3"_s.arg(identity).arg(moment, 8, 10, QChar(u'0')).arg(id);
    };
    QCOMPARE(keys, (QStringList{key(a, u"0800"_s, 1), key(a, u"0900"_s, 2), key(b, u"1000"_s, 1)}));
}

// The native code is the number; without one, a failed connection or statement
// has the platform's generic number. The text is the database's, else the driver's.
void TestSpool::failuresThatHoldThePosting_data()
{
    QTest::addColumn<QString>("failure"); // server, link or statement, native code
    QTest::addColumn<QString>("error");
    QTest::newRow("SQLite busy, extended") << u"SQLite link 517"_s << u"517 held database"_s;
    QTest::newRow("SQLite constraint") << u"SQLite statement 19"_s << u"19 refused database"_s;
    QTest::newRow("SQLite cannot open") << u"SQLite link"_s << u"-2147467259 held driver"_s;
    QTest::newRow("SQLite no code") << u"SQLite statement"_s << u"-2147217900 refused driver"_s;
    QTest::newRow("PostgreSQL link lost")
        << u"PostgreSQL statement 08006"_s << u"8006 held database"_s;
    QTest::newRow("PostgreSQL check")
        << u"PostgreSQL statement 23514"_s << u"23514 refused database"_s;
    QTest::newRow("PostgreSQL cannot connect")
        << u"PostgreSQL link"_s << u"-2147467259 held driver"_s;
    QTest::newRow("SQL Server deadlock")
        << u"SqlServer statement 1205"_s << u"1205 held database"_s;
    QTest::newRow("SQL Server code 0")
        << u"SqlServer statement 0"_s << u"-2147217900 refused database"_s;
    QTest::newRow("ODBC time-out")
        << u"SqlServer statement HYT00"_s << u"-2147217900 held database"_s;
}

void TestSpool::failuresThatHoldThePosting()
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
    QCOMPARE(
        u"%1 %2 %3"_s.arg(e.number).arg(e.unreachable ? u"held"_s : u"refused"_s, e.description),
        error);
}

QTEST_GUILESS_MAIN(TestSpool)
#include "tst_spool.moc"
