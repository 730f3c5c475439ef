#include "app/recordwriter.h"
#include "console/clssystray.h"
#include "console/frmparvix.h"
#include "console/messageboxes.h"
#include "console/tabterm.h"
#include "support/serverfixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// Message boxes that tests read instead of answering.
class RecordedBoxes : public MessageBoxes
{
public:
    void show(QWidget*, const QString& text, QMessageBox::Icon) override { texts.append(text); }
    QStringList texts;
};

} // namespace

class TestConsole : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void controlsCarryTheirNames();
    void listsShowTheCore();
    void buttonsDoWhatTheySay();
    void checkBoxesSwitchTheCore();
    void withoutNotificationAreaTheWindowStays();
    void trayClassRefusesWrongOrderAndCutsFields();
    void editorPlacesByNumberAndSavesTheFirstRows();
    void editorClosedWithoutSavingChangesNothing();
    void editorRestoredKeepsTheEdits();
    void closingABoxOrTheEditorNeverEndsTheServer();
    void windowsOpenAsDrawn();

private:
    template <typename T> T* child(const QString& name) const
    {
        return m_window->findChild<T*>(name);
    }

    std::unique_ptr<ServerFixture> m_fixture;
    RecordedBoxes m_boxes;
    std::unique_ptr<FrmParvix> m_window;
    QString m_firstTitle; // the title when the window first shows
};

void TestConsole::init()
{
    m_fixture = std::make_unique<ServerFixture>();
    m_fixture->workspace.write(u"Set/ParvixIP.set"_s, "3, 0, 0\r\n");
    m_fixture->workspace.write(
        u"Set/ParvixHost.set"_s,
        "\"2\",\"127.0.0.12\"\r\n\"5\",\"127.0.0.15\"\r\n\"0\",\"127.0.0.10\"\r\n"
        "\"abc\",\"127.0.0.9\"\r\n\"25\",\"127.0.0.35\"\r\n");
    m_boxes.texts.clear();
    m_fixture->wait = EventWait(0.01);
    m_fixture->server = std::make_unique<ParvixServer>(ParvixServer::Environment{
        m_fixture->clock, m_fixture->control, m_fixture->registry, m_fixture->switches,
        m_fixture->wait, m_fixture->workspace.path()});
    m_window = std::make_unique<FrmParvix>(*m_fixture->server, m_fixture->switches, m_boxes, 9123);
    QSignalSpy started(m_fixture->server.get(), &ParvixServer::started);
    QVERIFY(m_fixture->server->start());
    m_firstTitle = m_window->windowTitle(); // as it shows, before start-up's last steps
    QVERIFY(started.wait(5000));
    m_window->show();
}

void TestConsole::cleanup()
{
    m_window.reset();
    m_fixture.reset();
}

void TestConsole::controlsCarryTheirNames()
{
    for (const QString& name : {u"Lst_Port"_s, u"Lst_Msg"_s, u"Lst_Err"_s})
        QVERIFY2(child<QListWidget>(name), qPrintable(name));
    for (const QString& name : {u"Check1"_s, u"OPT1"_s, u"TraceON"_s, u"SalvaT"_s})
        QVERIFY2(child<QCheckBox>(name), qPrintable(name));
    for (const QString& name : {u"Aggiorna"_s, u"Command1"_s, u"Command2"_s, u"Command3"_s,
                                u"Command4"_s, u"Command5"_s, u"Command6"_s})
        QVERIFY2(child<QPushButton>(name), qPrintable(name));
    QCOMPARE(child<QLineEdit>(u"txtACK"_s)->text(), u"400"_s);
    QCOMPARE(child<QLineEdit>(u"txtPort"_s)->text(), u"9123"_s); // where terminals call in
    QStringList address;
    for (QLabel* label : m_window->findChildren<QLabel*>(u"lblLocalIP"_s))
        address.append(label->text());
    QCOMPARE(address, (QStringList{u"127"_s, u"0"_s, u"0"_s, u"1"_s}));
    QVERIFY(child<QCheckBox>(u"Check1"_s)->isChecked());
    QVERIFY(!child<QCheckBox>(u"OPT1"_s)->isChecked());
    QVERIFY(m_window->windowTitle().endsWith(u" - 3 porte"_s));
}

