#include "app/recordwriter.h"
#include "support/serverfixture.h"
#include "version.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void completeWorkspaceStarts();
    void failingStepEndsStartupWithItsText_data();
    void failingStepEndsStartupWithItsText();
    void missingSetFolderIsClearErrorAndCreatesNothing();
    void missingTerminalFilesAreCreatedWithDefaults();
    void secondStartLeavesExistingFiles();
    void serverAddressFillsLabels_data();
    void serverAddressFillsLabels();
    void titleCountsPorts_data();
    void titleCountsPorts();
    void terminalTableFillsSlotsInFileOrder();
    void quotedFolderWithCommaIsWhole();
    void shutdownStopsServiceAndMayRunTwice();

private:
    bool start() { return m_fixture->start(); }
    QStringList logLines() const { return m_fixture->logLines(); }

    std::unique_ptr<ServerFixture> m_fixture;
    TempWorkspace* m_workspace = nullptr;
    FakeNetworkControl* m_control = nullptr;
    TerminalRegistry* m_registry = nullptr;
};

void TestStartup::init()
{
    m_fixture = std::make_unique<ServerFixture>(QList<QStringList>{
        {u"1"_s, u"127.0.0.11"_s}, {u"2"_s, u"127.0.0.12"_s}, {u"3"_s, u"127.0.0.13"_s}});
    m_workspace = &m_fixture->workspace;
    m_control = &m_fixture->control;
    m_registry = &m_fixture->registry;
}

void TestStartup::completeWorkspaceStarts()
{
    QVERIFY(start());
    const Settings& settings = m_fixture->server->settings();
    QCOMPARE(settings.CartellaRegistro, u"Log"_s);
    QCOMPARE(settings.CartellaOre, u"."_s);
    QCOMPARE(settings.CartellaBackup, u"Backup"_s);
    QCOMPARE(settings.NumTerminali, 3);
    QCOMPARE(settings.StringaConn, u"Provider=SQLite;Data Source=parvix.db"_s);
    QCOMPARE(settings.ModoTarga, u"TARGA"_s);
    QCOMPARE(settings.NumFiliale, qint16(1));
    QCOMPARE(m_registry->table.IPTerminale[2], u"127.0.0.13"_s);
    QCOMPARE(m_fixture->server->title(),
             u"Parvix (SQL Server) Rev. %1 - 3 porte"_s.arg(Version::Revision));
    QCOMPARE(m_control->operations().first(), u"StartService"_s);
    QVERIFY(!m_workspace->exists(u"SORTORA.BAT"_s));
    // From now on the log lives where the workspace says.
    m_fixture->server->log().LogFile(u"hello"_s);
    QCOMPARE(logLines().size(), 1);
}

void TestStartup::failingStepEndsStartupWithItsText_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content"); // empty: the file is removed
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("serviceStarted");

    QTest::newRow("no workspace")
        << u"Set/Workspace.set"_s << QByteArray()
        << u"Errore #Apertura Workspace  53 verificato: Impossibile trovare il file"_s << false;
    QTest::newRow("short workspace")
        << u"Set/Workspace.set"_s << QByteArray("a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q\r\n")
        << u"Errore #Apertura Workspace  62 verificato: Input oltre la fine del file"_s << false;
    QTest::newRow("five-part server address")
        << u"Set/ParvixSrv.set"_s << QByteArray("1.2.3.4.5")
        << u"Errore #ParvixSrv.set  340 verificato: Elemento della matrice di controlli inesistente"_s
        << true;
    QTest::newRow("short terminal count")
        << u"Set/ParvixIP.set"_s << QByteArray("3, 0\r\n")
        << u"Errore #ParvixIP.set  62 verificato: Input oltre la fine del file"_s << true;
    QTest::newRow("terminal count not a number")
        << u"Set/ParvixIP.set"_s << QByteArray("tre,0,0")
        << u"Errore #ParvixIP.set  13 verificato: Tipo non corrispondente"_s << true;
    QTest::newRow("switch overflows") << u"Set/ParvixIP.set"_s << QByteArray("3, 99999, 0")
                                      << u"Errore #ParvixIP.set  6 verificato: Overflow"_s << true;
    QTest::newRow("no connection")
        << u"Set/Connection.set"_s << QByteArray()
        << u"Errore #Apertura Connect Sql  53 verificato: Impossibile trovare il file"_s << true;
    QTest::newRow("no Ore.dat")
        << u"Ore.dat"_s << QByteArray()
        << u"Errore #Apertura OreDat  53 verificato: Impossibile trovare il file"_s << true;
    QTest::newRow("short Ore.dat")
        << u"Ore.dat"_s << QByteArray("1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18")
        << u"Errore #Apertura OreDat  62 verificato: Input oltre la fine del file"_s << true;
    QTest::newRow("no branch")
        << u"Set/Filiale.set"_s << QByteArray()
        << u"Errore #Apertura Filiale  53 verificato: Impossibile trovare il file"_s << true;
    QTest::newRow("empty branch")
        << u"Set/Filiale.set"_s << QByteArray("\r\n")
        << u"Errore #Apertura Filiale  62 verificato: Input oltre la fine del file"_s << true;
    QTest::newRow("terminal table is a folder")
        << u"Set/ParvixHost.set/x"_s << QByteArray("x")
        << u"Errore #ParvixHost.set  75 verificato: Errore di accesso al percorso/file"_s << true;
}

