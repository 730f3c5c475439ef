#include "app/activitylog.h"
#include "app/operatorreport.h"
#include "app/portstatusfile.h"
#include "app/settings.h"
#include "support/fakesite.h"
#include "terminal/connections.h"
#include "terminal/messagedispatch.h"
#include "terminal/terminalcommands.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// 07:30 on 06/12/26, badge 0042, "#A", position 3, order 24 1 00012 0.
const QString Record = QChar(2) + u"0730000612260042#A00003240100012"_s + QChar(3);

void row(const char* name, const QStringList& steps, const QStringList& expected, int count = 3,
         int result = 0)
{
    QTest::newRow(name) << count << result << steps << expected;
}

// The calls of a pass that opens and greets the terminals.
QStringList greeted(const QList<int>& numbers)
{
    QStringList calls;
    for (int n : numbers)
        calls << u"OpenLink 0 127.0.0.%1 X 0"_s.arg(10 + n)
              << u"SendText %1 127.0.0.%2 %XI 3"_s.arg(n).arg(10 + n);
    return calls;
}

// The terminal parts alone, built as the server builds them; the log and the
// port status file in "Log".
struct TerminalParts : FakeSite
{
    TerminalParts()
    {
        log.setLocation(workspace.path(), u"Log"_s);
        portStatus.setLocation(workspace.path(), u"Log"_s);
    }

    Settings settings;
    ActivityLog log{clock, switches};
    OperatorReport report{log, switches};
    PortStatusFile portStatus{clock};
    TerminalCommands commands{registry, control, wait};
    Connections connections{{registry, control, commands, portStatus, report, settings, wait}};
    MessageDispatch dispatch{{registry, control, connections, log, report, switches}};
};

} // namespace

