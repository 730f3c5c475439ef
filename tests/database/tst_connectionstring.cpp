#include "database/connectionstring.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestConnectionString : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What the driver is given: backend, server, Qt driver | database | host | port | user |
    // password | options | time-outs | why the string is not understood.
    void translatesSiteForms_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("target");
        QTest::newRow("SQLOLEDB: FreeTDS, port apart, quoted password, connect time-out")
            << u"Provider=SQLOLEDB.1;Data Source=SRV01,1433;Initial Catalog=Prod;User ID=sa;"
               "Password=\"se;cret\";Connect Timeout=3"_s
            << u"2 2 QODBC|Driver={FreeTDS};Server=SRV01;Port=1433;Database={Prod};UID={sa};"
               "PWD={se;cret};TDS_Version=7.4;||-1|||SQL_ATTR_LOGIN_TIMEOUT=3;"
               "SQL_ATTR_CONNECTION_TIMEOUT=3|3 30|"_s;
        QTest::newRow("MSOLEDBSQL: its driver, integrated security, a time-out too long")
            << u"Provider=MSOLEDBSQL;Driver=ODBC Driver 18;Data Source=srv\\SQLEXPRESS,1433;"
               "Integrated Security=SSPI;Encrypt=yes;TrustServerCertificate=yes;"
               "Connection Timeout=9999"_s
            << u"2 2 QODBC|Driver={ODBC Driver "
               u"18};Server=srv\\SQLEXPRESS,1433;Trusted_Connection=yes;"
               "Encrypt=yes;TrustServerCertificate=yes;||-1|||SQL_ATTR_LOGIN_TIMEOUT=3600;"
               "SQL_ATTR_CONNECTION_TIMEOUT=3600|3600 30|"_s;
        QTest::newRow("SQLNCLI") << u"Provider=SQLNCLI11;Data Source=s;Integrated Security=SSPI"_s
                                 << u"2 2 QODBC|Driver={FreeTDS};Server=s;Trusted_Connection=yes;"
                                    "TDS_Version=7.4;||-1|||SQL_ATTR_LOGIN_TIMEOUT=5;"
                                    "SQL_ATTR_CONNECTION_TIMEOUT=5|5 30|"_s;
        QTest::newRow("ODBC as it stands, the time-out keys taken out, nonsense ones ignored")
            << u"Driver={PostgreSQL Unicode};Server=127.0.0.1;Command Timeout=soon;Database=x;"
               "Connect Timeout=0"_s
            << u"2 1 QODBC|Driver={PostgreSQL Unicode};Server=127.0.0.1;Database=x||-1|||"
               "SQL_ATTR_LOGIN_TIMEOUT=5;SQL_ATTR_CONNECTION_TIMEOUT=5|5 30|"_s;
        QTest::newRow("DSN without a driver")
            << u"DSN=Presenze;UID=a"_s
            << u"2 2 QODBC|DSN=Presenze;UID=a||-1|||SQL_ATTR_LOGIN_TIMEOUT=5;"
               "SQL_ATTR_CONNECTION_TIMEOUT=5|5 30|"_s;
        QTest::newRow("PostgreSQL keeps its parts")
            << u"Provider=PostgreSQL;Host=127.0.0.1;Port=55432;Database=parvix;User ID=ufficio;"
               "Password=pw;Connect Timeout=7;Command Timeout=9"_s
            << u"3 1 QPSQL|parvix|127.0.0.1|55432|ufficio|pw|connect_timeout=7;keepalives=1;"
               "keepalives_idle=30;keepalives_interval=10;keepalives_count=3|7 9|"_s;
        // Anchored in the working directory, never created, a lock waited for 5 s at most.
        QTest::newRow("SQLite file") << u"Provider=SQLite;Data Source=parvix.db;Command Timeout=2"_s
                                     << u"1 0 QSQLITE|file:///srv/site/parvix.db?mode=rw||-1|||"
                                        "QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=2000|5 2|"_s;
        QTest::newRow("other provider")
            << u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x.mdb"_s
            << u"0 2 |||-1||||5 30|Provider non supportato: Microsoft.Jet.OLEDB.4.0"_s;
        QTest::newRow("nothing usable")
            << u"Data Source=x"_s
            << u"0 2 |||-1||||5 30|Stringa di connessione senza Provider, Driver o DSN"_s;
    }

    void translatesSiteForms()
    {
        QFETCH(QString, text);
        QFETCH(QString, target);
        const auto t = DatabaseTarget::fromConnectionString(text, u"/srv/site"_s);
        QCOMPARE((QStringList{u"%1 %2 %3"_s.arg(int(t.backend)).arg(int(t.server)).arg(t.driver),
                              t.databaseName, t.host, QString::number(t.port), t.user, t.password,
                              t.options, u"%1 %2"_s.arg(t.connectTimeout).arg(t.commandTimeout),
                              t.problem})
                     .join(u'|'),
                 target);
    }
};

QTEST_APPLESS_MAIN(TestConnectionString)
#include "tst_connectionstring.moc"