void TestStartup::failingStepEndsStartupWithItsText()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, text);
    QFETCH(bool, serviceStarted);
    if (file.endsWith(u"/x"_s))
        m_workspace->remove(u"Set/ParvixHost.set"_s);
    if (content.isEmpty())
        m_workspace->remove(file);
    else
        m_workspace->write(file, content);

    QVERIFY(!start());
    QCOMPARE(m_fixture->server->startupFailure(), text);
    // Before the workspace is read the log has no folder yet: the working directory.
    const QStringList lines =
        file == u"Set/Workspace.set"_s ? m_workspace->lines(u"RegistroQZ.txt"_s) : logLines();
    QCOMPARE(lines.size(), 1);
    QVERIFY(lines.first().endsWith(u' ' + text));
    QCOMPARE(m_control->operations().contains(u"StartService"_s), serviceStarted);
    QVERIFY(!m_control->operations().contains(u"StopService"_s));
}

void TestStartup::missingSetFolderIsClearErrorAndCreatesNothing()
{
    m_workspace->remove(u"Set"_s);
    QVERIFY(!start());
    QCOMPARE(m_fixture->server->startupFailure(),
             u"Errore #Apertura Workspace  76 verificato: Impossibile trovare il percorso"_s);
    QVERIFY(!m_workspace->exists(u"Set"_s));
}

void TestStartup::missingTerminalFilesAreCreatedWithDefaults()
{
    m_workspace->remove(u"Set/ParvixIP.set"_s);
    m_workspace->remove(u"Set/ParvixHost.set"_s);
    QVERIFY(start());
    QCOMPARE(m_workspace->read(u"Set/ParvixIP.set"_s), QByteArray("3, 0, 0\r\n"));
    QCOMPARE(m_workspace->read(u"Set/ParvixHost.set"_s), QByteArray("\"1\",\"192.168.1.100\"\r\n"));
    QCOMPARE(m_fixture->server->settings().NumTerminali, 3);
    QCOMPARE(m_fixture->server->settings().PresAuto, qint16(0));
    QCOMPARE(m_registry->table.number(0), 1);
    QCOMPARE(m_registry->table.IPTerminale[0], u"192.168.1.100"_s);
    QVERIFY(m_registry->table.IPTerminale[1].isEmpty());
    QVERIFY(logLines().isEmpty());
}

void TestStartup::secondStartLeavesExistingFiles()
{
    m_workspace->write(u"Set/ParvixIP.set"_s, "2\r\n1\r\n1\r\n");
    QVERIFY(start());
    QVERIFY(start());
    QCOMPARE(m_workspace->read(u"Set/ParvixIP.set"_s), QByteArray("2\r\n1\r\n1\r\n"));
    QCOMPARE(m_workspace->lines(u"Set/ParvixHost.set"_s).size(), 3);
    QCOMPARE(m_fixture->server->settings().PresAutoFine, qint16(1));
}

