#include "console/frmparvix.h"

#include "app/activitylog.h"
#include "app/eventwait.h"
#include "app/switches.h"
#include "console/clssystray.h"
#include "console/messageboxes.h"
#include "console/screenplacement.h"
#include "console/tabterm.h"
#include "server/server.h"
#include "terminal/terminalregistry.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>

using namespace Qt::StringLiterals;

namespace {

// The layout is given in twips; 15 twips make a pixel on a 96-dpi screen.
constexpr int Twips = 15;

QIcon parvixIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(QColor(32, 64, 160));
    return QIcon(pixmap);
}

} // namespace

FrmParvix::FrmParvix(ParvixServer& server, Switches& switches, MessageBoxes& boxes,
                     quint16 listenPort, QWidget* parent)
    : QWidget(parent)
    , m_server(server)
    , m_switches(switches)
    , m_boxes(boxes)
{
    // The server ends by the close box, "Chiudi" or a signal: never because a
    // message box or the editor was the last window to close (the main one
    // being hidden in the notification area).
    QGuiApplication::setQuitOnLastWindowClosed(false);
    setObjectName(u"FrmParvix"_s);
    setWindowTitle(server.title());
    setWindowIcon(parvixIcon());
    setFixedSize(11430 / Twips, 6375 / Twips);
    // The layout is drawn for 8-point captions.
    QFont small = font();
    small.setPointSizeF(8.25);
    setFont(small);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(192, 192, 255));
    setPalette(colours);
    buildControls(listenPort);
    centreOnScreen(*this);

    TerminalRegistry& registry = server.registry();
    for (const QString& entry : registry.Lst_Port())
        append(Lst_Port, entry, false);
    connect(&registry, &TerminalRegistry::portAdded, this,
            [this](const QString& entry) { append(Lst_Port, entry, false); });
    connect(&registry, &TerminalRegistry::portsCleared, Lst_Port, &QListWidget::clear);
    connect(&server.report(), &OperatorReport::messageAdded, this,
            [this](const QString& text) { append(Lst_Msg, text); });
    connect(&server.report(), &OperatorReport::errorAdded, this,
            [this](const QString& text) { append(Lst_Err, text); });
    connect(&server.health().alerts(), &Alerts::alerted, this, &FrmParvix::showAlert);
    connect(&server, &ParvixServer::titleChanged, this, &QWidget::setWindowTitle);
    connect(&server, &ParvixServer::addressLabelsChanged, this, &FrmParvix::showAddress);
    showAddress(server.addressLabels());

    Timer2.setSingleShot(true);
    Timer2.setInterval(server.wait().scaled(3000));
    connect(&Timer2, &QTimer::timeout, this, &FrmParvix::hideToTray);
    Timer2.start();
}

FrmParvix::~FrmParvix() = default;

void FrmParvix::buildControls(quint16 listenPort)
{
    button(u"Command2"_s, u"Terminali"_s, 120, 240, 1215, 495);
    button(u"Command3"_s, u"Clear Msg"_s, 1680, 240, 855, 495);
    button(u"Command4"_s, u"Clear Err"_s, 2760, 240, 855, 495);
    button(u"Command6"_s, u"Listen On"_s, 3840, 240, 855, 495);
    button(u"Command5"_s, u"Listen Off"_s, 4920, 240, 855, 495);
    QPushButton* aggiorna = button(u"Aggiorna"_s, u"AGGIORNA Porte"_s, 6000, 240, 1215, 495);
    QFont bold = aggiorna->font();
    bold.setBold(true);
    aggiorna->setFont(bold);
    // Wide enough for its caption in the form's bold font.
    aggiorna->resize(qMax(aggiorna->width(), aggiorna->sizeHint().width()), aggiorna->height());

    auto* caption = new QLabel(u"Local IP address:"_s, this);
    place(caption, 7920, 240, 1575, 255);
    for (int i = 0; i < 4; ++i) {
        auto* label = new QLabel(this);
        label->setObjectName(u"lblLocalIP"_s);
        label->setProperty("index", i);
        label->setFont(bold);
        place(label, 9480 + 480 * i, 240, 375, 255);
        lblLocalIP.append(label);
    }
    for (const auto& [name, value, left] :
         {std::tuple{u"txtACK"_s, u"400"_s, 9840},
          std::tuple{u"txtPort"_s, QString::number(listenPort), 10800}}) {
        auto* field = new QLineEdit(value, this);
        field->setObjectName(name);
        field->setReadOnly(true);
        field->setFrame(false);
        field->setFont(bold);
        place(field, left, 720, 495, 255);
    }

    const auto list = [this](const QString& name, const QString& title, int left, int top,
                             int width, int height) {
        auto* label = new QLabel(title, this);
        label->setFont(QFont(u"Verdana"_s));
        place(label, left, top - 240, width, 240);
        auto* widget = new QListWidget(this);
        widget->setObjectName(name);
        place(widget, left, top, width, height);
        return widget;
    };
    Lst_Port = list(u"Lst_Port"_s, u"Stato delle porte"_s, 120, 1200, 4815, 2985);
    Lst_Msg = list(u"Lst_Msg"_s, u"Lista Comandi"_s, 5040, 1200, 6255, 2985);
    Lst_Err = list(u"Lst_Err"_s, u"Lista Errori"_s, 120, 4560, 11175, 1035);

    const auto check = [this](const QString& name, const QString& text, bool& value, int left,
                              int width) {
        auto* box = new QCheckBox(text, this);
        box->setObjectName(name);
        box->setChecked(value);
        place(box, left, 5880, width, 255);
        connect(box, &QCheckBox::toggled, this, [&value](bool on) { value = on; });
    };
    check(u"Check1"_s, u"Visualizza Errori"_s, m_switches.Check1, 240, 2295);
    check(u"OPT1"_s, u"Visualizza Comandi"_s, m_switches.OPT1, 2760, 2535);
    check(u"TraceON"_s, u"Trace ON"_s, m_switches.TraceON, 5520, 2295);
    check(u"SalvaT"_s, u"Salva Tutto"_s, m_switches.SalvaT, 8040, 2175);
    QPushButton* hide = button(u"Command1"_s, QString(), 10680, 5760, 615, 495);
    hide->setIcon(parvixIcon());
    hide->setToolTip(u"Nascondi nell'area di notifica"_s);

    connect(findChild<QPushButton*>(u"Command2"_s), &QPushButton::clicked, this,
            &FrmParvix::openEditor);
    connect(findChild<QPushButton*>(u"Command3"_s), &QPushButton::clicked, Lst_Msg,
            &QListWidget::clear);
    connect(findChild<QPushButton*>(u"Command4"_s), &QPushButton::clicked, Lst_Err,
            &QListWidget::clear);
    connect(findChild<QPushButton*>(u"Command5"_s), &QPushButton::clicked, this,
            &FrmParvix::listenOff);
    connect(findChild<QPushButton*>(u"Command6"_s), &QPushButton::clicked, this,
            [this] { m_server.startListening(); });
    connect(aggiorna, &QPushButton::clicked, this, [this] { m_server.connections().Collega(); });
    connect(hide, &QPushButton::clicked, this, [this] {
        Timer2.stop(); // hidden by hand: the start-up's own hiding is not due any more
        hideToTray();
    });

    mnuMenu = new QMenu(this);
    mnuMenu->setObjectName(u"mnuMenu"_s);
    mnuMenu->addAction(u"Apri"_s, this, &FrmParvix::restore)->setObjectName(u"mnuApri"_s);
    mnuMenu->addAction(u"Chiudi"_s, this, &QWidget::close)->setObjectName(u"mnuChiudi"_s);
}