void TestConsole::listsShowTheCore()
{
    m_fixture->registry.addPort(2, u"127.0.0.12"_s);
    m_fixture->registry.addPort(5, u"127.0.0.15"_s);
    auto* ports = child<QListWidget>(u"Lst_Port"_s);
    QCOMPARE(ports->count(), 2);
    QCOMPARE(ports->item(1)->text(), u"[Num: 5 - IP: 127.0.0.15] Connesso"_s);
    QCOMPARE(ports->currentRow(), -1); // the port list selects nothing; the echo lists do
    m_fixture->server->addMessage(u"m"_s);
    QCOMPARE(child<QListWidget>(u"Lst_Msg"_s)->currentRow(), 0);
    m_fixture->server->reportError(u"Num Term:1 Errore:2 - x"_s);
    QCOMPARE(child<QListWidget>(u"Lst_Err"_s)->count(), 1);
    m_fixture->registry.clearPorts();
    QCOMPARE(ports->count(), 0);
}

void TestConsole::buttonsDoWhatTheySay()
{
    m_fixture->registry.addPort(2, u"127.0.0.12"_s);
    m_fixture->server->addMessage(u"hello\r\n"_s);
    m_fixture->server->reportError(u"bad"_s);
    child<QPushButton>(u"Command3"_s)->click(); // Clear Msg
    QCOMPARE(child<QListWidget>(u"Lst_Msg"_s)->count(), 0);
    QCOMPARE(child<QListWidget>(u"Lst_Err"_s)->count(), 1);
    QCOMPARE(child<QListWidget>(u"Lst_Port"_s)->count(), 1);
    child<QPushButton>(u"Command4"_s)->click(); // Clear Err
    QCOMPARE(child<QListWidget>(u"Lst_Err"_s)->count(), 0);
    QCOMPARE(child<QListWidget>(u"Lst_Port"_s)->count(), 1);

    m_fixture->control.clearCalls();
    child<QPushButton>(u"Command5"_s)->click(); // Listen Off
    QVERIFY(m_boxes.texts.isEmpty());
    child<QPushButton>(u"Command5"_s)->click();
    QCOMPARE(m_boxes.texts, QStringList{u"Servizio gi\u00e0 chiuso!"_s});
    child<QPushButton>(u"Command6"_s)->click(); // Listen On
    QCOMPARE(m_fixture->control.operations().count(u"StartService"_s), 1);

    m_fixture->control.clearCalls();
    child<QPushButton>(u"Aggiorna"_s)->click();
    // Slots 0 to 2 hold terminals 2, 5 and a number 0, which is passed over.
    QCOMPARE(m_fixture->control.operations().count(u"OpenLink"_s), 2);
    QCOMPARE(child<QListWidget>(u"Lst_Port"_s)->count(), 0);
}

void TestConsole::checkBoxesSwitchTheCore()
{
    child<QCheckBox>(u"OPT1"_s)->click();
    QVERIFY(m_fixture->switches.OPT1);
    m_fixture->control.raiseData(u"127.0.0.12"_s, u"hello"_s, 2);
    QCOMPARE(child<QListWidget>(u"Lst_Msg"_s)->count(), 2);
    child<QCheckBox>(u"Check1"_s)->click();
    QVERIFY(!m_fixture->switches.Check1);
    m_fixture->server->reportError(u"only in the log"_s);
    QCOMPARE(child<QListWidget>(u"Lst_Err"_s)->count(), 0);
    QVERIFY(m_fixture->logLines().last().endsWith(u" only in the log"_s));
    child<QCheckBox>(u"TraceON"_s)->click();
    child<QCheckBox>(u"SalvaT"_s)->click();
    QVERIFY(m_fixture->switches.TraceON && m_fixture->switches.SalvaT);
}

