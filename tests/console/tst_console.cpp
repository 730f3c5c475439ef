#include "console/clssystray.h"
#include "console/frmparvix.h"
#include "console/messageboxes.h"
#include "console/tabterm.h"
#include "server/headlessconsole.h"
#include "support/serverfixture.h"

#include <QtTest>
#include <QtWidgets>

using namespace Qt::StringLiterals;

// Message boxes that tests read instead of answering.
class RecordedBoxes : public MessageBoxes
{
public:
    void show(QWidget*, const QString& text, QMessageBox::Icon) override { texts.append(text); }
    QStringList texts;
};

class TestConsole : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void consoleShowsAndDrivesTheCore();
    void trayClassRefusesWrongOrderAndCutsFields();
    void editorPlacesByNumberAndSavesTheFirstRows();

private:
    void click(const QString& name) { m_window->findChild<QAbstractButton*>(name)->click(); }
    // txtACK, txtPort and the server address, then each list's selected row and entries.
    QStringList shown() const;

    std::unique_ptr<ServerFixture> m_fixture;
    RecordedBoxes m_boxes;
    std::unique_ptr<FrmParvix> m_window;
};

// Three ports: terminals 2, 4 and a number 0; past them, rows the editor places
// by number (20), cannot place ("abc") or names in its note (25).
void TestConsole::init()
{
    m_window.reset();
    m_fixture = std::make_unique<ServerFixture>();
    m_fixture->workspace.write(u"Set/ParvixIP.set"_s, "3, 0, 0\r\n");
    m_fixture->workspace.write(
        u"Set/ParvixHost.set"_s,
        "\"2\",\"127.0.0.12\"\r\n\"4\",\"127.0.0.14\"\r\n\"0\",\"127.0.0.10\"\r\n"
        "\"abc\",\"127.0.0.9\"\r\n\"20\",\"127.0.0.30\"\r\n\"25\",\"127.0.0.35\"\r\n");
    m_fixture->wait = EventWait(0.01);
    QVERIFY(m_fixture->start());
    m_fixture->registry.addPort(2, u"127.0.0.12"_s); // listed before the window opens
    m_boxes.texts.clear();
    m_window = std::make_unique<FrmParvix>(*m_fixture->server, m_fixture->switches, m_boxes, 9123);
    m_window->show();
}

QStringList TestConsole::shown() const
{
    QStringList texts;
    for (const QLineEdit* field : m_window->findChildren<QLineEdit*>(Qt::FindDirectChildrenOnly))
        texts.append(field->text());
    for (const QLabel* label : m_window->findChildren<QLabel*>(u"lblLocalIP"_s))
        texts.append(label->text());
    for (const QString& name : {u"Lst_Port"_s, u"Lst_Msg"_s, u"Lst_Err"_s}) {
        const auto* list = m_window->findChild<QListWidget*>(name);
        texts.append(QString::number(list->currentRow()));
        for (int row = 0; row < list->count(); ++row)
            texts.append(list->item(row)->text());
    }
    return texts;
}

