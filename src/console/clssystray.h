#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>

class MessageBoxes;
class QMenu;
class QSystemTrayIcon;
class QWidget;

// One icon in the notification area, with the fixed-length text fields of the
// shell's record (tip 128, balloon title 64, balloon text 256 characters) and
// its refusals of operations in the wrong order.
class clsSysTray : public QObject
{
    Q_OBJECT

public:
    static constexpr int TipLength = 128;
    static constexpr int TitleLength = 64;
    static constexpr int InfoLength = 256;

    explicit clsSysTray(MessageBoxes& boxes, QObject* parent = nullptr);
    ~clsSysTray() override;

    void setOwnerControl(QWidget* vData);
    QWidget* OwnerControl() const { return m_owner; }
    void setToolTipText(const QString& vData);
    QString ToolTipText() const { return m_tip; }
    void setIcon(const QIcon& vData);
    QIcon Icon() const { return m_icon; }
    void setBalloonTitle(const QString& vData);
    QString BalloonTitle() const { return m_title; }
    void setBalloonToolTip(const QString& Value);
    QString BalloonToolTip() const { return m_info; }
    void setBalloonIcon(qint32 vData);
    qint32 BalloonIcon() const { return m_balloonIcon; }
    void setContextMenu(QMenu* menu);

    bool Add();
    bool Remove();
    void ShowBalloon();
    // One balloon with its own title, text and icon, shown once.
    void ShowBalloon(const QString& title, const QString& text, qint32 icon);
    bool isShown() const { return m_shown; }

Q_SIGNALS:
    void doubleClicked();

private:
    void modify();
    static QString field(const QString& text, int length);

    MessageBoxes& m_boxes;
    QPointer<QWidget> m_owner;
    QIcon m_icon;
    QString m_tip = field(QString(QChar(0)), TipLength);
    QString m_title = field(QString(QChar(0)), TitleLength);
    QString m_info = field(QString(QChar(0)), InfoLength);
    qint32 m_balloonIcon = 0;
    bool m_ownerSet = false;
    bool m_iconSet = false;
    bool m_shown = false;
    bool m_balloon = false;
    QSystemTrayIcon* m_tray = nullptr;
    QMenu* m_menu = nullptr;
};