void TestStartup::serverAddressFillsLabels_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: the file is removed
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<bool>("askedNetwork");
    QTest::newRow("from the file")
        << QByteArray("\"127.0.0.1\"") << QStringList{u"127"_s, u"0"_s, u"0"_s, u"1"_s} << false;
    QTest::newRow("no file") << QByteArray() << QStringList{u"127"_s, u"0"_s, u"0"_s, u"5"_s}
                             << true;
    QTest::newRow("empty file") << QByteArray("\r\n")
                                << QStringList{u"127"_s, u"0"_s, u"0"_s, u"5"_s} << true;
    QTest::newRow("three parts") << QByteArray("10.1.2") << QStringList{u"10"_s, u"1"_s, u"2"_s}
                                 << false;
}

void TestStartup::serverAddressFillsLabels()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, labels);
    QFETCH(bool, askedNetwork);
    if (content.isEmpty())
        m_workspace->remove(u"Set/ParvixSrv.set"_s);
    else
        m_workspace->write(u"Set/ParvixSrv.set"_s, content);
    m_control->setLocalAddress(u"127.0.0.5"_s);
    QVERIFY(start());
    QCOMPARE(m_fixture->server->addressLabels(), labels);
    QCOMPARE(m_control->operations().contains(u"LocalAddress"_s), askedNetwork);
    // The service is started before the network is asked for the address.
    QCOMPARE(m_control->operations().first(), u"StartService"_s);
}

void TestStartup::titleCountsPorts_data()
{
    QTest::addColumn<QByteArray>("count");
    QTest::addColumn<QString>("ending");
    QTest::newRow("none") << QByteArray("0,0,0") << u" - 0 porte"_s;
    QTest::newRow("one") << QByteArray("1,0,0") << u" - 1 porta"_s;
    QTest::newRow("two") << QByteArray("2,0,0") << u" - 2 porte"_s;
}

void TestStartup::titleCountsPorts()
{
    QFETCH(QByteArray, count);
    QFETCH(QString, ending);
    m_workspace->write(u"Set/ParvixIP.set"_s, count);
    QVERIFY(start());
    QCOMPARE(m_fixture->server->title(),
             u"Parvix (SQL Server) Rev. "_s + QString::number(Version::Revision) + ending);
}

void TestStartup::terminalTableFillsSlotsInFileOrder()
{
    QByteArray table;
    for (int record = 0; record < 25; ++record)
        table += RecordWriter::quotedRecord(
            {QString::number(record == 0 ? 5 : record + 20), u"127.0.0.%1"_s.arg(record + 11)});
    m_workspace->write(u"Set/ParvixHost.set"_s, table + "\"99\"");
    QVERIFY(start());
    QCOMPARE(m_registry->table.number(0), 5);
    QCOMPARE(m_registry->table.IPTerminale[0], u"127.0.0.11"_s);
    QCOMPARE(m_registry->table.IPTerminale[20], u"127.0.0.31"_s);
    QCOMPARE(m_registry->table.NumTerminale[20], u"40"_s);

    // A short table leaves later slots empty, and a broken last record is passed over.
    m_registry->table = TerminalTable();
    m_workspace->write(u"Set/ParvixHost.set"_s, "\"1\",\"127.0.0.11\"\r\n\"2\"");
    QVERIFY(start());
    QCOMPARE(m_registry->table.IPTerminale[0], u"127.0.0.11"_s);
    QVERIFY(m_registry->table.NumTerminale[1].isEmpty());
    QVERIFY(!m_registry->table.isActive(1));
}

void TestStartup::quotedFolderWithCommaIsWhole()
{
    QStringList workspace(18, u"x"_s);
    workspace[2] = u"Log, old"_s;
    workspace[3] = u"."_s;
    workspace[6] = u"Backup"_s;
    m_workspace->write(u"Set/Workspace.set"_s, RecordWriter::quotedRecord(workspace));
    QDir(m_workspace->path()).mkpath(u"Log, old"_s);
    QVERIFY(start());
    QCOMPARE(m_fixture->server->settings().CartellaRegistro, u"Log, old"_s);
    m_fixture->server->log().LogFile(u"x"_s);
    QVERIFY(m_workspace->exists(u"Log, old/RegistroQZ.txt"_s));
}

void TestStartup::shutdownStopsServiceAndMayRunTwice()
{
    QVERIFY(start());
    m_control->clearCalls();
    m_fixture->server->shutdown();
    m_fixture->server->shutdown();
    QCOMPARE(m_control->operations(), (QStringList{u"StopService"_s, u"StopService"_s}));
    QVERIFY(!m_control->running());
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
