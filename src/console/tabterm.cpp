#include "console/tabterm.h"

#include "app/settingsfiles.h"
#include "console/screenplacement.h"
#include "server/server.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <utility>

using namespace Qt::StringLiterals;

namespace {
constexpr int Twips = 15;
}

TabTerm::TabTerm(ParvixServer& server, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_server(server)
{
    setObjectName(u"TabTerm"_s);
    // The title bar is blank: an empty title would show the application's name.
    setWindowTitle(u" "_s);
    setFixedSize(5775 / Twips, 8295 / Twips + 40);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(192, 192, 255));
    setPalette(colours);
    QFont heading(u"Verdana"_s);
    heading.setBold(true);
    for (const auto& [name, text, left] : {std::tuple{u"Label1"_s, u"Term."_s, 240},
                                           std::tuple{u"Label2"_s, u"Indirizzo IP"_s, 1080}}) {
        auto* label = new QLabel(text, this);
        label->setObjectName(name);
        label->setFont(heading);
        label->setGeometry(left / Twips, 480 / Twips, 3000 / Twips, 300 / Twips);
    }
    for (int row = 0; row < SettingsFiles::TerminalRows::Count; ++row) {
        const int top = (840 + 360 * row) / Twips;
        auto* number = new QLineEdit(this);
        number->setObjectName(u"Text1_%1"_s.arg(row));
        number->setGeometry(240 / Twips, top, 615 / Twips, 315 / Twips);
        auto* address = new QLineEdit(this);
        address->setObjectName(u"Text2_%1"_s.arg(row));
        address->setGeometry(1080 / Twips, top, 3855 / Twips, 315 / Twips);
        Text1.append(number);
        Text2.append(address);
    }
    m_note = new QLabel(this);
    m_note->setObjectName(u"note"_s);
    m_note->setWordWrap(true);
    m_note->setGeometry(240 / Twips, 8100 / Twips, 5300 / Twips, 600 / Twips);
    auto* save = new QPushButton(u"Aggiorna"_s, this);
    save->setObjectName(u"Command1"_s);
    save->setGeometry(1800 / Twips, 120 / Twips, 1800 / Twips, 330 / Twips);
    connect(save, &QPushButton::clicked, this, &TabTerm::save);
    centreOnScreen(*this);
}

void TabTerm::showEvent(QShowEvent* event)
{
    if (!std::exchange(m_open, true)) {
        m_server.holdTimers();
        load();
    }
    QWidget::showEvent(event);
}

void TabTerm::closeEvent(QCloseEvent* event)
{
    m_open = false;
    m_server.resumeTimers();
    QWidget::closeEvent(event);
}

// Terminals are placed by number; numbers above 20 have no row and are named
// in a note, since a save will not keep them.
void TabTerm::load()
{
    SettingsFiles::TerminalRows rows;
    Error error;
    SettingsFiles::readTerminalRows(m_server.terminalTablePath(), rows, error);
    for (int row = 0; row < SettingsFiles::TerminalRows::Count; ++row) {
        Text1[row]->setText(rows.number[row]);
        Text2[row]->setText(rows.address[row]);
    }
    m_note->setText(rows.beyond.isEmpty() ? QString()
                                          : u"Terminali oltre il 20, non salvati con Aggiorna: "_s +
                                                rows.beyond.join(u", "_s));
}

void TabTerm::save()
{
    SettingsFiles::TerminalRows rows;
    for (int row = 0; row < SettingsFiles::TerminalRows::Count; ++row) {
        rows.number[row] = Text1[row]->text();
        rows.address[row] = Text2[row]->text();
    }
    Error error;
    m_server.saveTerminalRows(rows, error);
    close();
}