void TestConsole::withoutNotificationAreaTheWindowStays()
{
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable()); // offscreen has none
    child<QPushButton>(u"Command1"_s)->click();
    QVERIFY(m_window->isVisible());
    const QString kept = u" Area di notifica non disponibile: la finestra resta visibile"_s;
    QVERIFY(m_fixture->logLines().last().endsWith(kept));
    // Hidden by hand, the window is not hidden again by Timer2 three (scaled) seconds after start.
    QTest::qWait(m_fixture->wait.scaled(3000) + 20);
    QVERIFY(m_window->isVisible());
    QCOMPARE(m_fixture->logLines().filter(kept).size(), 1);
    QVERIFY(m_boxes.texts.isEmpty());
}

void TestConsole::trayClassRefusesWrongOrderAndCutsFields()
{
    RecordedBoxes boxes;
    clsSysTray tray(boxes);
    QWidget owner;
    tray.setOwnerControl(&owner);
    QVERIFY(!tray.Add());
    QCOMPARE(
        boxes.texts.last(),
        u"Impossibile procedere prima di impostare un'icona da visualizzare (propriet\u00e0 Icon)."_s);
    clsSysTray second(boxes);
    second.setIcon(QIcon());
    QVERIFY(!second.Add());
    QVERIFY(boxes.texts.last().contains(u"OwnerControl"_s));
    QVERIFY(tray.Remove()); // not shown: nothing to do

    tray.setToolTipText(QString(200, u'x'));
    QCOMPARE(tray.ToolTipText().size(), clsSysTray::TipLength);
    QCOMPARE(tray.ToolTipText(), u' ' + QString(127, u'x'));
    tray.setToolTipText(u"Parvix"_s);
    QVERIFY(tray.ToolTipText().startsWith(u" Parvix "_s + QChar(0)));
    tray.setBalloonTitle(QString(70, u't'));
    QCOMPARE(tray.BalloonTitle(), QString(64, u't'));
    tray.setBalloonToolTip(QString(300, u'i'));
    QCOMPARE(tray.BalloonToolTip(), QString(255, u'i') + QChar(0));
    tray.setBalloonIcon(3);
    QCOMPARE(tray.BalloonIcon(), 3);
}

void TestConsole::editorPlacesByNumberAndSavesTheFirstRows()
{
    child<QPushButton>(u"Command2"_s)->click(); // Terminali
    auto* editor = m_window->findChild<TabTerm*>(u"TabTerm"_s);
    QVERIFY(editor && editor->isVisible());
    QVERIFY(!m_fixture->server->download().scheduler().isActive());
    QVERIFY(!m_fixture->server->connections().reconnectionTimer().isActive());
    const auto field = [editor](const QString& name) {
        return editor->findChild<QLineEdit*>(name);
    };
    QCOMPARE(field(u"Text1_1"_s)->text(), u"2"_s);
    QCOMPARE(field(u"Text2_1"_s)->text(), u"127.0.0.12"_s);
    QCOMPARE(field(u"Text1_4"_s)->text(), u"5"_s);
    QVERIFY(field(u"Text1_0"_s)->text().isEmpty());
    QVERIFY(editor->findChild<QLabel*>(u"note"_s)->text().contains(u"25 (127.0.0.35)"_s));

    field(u"Text1_0"_s)->setText(u"1"_s);
    field(u"Text2_0"_s)->setText(u"127.0.0.11"_s);
    editor->findChild<QPushButton*>(u"Command1"_s)->click(); // Aggiorna
    // NumTerminali is 3: rows 0 to 2 are saved, terminal 5 in row 4 is not.
    QCOMPARE(m_fixture->workspace.read(u"Set/ParvixHost.set"_s),
             QByteArray("\"1\",\"127.0.0.11\"\r\n\"2\",\"127.0.0.12\"\r\n"));
    QCOMPARE(m_fixture->registry.table.IPTerminale[0], u"127.0.0.11"_s);
    QCOMPARE(m_fixture->registry.table.IPTerminale[1], u"127.0.0.12"_s);
    // Slots the file no longer fills keep what they held until the next start.
    QCOMPARE(m_fixture->registry.table.NumTerminale[2], u"0"_s);
    QVERIFY(!editor->isVisible());
    QVERIFY(m_fixture->server->download().scheduler().isActive());
    QVERIFY(m_fixture->server->connections().reconnectionTimer().isActive());
}

