#include "live/sqlerror.h"
#include "spool/spool.h"

#include <QSqlError>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

CollectedTransit transit(const QString& hhmm, qint64 terminal = 1)
{
    return {terminal, u"127.0.0.11"_s,
            QChar(2) + hhmm + u"000512260042#C00001000000000"_s + QChar(3)};
}

} // namespace

// The spool's own rules, without a server: what a terminal still holds, keys
// that never repeat, and which database failures hold a posting.
class TestSpool : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void heldRecordsAreSkippedOnlyWhole_data();
    void heldRecordsAreSkippedOnlyWhole();
    void keysNeverRepeat();
    void failuresThatHoldThePosting_data();
    void failuresThatHoldThePosting();

private:
    bool open();

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<Spool> m_spool;
};

void TestSpool::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    m_spool = std::make_unique<Spool>(m_folder->filePath(u"Scarico.db"_s));
    QVERIFY(open());
}

void TestSpool::cleanup()
{
    m_spool.reset();
    m_folder.reset();
}

bool TestSpool::open()
{
    bool created = false;
    Error error;
    return m_spool->open({}, created, error);
}

void TestSpool::heldRecordsAreSkippedOnlyWhole_data()
{
    QTest::addColumn<QStringList>("held");    // the listing whose deletion was not confirmed
    QTest::addColumn<int>("heldBy");          // the terminal that listed it
    QTest::addColumn<QStringList>("listing"); // terminal 1's new listing
    QTest::addColumn<int>("skipped");
    const QStringList ab{u"0800"_s, u"0900"_s};
    QTest::newRow("same records and one more") << ab << 1 << (ab + QStringList{u"1000"_s}) << 2;
    QTest::newRow("the same records only") << ab << 1 << ab << 2;
    QTest::newRow("a new file") << ab << 1 << QStringList{u"1000"_s} << 0;
    QTest::newRow("fewer records: the file was deleted") << ab << 1 << QStringList{u"0800"_s} << 0;
    QTest::newRow("another terminal's listing") << ab << 2 << ab << 0;
    QTest::newRow("nothing held") << QStringList() << 1 << ab << 0;
}

void TestSpool::heldRecordsAreSkippedOnlyWhole()
{
    QFETCH(QStringList, held);
    QFETCH(int, heldBy);
    QFETCH(QStringList, listing);
    QFETCH(int, skipped);
    const auto records = [](const QStringList& times, int terminal) {
        QList<CollectedTransit> list;
        for (const QString& hhmm : times)
            list.append(transit(hhmm, terminal));
        return list;
    };
    Error error;
    QVERIFY(m_spool->storeListing(qint16(heldBy), records(held, heldBy), 0, {}, {}, 0, error));
    qsizetype count = -1;
    QVERIFY(m_spool->alreadyCollected(1, records(listing, 1), count, error));
    QCOMPARE(count, skipped);
    // Once the terminal confirms its deletion, nothing it lists is held.
    QVERIFY(m_spool->confirmDeletion(qint16(heldBy), error));
    QVERIFY(m_spool->alreadyCollected(1, records(listing, 1), count, error));
    QCOMPARE(count, 0);
}

// Line keys go on growing after lines are let go, and a spool made anew has
// another identity: a key names one transit for ever.
void TestSpool::keysNeverRepeat()
{
    Error error;
    const auto postOne = [&](const QString& hhmm) {
        QList<Spool::Line> lines;
        qint64 pass = 0;
        if (!m_spool->storeListing(1, {transit(hhmm)}, 0, {transit(hhmm)}, {}, 0, error) ||
            !m_spool->lines(Spool::State::Pending, 10, lines, error) || lines.size() != 1 ||
            !m_spool->beginPass(u"Backup.txt"_s, pass, error) ||
            !m_spool->record({{lines[0].id, Spool::State::Posted, {}, 0, {}}}, pass, false,
                             error) ||
            !m_spool->endPass(pass, error))
            return QString();
        return m_spool->key(lines[0]);
    };
    QStringList keys{postOne(u"0800"_s)};
    QVERIFY(m_spool->prune(QDateTime::currentDateTime().addDays(1), error));
    keys.append(postOne(u"0900"_s));
    m_spool->close();
    QVERIFY(QFile::remove(m_folder->filePath(u"Scarico.db"_s)));
    QVERIFY(open());
    keys.append(postOne(u"1000"_s));
    QCOMPARE(keys.size(), 3);
    QVERIFY(!keys.contains(QString()));
    QCOMPARE(QSet<QString>(keys.begin(), keys.end()).size(), 3);
    QVERIFY(keys[0].section(u'-', -1).toInt() < keys[1].section(u'-', -1).toInt());
    QCOMPARE(keys[0].section(u'-', 0, 0), keys[1].section(u'-', 0, 0));
    QVERIFY(keys[1].section(u'-', 0, 0) != keys[2].section(u'-', 0, 0));
    QVERIFY(keys[2].size() <= 64);
    qint64 left = -1;
    QVERIFY(m_spool->count(Spool::State::Posted, left, error));
    QCOMPARE(left, 1);
}

void TestSpool::failuresThatHoldThePosting_data()
{
    QTest::addColumn<int>("server");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("holds");
    const int sqlite = int(DatabaseTarget::Server::SQLite);
    const int postgres = int(DatabaseTarget::Server::PostgreSQL);
    const int sqlServer = int(DatabaseTarget::Server::SqlServer);
    const int connection = QSqlError::ConnectionError;
    const int statement = QSqlError::StatementError;
    QTest::newRow("SQLite busy") << sqlite << connection << u"5"_s << true;
    QTest::newRow("SQLite file gone") << sqlite << connection << u"14"_s << true;
    QTest::newRow("SQLite disk full") << sqlite << statement << u"13"_s << true;
    QTest::newRow("SQLite trigger (extended code)") << sqlite << connection << u"1811"_s << false;
    QTest::newRow("SQLite constraint") << sqlite << statement << u"19"_s << false;
    QTest::newRow("PostgreSQL link lost") << postgres << statement << u"08006"_s << true;
    QTest::newRow("PostgreSQL deadlock") << postgres << statement << u"40P01"_s << true;
    QTest::newRow("PostgreSQL serialization") << postgres << statement << u"40001"_s << true;
    QTest::newRow("PostgreSQL statement time-out") << postgres << statement << u"57014"_s << true;
    QTest::newRow("PostgreSQL check violation") << postgres << statement << u"23514"_s << false;
    QTest::newRow("PostgreSQL cannot connect") << postgres << connection << QString() << true;
    QTest::newRow("SQL Server deadlock victim") << sqlServer << statement << u"1205"_s << true;
    QTest::newRow("SQL Server link (ODBC)") << sqlServer << statement << u"08S01"_s << true;
    QTest::newRow("SQL Server query time-out") << sqlServer << statement << u"HYT00"_s << true;
    QTest::newRow("SQL Server overflow") << sqlServer << statement << u"220"_s << false;
}

void TestSpool::failuresThatHoldThePosting()
{
    QFETCH(int, server);
    QFETCH(int, type);
    QFETCH(QString, code);
    QFETCH(bool, holds);
    const QSqlError error(u"driver"_s, u"database"_s, QSqlError::ErrorType(type), code);
    QCOMPARE(SqlError::toError(error, DatabaseTarget::Server(server)).unreachable, holds);
}

QTEST_GUILESS_MAIN(TestSpool)
#include "tst_spool.moc"