// Terminals 1, 3, 6 and 21 at 127.0.0.(10 + number), in slots 0, 2, 5 and 20; NumTerminali is
// `count`, every OpenLink and SendText gives `result`; Salva Tutto is off. Steps after a first
// pass: "collega", "tick" (Timer4), "restart" (Timer4's count), "connect address", "state state
// address number", "InScarico" (of terminal 1), "OPT1", "link type", "say number text", "Blocca
// number address", "Cancella number address", "later", "registers" (NumCorrente, IPCorrente). What
// they cause, by kind: calls, port status entries, log lines, then the messages handed on ("kind
// number address text") and the echoes.
class TestConnections : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stepsHaveTheirEffects_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("expected");
        const QStringList collega{u"collega"_s};
        const QStringList opened{u"OpenLink 0 127.0.0.11 X 0"_s};
        const QString past = u"Num Term:21 Errore:9 - Indice non compreso nell'intervallo"_s;
        row("Collega past the table names the terminal addressed last", collega,
            greeted({1, 3, 6, 21}) + QStringList{past, past}, 25);
        row("Collega starts the ports afresh; no link, no greeting",
            {u"connect 127.0.0.11"_s, u"collega"_s}, opened, 2, NetworkControl::ServiceStopped);
        const QString bad = u"Num Term:%1 Errore:2 - Indirizzo non valido: 127.0.0.1%1"_s;
        row("Collega goes on past a bad address", collega,
            {opened[0], u"OpenLink 0 127.0.0.13 X 0"_s, bad.arg(1), bad.arg(3), bad.arg(1),
             bad.arg(3)},
            3, NetworkControl::BadAddress);
        row("Collega on every 16th tick, up to the count", QStringList(32, u"tick"_s),
            greeted({1, 3}) + greeted({1, 3}), 5);
        row("a restart counts from 0",
            QStringList(10, u"tick"_s) + QStringList{u"restart"_s} + QStringList(15, u"tick"_s),
            {});
        row("connect: the terminal of the address, else the one addressed last",
            {u"connect 127.0.0.11"_s, u"connect 127.0.0.99"_s},
            {u"[Num: 1 - IP: 127.0.0.11] Connesso"_s, u"[Num: 3 - IP: 127.0.0.99] Connesso"_s});
        row("calling in: entered and linked back", {u"state 3 127.0.0.13:9000 12"_s},
            {u"OpenLink 0 127.0.0.13:9000 X 0"_s, u"[Num: 12 - IP: 127.0.0.13:9000] Connesso"_s}, 3,
            7);
        row("other states change nothing", {u"state 0 127.0.0.13 3"_s, u"state 4 127.0.0.13 3"_s},
            {});
        // A command's terminal is the one addressed last; a refused send stays readable.
        row("Cancella sends a second later, to its own terminal whatever was sent meanwhile",
            {u"Cancella 12 127.0.0.22"_s, u"connect 127.0.0.99"_s, u"Blocca 5 127.0.0.15"_s,
             u"registers"_s, u"connect 127.0.0.98"_s, u"later"_s, u"registers"_s},
            {u"SendText 5 127.0.0.15 CONSIDLE 8"_s, u"SendText 12 127.0.0.22 DEL PASSAGGI 12"_s,
             u"[Num: 12 - IP: 127.0.0.99] Connesso"_s, u"[Num: 5 - IP: 127.0.0.98] Connesso"_s,
             u"5 127.0.0.15"_s, u"12 127.0.0.22"_s},
            3, 4);

        // Messages go where their kind says.
        const QString r = Record;
        const QString live = u"live 1 127.0.0.11 #A"_s + r;
        const QString said = u"[127.0.0.11] Term: 1 - Msg: "_s;
        const auto logged = [said](const char* name, const QString& data) {
            row(name, {u"say 1 "_s + data}, {said + data});
        };
        row("presence in any case, not logged", {u"say 1 abcdtRaX 1"_s},
            {u"[Num: 1 - IP: 127.0.0.11] Connesso"_s});
        row("presence of terminal 0, then its directory reply; no-file reply not logged",
            {u"say 0 DIR TRAX"_s, u"say 1 DIR PASSAGGI ?*"_s},
            {u"[Num: 0 - IP: 127.0.0.10] Connesso"_s, u"dir 0 127.0.0.10 DIR TRAX"_s,
             u"dir 1 127.0.0.11 DIR PASSAGGI ?*"_s});
        row("a directory reply comes before the transfer",
            {u"InScarico"_s, u"say 1  DIR PASSAGGI ?*"_s},
            {said + u" DIR PASSAGGI ?*"_s, u"dir 1 127.0.0.11  DIR PASSAGGI ?*"_s});
        row("the transfer takes the rest", {u"InScarico"_s, u"say 1 "_s + r},
            {said + r, u"transfer 1 127.0.0.11 "_s + r});
        row("a record out of transfer", {u"say 1 "_s + r}, {said + r, live});
        logged("TRAX elsewhere", u"TRAX0TRAX"_s);
        logged("33 characters", r.left(32) + r.back());
        logged("35 characters", r.left(33) + u"0"_s + r.back());
        logged("no end of text", r.left(33) + u"0"_s);
        logged("no start of text", u"0"_s + r.mid(1));
        row("link type 1 drops a character", {u"link 1"_s, u"say 1 X"_s + r}, {said + r, live});
        row("other link types carry nothing", {u"link 5"_s, u"say 1 "_s + r}, {said});
        const QString ignored = u" - terminale fuori dall'intervallo 0-20: messaggio ignorato"_s;
        row("terminal 21 is ignored", {u"say 21 "_s + r},
            {u"[127.0.0.31] Term: 21 - Msg: "_s + r, u"[127.0.0.31] Term: 21"_s + ignored});
        row("terminal -1 is ignored, echoed while VisualizzaComandi (OPT1)",
            {u"OPT1"_s, u"say -1 0001TRAX"_s},
            {u"[127.0.0.9] Term:-1"_s + ignored, u"[127.0.0.9] Term:-1\r\n"_s, u"0001TRAX\r\n"_s});
    }

    void stepsHaveTheirEffects()
    {
        QFETCH(int, count);
        QFETCH(int, result);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, expected);
        TerminalParts fixture;
        TerminalTable& table = fixture.registry.table;
        table.NumTerminale = {u"1"_s, u"0"_s, u"3"_s, QString(), u"-4"_s, u"6"_s};
        for (int slot = 0; slot < TerminalTable::SlotCount; ++slot)
            table.IPTerminale[slot] = u"127.0.0.%1"_s.arg(slot < 6 ? 11 + slot : 99);
        table.NumTerminale.back() = u"21"_s;
        table.IPTerminale.back() = u"127.0.0.31"_s;
        fixture.settings.NumTerminali = count;
        fixture.connections.Collega();
        const qsizetype logged = fixture.logLines().size();
        fixture.control.clearCalls();
        fixture.control.setResult(u"OpenLink"_s, qint16(result));
        fixture.control.setResult(u"SendText"_s, qint16(result));
        fixture.registry.TermInScarico = 1;
        MessageDispatch& dispatch = fixture.dispatch;
        QStringList heard;
        const auto hand = [&heard](const QString& kind) {
            return [&heard, kind](const ReceivedMessage& m) {
                heard << u"%1 %2 %3 %4"_s.arg(kind, QString::number(m.NumTer), m.IPTer, m.text);
            };
        };
        connect(&dispatch, &MessageDispatch::directoryReply, this, hand(u"dir"_s));
        connect(&dispatch, &MessageDispatch::transferMessage, this, hand(u"transfer"_s));
        connect(&dispatch, &MessageDispatch::liveRead, this, [hand](const TransitRead& read) {
            hand(u"live"_s)({read.NumTer, read.IPTer, read.CodiceFunzione + read.RecordTransito});
        });
        // Messages shown and errors listed (Visualizza Errori is on).
        for (const auto added : {&OperatorReport::messageAdded, &OperatorReport::errorAdded})
            connect(&fixture.report, added, this, [&heard](const QString& text) { heard << text; });

        Connections& links = fixture.connections;
        for (const QString& step : steps) {
            const QStringList f = step.split(u' ');
            if (f[0] == u"collega"_s)
                links.Collega();
            else if (f[0] == u"tick"_s)
                links.Timer4Tick();
            else if (f[0] == u"restart"_s)
                links.startReconnection();
            else if (f[0] == u"connect"_s)
                fixture.control.raiseConnect(f[1]);
            else if (f[0] == u"state"_s)
                fixture.control.raiseStateChange(f[1].toShort(), f[2], f[3].toShort());
            else if (f[0] == u"InScarico"_s)
                fixture.registry.InScarico = true;
            else if (f[0] == u"OPT1"_s)
                fixture.switches.OPT1 = true;
            else if (f[0] == u"link"_s)
                fixture.control.setLinkType(f[1].toShort());
            else if (f[0] == u"say"_s)
                fixture.say(f[1].toInt(), f.mid(2).join(u' '));
            else if (f[0] == u"later"_s) // a second on
                QTest::qWait(fixture.wait.scaled(1000) + 20);
            else if (f[0] == u"registers"_s)
                heard << u"%1 %2"_s.arg(fixture.registry.NumCorrente)
                             .arg(fixture.registry.IPCorrente);
            else if (f[0] == u"Blocca"_s)
                fixture.commands.Blocca(f[1].toShort(), f[2]);
            else
                fixture.commands.Cancella(f[1].toShort(), f[2]);
        }

        const QString ports = u"Log/StatoPorteQZ.txt"_s;
        QTRY_COMPARE(fixture.calls() + fixture.texts(ports) +
                         fixture.texts(u"Log/RegistroQZ.txt"_s).mid(logged) + heard,
                     expected);
        QCOMPARE(QStringList(fixture.registry.Lst_Port()).replaceInStrings(u"\r\n"_s, QString()),
                 fixture.texts(ports));
        // EsitoInvio holds the result of the last call.
        QCOMPARE(fixture.registry.EsitoInvio, qint16(fixture.calls().isEmpty() ? 0 : result));
    }
};

QTEST_GUILESS_MAIN(TestConnections)
#include "tst_connections.moc"