void TestConsole::editorClosedWithoutSavingChangesNothing()
{
    const QByteArray before = m_fixture->workspace.read(u"Set/ParvixHost.set"_s);
    child<QPushButton>(u"Command2"_s)->click();
    auto* editor = m_window->findChild<TabTerm*>(u"TabTerm"_s);
    editor->findChild<QLineEdit*>(u"Text1_0"_s)->setText(u"9"_s);
    editor->close();
    QCOMPARE(m_fixture->workspace.read(u"Set/ParvixHost.set"_s), before);
    QVERIFY(m_fixture->server->download().scheduler().isActive());
    QVERIFY(m_fixture->server->connections().reconnectionTimer().isActive());
}

// Minimised and restored, the editor is shown again: what was typed stays.
void TestConsole::editorRestoredKeepsTheEdits()
{
    child<QPushButton>(u"Command2"_s)->click();
    auto* editor = m_window->findChild<TabTerm*>(u"TabTerm"_s);
    editor->findChild<QLineEdit*>(u"Text1_0"_s)->setText(u"9"_s);
    editor->hide();
    editor->show();
    QCOMPARE(editor->findChild<QLineEdit*>(u"Text1_0"_s)->text(), u"9"_s);
    editor->close();
    child<QPushButton>(u"Command2"_s)->click(); // a new opening reads the file again
    QVERIFY(editor->findChild<QLineEdit*>(u"Text1_0"_s)->text().isEmpty());
}

// With the window hidden in the notification area, closing a message box or
// the editor closes the last window on the screen: the server must go on.
void TestConsole::closingABoxOrTheEditorNeverEndsTheServer()
{
    MessageBoxes boxes; // real ones
    child<QPushButton>(u"Command2"_s)->click();
    m_window->hide();
    QTimer::singleShot(0, this, [&boxes, this] {
        boxes.show(nullptr, u"Impossibile cambiare il controllo"_s, QMessageBox::Warning);
        QTimer::singleShot(20, this, [this] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (qobject_cast<QMessageBox*>(window))
                    window->close();
            }
            m_window->findChild<TabTerm*>(u"TabTerm"_s)->close();
        });
    });
    QTimer::singleShot(300, this, [] { QCoreApplication::exit(42); });
    QCOMPARE(QApplication::exec(), 42); // ended by the test, not by a closed window
}

void TestConsole::windowsOpenAsDrawn()
{
    QVERIFY2(m_firstTitle.endsWith(u" - 3 porte"_s), qPrintable(m_firstTitle));
    auto* aggiorna = child<QPushButton>(u"Aggiorna"_s);
    QVERIFY(aggiorna->font().bold());
    QCOMPARE(aggiorna->font().pointSizeF(), 8.25);
    QVERIFY(aggiorna->width() >= aggiorna->sizeHint().width());
    child<QPushButton>(u"Command2"_s)->click();
    auto* editor = m_window->findChild<TabTerm*>(u"TabTerm"_s);
    QVERIFY(editor->windowTitle().trimmed().isEmpty() && !editor->windowTitle().isEmpty());
    const QPoint middle = QGuiApplication::primaryScreen()->availableGeometry().center();
    for (QWidget* window : {static_cast<QWidget*>(m_window.get()), static_cast<QWidget*>(editor)})
        QVERIFY((window->frameGeometry().center() - middle).manhattanLength() <= 4);
}

QTEST_MAIN(TestConsole)
#include "tst_console.moc"
