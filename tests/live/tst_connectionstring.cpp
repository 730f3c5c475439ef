#include "live/connectionstring.h"

#include <QtTest>

using namespace Qt::StringLiterals;

using Backend = DatabaseTarget::Backend;

class TestConnectionString : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void translatesSiteForms_data();
    void translatesSiteForms();
    void postgreSQLKeepsItsParts();
    void sqliteFileIsAnchoredAndNeverCreated();
    void unknownFormsSayWhy_data();
    void unknownFormsSayWhy();
    void timeoutsAreReadOnEveryBackend_data();
    void timeoutsAreReadOnEveryBackend();
};

void TestConnectionString::translatesSiteForms_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("odbc");

    QTest::newRow("SQLOLEDB with login")
        << u"Provider=SQLOLEDB.1;Data Source=SERVER01;Initial Catalog=Produzione;User ID=sa;Password=se;cret"_s
        << u"Driver={FreeTDS};Server=SERVER01;Database={Produzione};UID={sa};PWD={se};TDS_Version=7.4;"_s;
    QTest::newRow("SQLNCLI with integrated security and a port")
        << u"Provider=SQLNCLI11;Integrated Security=SSPI;Initial Catalog=Prod;Data Source=sqlsrv01,1433"_s
        << u"Driver={FreeTDS};Server=sqlsrv01;Port=1433;Database={Prod};Trusted_Connection=yes;TDS_Version=7.4;"_s;
    QTest::newRow("MSOLEDBSQL with the Microsoft driver")
        << u"Provider=MSOLEDBSQL;Driver=ODBC Driver 18 for SQL Server;Data Source=srv\\SQLEXPRESS;"
           "Initial Catalog=Prod;User ID=parvix;Password=x;TrustServerCertificate=yes"_s
        << u"Driver={ODBC Driver 18 for SQL "
           u"Server};Server=srv\\SQLEXPRESS;Database={Prod};UID={parvix};"
           "PWD={x};TrustServerCertificate=yes;"_s;
    QTest::newRow("password in quotes keeps its semicolon")
        << u"Provider=SQLOLEDB;Data Source=S;User ID=u;Password=\"a;b\""_s
        << u"Driver={FreeTDS};Server=S;UID={u};PWD={a;b};TDS_Version=7.4;"_s;
    QTest::newRow("ODBC as it stands")
        << u"Driver={PostgreSQL Unicode};Server=127.0.0.1;Database=x;"_s
        << u"Driver={PostgreSQL Unicode};Server=127.0.0.1;Database=x;"_s;
    QTest::newRow("DSN") << u"DSN=Presenze;UID=a;PWD=b"_s << u"DSN=Presenze;UID=a;PWD=b"_s;
}

void TestConnectionString::translatesSiteForms()
{
    QFETCH(QString, text);
    QFETCH(QString, odbc);
    const DatabaseTarget target = DatabaseTarget::fromConnectionString(text, u"/srv"_s);
    QCOMPARE(target.backend, Backend::Odbc);
    QCOMPARE(target.driver, u"QODBC"_s);
    QCOMPARE(target.databaseName, odbc);
    QVERIFY(target.options.contains(u"SQL_ATTR_LOGIN_TIMEOUT="_s));
}

void TestConnectionString::postgreSQLKeepsItsParts()
{
    const DatabaseTarget target = DatabaseTarget::fromConnectionString(
        u"Provider=PostgreSQL;Host=127.0.0.1;Port=55432;Database=parvix;User ID=ufficio;Password=pw"_s,
        u"/srv"_s);
    QCOMPARE(target.backend, Backend::PostgreSQL);
    QCOMPARE(target.driver, u"QPSQL"_s);
    QCOMPARE(target.host, u"127.0.0.1"_s);
    QCOMPARE(target.port, 55432);
    QCOMPARE(target.databaseName, u"parvix"_s);
    QCOMPARE(target.user, u"ufficio"_s);
    QCOMPARE(target.password, u"pw"_s);
    QVERIFY(target.options.startsWith(u"connect_timeout="_s));
}

void TestConnectionString::sqliteFileIsAnchoredAndNeverCreated()
{
    const DatabaseTarget target = DatabaseTarget::fromConnectionString(
        u"Provider=SQLite;Data Source=parvix.db"_s, u"/srv/site"_s);
    QCOMPARE(target.backend, Backend::SQLite);
    QCOMPARE(target.databaseName, u"file:///srv/site/parvix.db?mode=rw"_s);
    QVERIFY(target.options.contains(u"QSQLITE_OPEN_URI"_s));
}

void TestConnectionString::unknownFormsSayWhy_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("problem");
    QTest::newRow("other provider") << u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x.mdb"_s
                                    << u"Provider non supportato: Microsoft.Jet.OLEDB.4.0"_s;
    QTest::newRow("nothing usable")
        << u"Data Source=x"_s << u"Stringa di connessione senza Provider, Driver o DSN"_s;
    QTest::newRow("empty") << QString() << u"Stringa di connessione senza Provider, Driver o DSN"_s;
}

void TestConnectionString::unknownFormsSayWhy()
{
    QFETCH(QString, text);
    QFETCH(QString, problem);
    const DatabaseTarget target = DatabaseTarget::fromConnectionString(text, u"/srv"_s);
    QCOMPARE(target.backend, Backend::Unknown);
    QCOMPARE(target.problem, problem);
}

void TestConnectionString::timeoutsAreReadOnEveryBackend_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("connect");
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("option"); // what the driver is told
    QTest::newRow("defaults") << u"Provider=PostgreSQL;Host=h;Database=d"_s << 5 << 30
                              << u"connect_timeout=5;"_s;
    QTest::newRow("PostgreSQL")
        << u"Provider=PostgreSQL;Host=h;Connect Timeout=7;Command Timeout=9"_s << 7 << 9
        << u"connect_timeout=7;"_s;
    QTest::newRow("SQL Server") << u"Provider=SQLOLEDB;Data Source=S;Connect Timeout=3"_s << 3 << 30
                                << u"SQL_ATTR_LOGIN_TIMEOUT=3;"_s;
    QTest::newRow("ODBC as it stands, the keys taken out")
        << u"Driver={PostgreSQL Unicode};Server=s;Command Timeout=2;Database=x"_s << 5 << 2
        << u"SQL_ATTR_LOGIN_TIMEOUT=5;"_s;
    QTest::newRow("SQLite waits 5 s for a lock at most")
        << u"Provider=SQLite;Data Source=p.db;Command Timeout=2"_s << 5 << 2
        << u"QSQLITE_BUSY_TIMEOUT=2000"_s;
    QTest::newRow("nonsense keeps the default")
        << u"Provider=PostgreSQL;Host=h;Command Timeout=soon;Connect Timeout=-1"_s << 5 << 30
        << u"connect_timeout=5;"_s;
}

void TestConnectionString::timeoutsAreReadOnEveryBackend()
{
    QFETCH(QString, text);
    QFETCH(int, connect);
    QFETCH(int, command);
    QFETCH(QString, option);
    const DatabaseTarget target = DatabaseTarget::fromConnectionString(text, u"/srv"_s);
    QCOMPARE(target.connectTimeout, connect);
    QCOMPARE(target.commandTimeout, command);
    QVERIFY2(target.options.contains(option), qPrintable(target.options));
    QVERIFY(!target.databaseName.contains(u"Timeout"_s, Qt::CaseInsensitive));
}

QTEST_APPLESS_MAIN(TestConnectionString)
#include "tst_connectionstring.moc"
