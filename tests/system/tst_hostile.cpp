#include "support/freeport.h"
#include "support/processlines.h"
#include "support/simulatedterminals.h"
#include "support/tempworkspace.h"
#include "support/testdatabase.h"

#include <QDir>
#include <QProcess>
#include <QTcpSocket>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

int openDescriptors(qint64 pid)
{
    return QDir(u"/proc/%1/fd"_s.arg(pid)).entryList(QDir::NoDotAndDotDot).size();
}

std::unique_ptr<QTcpSocket> connectFrom(const QString& address, quint16 port)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->bind(QHostAddress(address));
    socket->connectToHost(QHostAddress::LocalHost, port);
    return socket;
}

} // namespace

// Hostile peers on the server's port while a real terminal keeps reading.
class TestHostile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void realTerminalIsServedThroughout();

private:
    void readConfirmed(SimulatedTerminals& terminal, int round);
};

void TestHostile::readConfirmed(SimulatedTerminals& terminal, int round)
{
    terminal.send("read 1 0042 #C 1 0 " + QByteArray::number(800 + round) + " 061226\n");
    QVERIFY2(terminal.output().waitFor(u"127.0.0.11 display: KTessera n. 42|"_s, round),
             qPrintable(u"read %1 not confirmed"_s.arg(round)));
}

void TestHostile::realTerminalIsServedThroughout()
{
    TempWorkspace workspace;
    SimulatedTerminals terminal;
    QVERIFY(terminal.start(workspace, {u"127.0.0.11=1"_s}));
    // Terminal 2 is in the table but never answers: its address is the hostile one.
    workspace.writeCompleteSettings(terminal.table() +
                                    QList<QStringList>{{u"2"_s, u"127.0.0.12:1"_s}});
    TestDatabase database(workspace.path());
    QVERIFY(database.isValid());
    const quint16 port = freeLoopbackPort();
    QProcess server;
    server.setWorkingDirectory(workspace.path());
    server.setStandardOutputFile(QProcess::nullDevice());
    server.start(QString::fromLatin1(PARVIX_BINARY), {u"--headless"_s, u"--time-scale"_s, u"0.01"_s,
                                                      u"--listen-port"_s, QString::number(port)});
    QVERIFY(terminal.output().waitFor(u"127.0.0.11 <- %XI"_s));
    int round = 0;
    readConfirmed(terminal, ++round);
    const int descriptorsBefore = openDescriptors(server.processId());

    // 300 connections from addresses not in the table, as fast as they come.
    std::vector<std::unique_ptr<QTcpSocket>> strangers;
    for (int i = 0; i < 300; ++i)
        strangers.push_back(connectFrom(u"127.0.0.%1"_s.arg(100 + i % 100), port));
    readConfirmed(terminal, ++round);
    QTRY_VERIFY_WITH_TIMEOUT(
        std::all_of(strangers.begin(), strangers.end(),
                    [](const auto& s) { return s->state() == QAbstractSocket::UnconnectedState; }),
        20000);

    // 500 connections from one table address: each replaces the last.
    std::vector<std::unique_ptr<QTcpSocket>> flood;
    for (int i = 0; i < 500; ++i)
        flood.push_back(connectFrom(u"127.0.0.12"_s, port));
    QTRY_VERIFY_WITH_TIMEOUT(flood.back()->state() == QAbstractSocket::ConnectedState, 20000);
    readConfirmed(terminal, ++round);

    // 10 MB without a line end, then hostile records: control bytes, bytes
    // above 127, SQL metacharacters in every field.
    QTcpSocket& peer = *flood.back();
    const QByteArray noLineEnd(10 << 20, 'x');
    for (qsizetype at = 0; at < noLineEnd.size(); at += 1 << 20) {
        peer.write(noLineEnd.mid(at, 1 << 20));
        QTRY_VERIFY_WITH_TIMEOUT(peer.bytesToWrite() == 0, 20000);
    }
    peer.write("\n");
    // Each record is 34 characters, so each reaches the check and its statements:
    // a badge of SQL metacharacters (unknown badge), an order number of them
    // (refused by the strict conversion), control bytes and bytes above 127 in
    // the time (accepted and posted, hour and minute read as 0).
    const QList<QByteArray> records{
        QByteArray("\x02"
                   "0730"
                   "00"
                   "061226"
                   "';--"
                   "#C"
                   "00001"
                   "000000000"
                   "\x03"),
        QByteArray("\x02"
                   "0730"
                   "00"
                   "061226"
                   "0042"
                   "00"
                   "00001"
                   "'; DROP--"
                   "\x03"),
        QByteArray("\x02"
                   "\x01\x7f\xff\xfe"
                   "00"
                   "061226"
                   "0042"
                   "#C"
                   "00001"
                   "000000000"
                   "\x03"),
    };
    for (const QByteArray& record : records) {
        QCOMPARE(record.size(), 34);
        peer.write(record + '\n');
    }
    peer.flush();
    QTRY_VERIFY_WITH_TIMEOUT(peer.bytesAvailable() > 0 || peer.waitForReadyRead(100), 10000);
    readConfirmed(terminal, ++round);
    const QStringList log = workspace.lines(u"Log/RegistroQZ.txt"_s);
    QCOMPARE(log.filter(u" Badge Errato"_s).size(), 1);
    QCOMPARE(log.filter(u" Errore #13 verificato: "_s).size(), 1);
    QCOMPARE(log.filter(u"oltre 4096 byte scartato"_s).size(), 1);

    // A slow peer: one byte at a time.
    for (char byte : QByteArray("0002TRAX\n")) {
        peer.write(&byte, 1);
        peer.flush();
        QTest::qWait(20);
    }
    readConfirmed(terminal, ++round);

    QCOMPARE(database.scalar(u"SELECT COUNT(*) FROM Dipendenti"_s).toInt(), 4);
    QCOMPARE(database.scalar(u"SELECT COUNT(*) FROM Presenze WHERE Terminale = 1"_s).toInt(),
             round);
    QCOMPARE(
        database.scalar(u"SELECT COUNT(*) FROM Presenze WHERE Terminale = 2 AND Ora = 0"_s).toInt(),
        1);
    QVERIFY(server.state() == QProcess::Running);
    strangers.clear();
    flood.clear();
    QTRY_VERIFY_WITH_TIMEOUT(openDescriptors(server.processId()) <= descriptorsBefore + 5, 20000);
    qInfo("figures: hostile inputs: 300 strangers, 500 connections from one address, 10 MB without "
          "LF, "
          "3 hostile records, 1 slow peer; reads confirmed: %d of %d",
          round, round);

    server.terminate();
    QVERIFY(server.waitForFinished(10000));
    QCOMPARE(server.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestHostile)
#include "tst_hostile.moc"