void TestConsole::consoleShowsAndDrivesTheCore()
{
    QString text;
    QTextStream out(&text);
    const HeadlessConsole headless(*m_fixture->server, out);
    auto* aggiorna = m_window->findChild<QPushButton*>(u"Aggiorna"_s);
    QVERIFY(m_window->windowTitle().endsWith(u" - 3 porte"_s) && aggiorna->font().bold());
    QVERIFY(aggiorna->font().pointSizeF() == 8.25 &&
            aggiorna->width() >= aggiorna->sizeHint().width());
    m_fixture->registry.addPort(5, u"127.0.0.15"_s);
    click(u"OPT1"_s);
    m_fixture->say(0, u"hello\r\n"_s);
    m_fixture->server->report().reportError(u"shown"_s);
    click(u"Check1"_s);
    m_fixture->server->report().reportError(u"only in the log"_s);
    QVERIFY(m_fixture->logLines().last().endsWith(u" only in the log"_s));
    // Headless, lines wait for the title, shown once; the window follows every title.
    QVERIFY(text.isEmpty());
    Q_EMIT m_fixture->server->titleChanged(u"Parvix"_s);
    Q_EMIT m_fixture->server->titleChanged(u"again"_s);
    QCOMPARE(m_window->windowTitle(), u"again"_s);
    QCOMPARE(text,
             u"Parvix\n[port] [Num: 5 - IP: 127.0.0.15] Connesso\n[msg] [127.0.0.10] Term: 0\n"
             u"[msg] hello\n[err] shown\n"_s);
    // The check boxes set the core's switches; txtPort is where terminals call in. The
    // port list selects nothing, the echo lists their last line; Str gives 0 its blank.
    QCOMPARE(shown(), (QStringList{u"400"_s, u"9123"_s, u"127"_s, u"0"_s, u"0"_s, u"1"_s, u"-1"_s,
                                   u"[Num: 2 - IP: 127.0.0.12] Connesso"_s,
                                   u"[Num: 5 - IP: 127.0.0.15] Connesso"_s, u"1"_s,
                                   u"[127.0.0.10] Term: 0"_s, u"hello"_s, u"0"_s, u"shown"_s}));
    click(u"TraceON"_s);
    click(u"SalvaT"_s);
    QVERIFY(m_fixture->switches.TraceON && m_fixture->switches.SalvaT);

    m_fixture->control.clearCalls();
    // Clear Msg, Clear Err, Listen Off twice (the second is refused), Listen On,
    // links anew from an empty port list, and hide, which stops Timer2.
    for (const QString& button : {u"Command3"_s, u"Command4"_s, u"Command5"_s})
        click(button);
    QVERIFY(m_boxes.texts.isEmpty());
    for (const QString& button : {u"Command5"_s, u"Command6"_s, u"Aggiorna"_s, u"Command1"_s})
        click(button);
    // Slot 2's number 0 is passed over.
    QCOMPARE(m_fixture->control.operations(),
             (QStringList{u"StopService"_s, u"StopService"_s, u"StartService"_s, u"OpenLink"_s,
                          u"SendText"_s, u"OpenLink"_s, u"SendText"_s}));
    QTest::qWait(m_fixture->wait.scaled(3000) + 20);
    QVERIFY(m_window->isVisible()); // offscreen has no notification area
    QVERIFY(m_window->tray()->ToolTipText().startsWith(u" Parvix (SQL Server) "_s + QChar(0)));
    const QString kept = u" Area di notifica non disponibile: la finestra resta visibile"_s;
    QCOMPARE(m_fixture->logLines().filter(kept).size(), 1);
    QCOMPARE(m_boxes.texts, QStringList{u"Servizio gi\u00e0 chiuso!"_s});
    // An alert goes to the tray's balloon, "Visualizza Errori" being unchecked.
    m_fixture->server->health().alerts().raise(u"test"_s, u"database non raggiungibile"_s);
    QCOMPARE(m_window->tray()->BalloonTitle().section(QChar(0), 0, 0), u"Parvix: allarme"_s);
    QCOMPARE(m_window->tray()->BalloonToolTip().section(QChar(0), 0, 0),
             u"database non raggiungibile"_s);
    QCOMPARE(m_window->tray()->BalloonIcon(), 2);
    QSignalSpy closed(m_window.get(), &FrmParvix::closed);
    m_window->close();
    QCOMPARE(closed.size(), 1);
    QCOMPARE(shown().mid(6), (QStringList{u"-1"_s, u"-1"_s, u"-1"_s}));
    QCOMPARE(m_fixture->control.operations().last(), u"StopService"_s); // the service ends too
    // With the window hidden, a closed message box or editor must not end the server.
    QVERIFY(!QGuiApplication::quitOnLastWindowClosed());
}

