#include "console/clssystray.h"

#include "console/messageboxes.h"

#include <QSystemTrayIcon>

using namespace Qt::StringLiterals;

namespace {

// The visible text of a fixed-length field: up to its terminating NUL.
QString text(const QString& field)
{
    return field.left(field.indexOf(QChar(0)));
}

} // namespace

clsSysTray::clsSysTray(MessageBoxes& boxes, QObject* parent)
    : QObject(parent)
    , m_boxes(boxes)
{}

clsSysTray::~clsSysTray()
{
    Remove();
}

// Fixed-length fields are padded with blanks, as the shell's record holds them.
QString clsSysTray::field(const QString& content, int length)
{
    return content.left(length).leftJustified(length, u' ');
}

void clsSysTray::setOwnerControl(QWidget* vData)
{
    if (m_shown) {
        m_boxes.show(nullptr,
                     u"Impossibile cambiare il controllo quando l'icona \u00e8 gia attiva."_s,
                     QMessageBox::Warning);
        return;
    }
    m_owner = vData;
    m_ownerSet = true;
}

void clsSysTray::setToolTipText(const QString& vData)
{
    const QString cut = vData.left(TipLength);
    m_tip = field(cut.isEmpty() ? QString(QChar(0)) : u' ' + cut + u' ' + QChar(0), TipLength);
    modify();
}

void clsSysTray::setIcon(const QIcon& vData)
{
    m_icon = vData;
    m_iconSet = true;
    modify();
}

void clsSysTray::setBalloonTitle(const QString& vData)
{
    m_title = field(vData.left(TitleLength) + QChar(0), TitleLength);
    modify();
}

void clsSysTray::setBalloonToolTip(const QString& Value)
{
    m_info = field(Value.left(InfoLength - 1) + QChar(0), InfoLength);
    modify();
}

void clsSysTray::setBalloonIcon(qint32 vData)
{
    m_balloonIcon = vData;
    modify();
}

void clsSysTray::setContextMenu(QMenu* menu)
{
    m_menu = menu;
    if (m_tray)
        m_tray->setContextMenu(menu);
}

bool clsSysTray::Add()
{
    if (!m_iconSet) {
        m_boxes.show(nullptr,
                     u"Impossibile procedere prima di impostare un'icona da visualizzare "
                     "(propriet\u00e0 Icon)."_s,
                     QMessageBox::Warning);
        return false;
    }
    if (!m_ownerSet) {
        m_boxes.show(nullptr,
                     u"Impossibile visualizzare l'icona prima di impostare un controllo "
                     "(propriet\u00e0 OwnerControl)."_s,
                     QMessageBox::Warning);
        return false;
    }
    m_shown = false;
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    if (!m_tray) {
        m_tray = new QSystemTrayIcon(this);
        connect(m_tray, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::DoubleClick ||
                        reason == QSystemTrayIcon::Trigger)
                        Q_EMIT doubleClicked();
                });
    }
    m_tray->setContextMenu(m_menu);
    m_shown = true;
    modify();
    m_tray->show();
    return m_shown;
}

bool clsSysTray::Remove()
{
    if (m_shown && m_tray)
        m_tray->hide();
    m_shown = false;
    return true;
}

void clsSysTray::ShowBalloon()
{
    m_balloon = true;
    modify();
}

void clsSysTray::ShowBalloon(const QString& title, const QString& text, qint32 icon)
{
    m_balloon = false; // the fields change without a balloon each
    setBalloonTitle(title);
    setBalloonToolTip(text);
    setBalloonIcon(icon);
    ShowBalloon();
}

void clsSysTray::modify()
{
    if (!m_shown || !m_tray)
        return;
    m_tray->setIcon(m_icon);
    m_tray->setToolTip(text(m_tip).trimmed());
    if (m_balloon)
        m_tray->showMessage(text(m_title), text(m_info),
                            static_cast<QSystemTrayIcon::MessageIcon>(qBound(0, m_balloonIcon, 3)));
}