QPushButton* FrmParvix::button(const QString& name, const QString& caption, int left, int top,
                               int width, int height)
{
    auto* widget = new QPushButton(caption, this);
    widget->setObjectName(name);
    place(widget, left, top, width, height);
    return widget;
}

void FrmParvix::place(QWidget* widget, int left, int top, int width, int height)
{
    widget->setGeometry(left / Twips, top / Twips, width / Twips, height / Twips);
}

void FrmParvix::append(QListWidget* list, const QString& text, bool follow)
{
    QString line = text;
    while (line.endsWith(u'\n') || line.endsWith(u'\r'))
        line.chop(1);
    list->addItem(line);
    if (follow)
        list->setCurrentRow(list->count() - 1);
}

void FrmParvix::showAddress(const QStringList& labels)
{
    for (int i = 0; i < lblLocalIP.size(); ++i)
        lblLocalIP[i]->setText(labels.value(i));
}

void FrmParvix::listenOff()
{
    if (m_server.stopListening())
        m_boxes.show(this, u"Servizio gi\u00e0 chiuso!"_s, QMessageBox::Information);
}

void FrmParvix::openEditor()
{
    if (!m_editor)
        m_editor = new TabTerm(m_server, this);
    m_editor->show();
    m_editor->raise();
}

// Without a notification area the window stays: hidden, it could never come back.
void FrmParvix::hideToTray()
{
    if (ensureTray()) {
        hide();
        return;
    }
    m_server.log().LogFile(u"Area di notifica non disponibile: la finestra resta visibile"_s);
}

bool FrmParvix::ensureTray()
{
    if (!m_tray) {
        m_tray = new clsSysTray(m_boxes, this);
        m_tray->setContextMenu(mnuMenu);
        connect(m_tray, &clsSysTray::doubleClicked, this, &FrmParvix::restore);
        m_tray->setIcon(parvixIcon());
        m_tray->setOwnerControl(this);
        m_tray->setToolTipText(u"Parvix (SQL Server)"_s);
        m_tray->setBalloonTitle(u"Messaggio"_s);
        m_tray->setBalloonToolTip(u"Questo \u00e8 il contenuto del messaggio"_s);
        m_tray->setBalloonIcon(3);
    }
    return m_tray->isShown() || m_tray->Add();
}

void FrmParvix::showAlert(const QString& title, const QString& text, bool ended)
{
    constexpr qint32 Information = 1;
    constexpr qint32 Warning = 2;
    // Without a notification area the balloon's fields are still set; the lists show the alert.
    ensureTray();
    m_tray->ShowBalloon(title, text, ended ? Information : Warning);
}

void FrmParvix::restore()
{
    if (m_tray)
        m_tray->Remove();
    showNormal();
    raise();
    activateWindow();
}

void FrmParvix::closeEvent(QCloseEvent* event)
{
    m_server.shutdown();
    event->accept();
    Q_EMIT closed();
}