void TestConsole::trayClassRefusesWrongOrderAndCutsFields()
{
    clsSysTray tray(m_boxes);
    QVERIFY(!tray.Add());
    tray.setIcon(QIcon());
    QVERIFY(!tray.Add() && tray.Remove()); // not shown: nothing to remove
    QCOMPARE(m_boxes.texts, (QStringList{u"Impossibile procedere prima di impostare un'icona da "
                                         "visualizzare (propriet\u00e0 Icon)."_s,
                                         u"Impossibile visualizzare l'icona prima di impostare un "
                                         "controllo (propriet\u00e0 OwnerControl)."_s}));
    tray.setToolTipText(QString(200, u'x'));
    const QString longTip = tray.ToolTipText();
    tray.setToolTipText(u"Parvix"_s);
    tray.setBalloonTitle(QString(70, u't'));
    tray.setBalloonToolTip(QString(300, u'i'));
    tray.setBalloonIcon(3);
    QCOMPARE((QStringList{longTip, tray.ToolTipText(), tray.BalloonTitle(), tray.BalloonToolTip(),
                          QString::number(tray.BalloonIcon())}),
             (QStringList{u' ' + QString(127, u'x'), (u" Parvix "_s + QChar(0)).leftJustified(128),
                          QString(64, u't'), QString(255, u'i') + QChar(0), u"3"_s}));
}

void TestConsole::editorPlacesByNumberAndSavesTheFirstRows()
{
    click(u"Command2"_s); // Terminali
    auto* editor = m_window->findChild<TabTerm*>(u"TabTerm"_s);
    const QList<QLineEdit*> fields = editor->findChildren<QLineEdit*>(); // number, address, ...
    const auto rows = [&fields](const QList<int>& indexes) {
        QStringList texts;
        for (const int i : indexes)
            texts.append(fields[2 * i]->text() + u' ' + fields[2 * i + 1]->text());
        return texts;
    };
    const auto timers = [this] {
        return QList<bool>{m_fixture->server->download().scheduler().isActive(),
                           m_fixture->server->connections().reconnectionTimer().isActive()};
    };
    QCOMPARE(timers(), (QList<bool>{false, false})); // held while the editor is open
    QCOMPARE(rows({0, 1, 3, 19}),
             (QStringList{u" "_s, u"2 127.0.0.12"_s, u"4 127.0.0.14"_s, u"20 127.0.0.30"_s}));
    QCOMPARE(editor->windowTitle(), u" "_s); // an empty one would show the application's name
    QCOMPARE(editor->findChild<QLabel*>(u"note"_s)->text(),
             u"Terminali oltre il 20, non salvati con Aggiorna: 25 (127.0.0.35)"_s);
    const QPoint middle = QGuiApplication::primaryScreen()->availableGeometry().center();
    for (QWidget* window : {static_cast<QWidget*>(m_window.get()), static_cast<QWidget*>(editor)})
        QVERIFY((window->frameGeometry().center() - middle).manhattanLength() <= 4);

    fields[0]->setText(u"1"_s);
    fields[1]->setText(u"127.0.0.11"_s);
    editor->hide(); // minimised and restored, the edits stay
    editor->show();
    editor->findChild<QPushButton*>(u"Command1"_s)->click(); // Aggiorna
    // NumTerminali is 3: rows 0 to 2 are saved, terminal 4 in row 3 is not; slots
    // the file no longer fills keep what they held until the next start.
    const QByteArray saved("\"1\",\"127.0.0.11\"\r\n\"2\",\"127.0.0.12\"\r\n");
    const TerminalTable& table = m_fixture->registry.table;
    QCOMPARE(m_fixture->workspace.read(u"Set/ParvixHost.set"_s), saved);
    QCOMPARE((QStringList{table.IPTerminale[0], table.IPTerminale[1], table.NumTerminale[2]}),
             (QStringList{u"127.0.0.11"_s, u"127.0.0.12"_s, u"0"_s}));
    QCOMPARE(timers(), (QList<bool>{true, true}));

    click(u"Command2"_s);
    fields[0]->setText(u"9"_s);
    editor->close(); // without saving
    QCOMPARE(m_fixture->workspace.read(u"Set/ParvixHost.set"_s), saved);
    click(u"Command2"_s); // a new opening reads the file again
    QCOMPARE(rows({0}), QStringList{u"1 127.0.0.11"_s});
}

QTEST_MAIN(TestConsole)
#include "tst_console.moc"
