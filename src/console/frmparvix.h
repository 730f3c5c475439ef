#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

class clsSysTray;
class MessageBoxes;
class ParvixServer;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class TabTerm;
struct Switches;

// The operator's window: a view of the server core. Its lists show the core's
// ports, messages and errors; its check boxes set the core's switches; its
// buttons run the operator commands. Three seconds after start it hides to
// the notification area, where there is one.
class FrmParvix : public QWidget
{
    Q_OBJECT

public:
    // `listenPort`: where terminals call in, shown in txtPort.
    FrmParvix(ParvixServer& server, Switches& switches, MessageBoxes& boxes, quint16 listenPort,
              QWidget* parent = nullptr);
    ~FrmParvix() override;

    // Hide-to-tray (Command1, and the first tick of Timer2).
    void hideToTray();
    // An alert as a balloon, whatever "Visualizza Errori" says; with the
    // window open the icon comes to the notification area for it.
    void showAlert(const QString& title, const QString& text, bool ended);
    // "Apri": the icon goes, the window comes back.
    void restore();
    clsSysTray* tray() const { return m_tray; }

Q_SIGNALS:
    // The window was closed: the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls(quint16 listenPort);
    QPushButton* button(const QString& name, const QString& caption, int left, int top, int width,
                        int height);
    void place(QWidget* widget, int left, int top, int width, int height);
    // Appended with the last line selected, so the list follows it (the
    // echo lists); the port list is appended to without.
    static void append(QListWidget* list, const QString& text, bool follow = true);
    void showAddress(const QStringList& labels);
    void listenOff();
    // The icon in the notification area; false where there is none.
    bool ensureTray();
    void openEditor();

    ParvixServer& m_server;
    Switches& m_switches;
    MessageBoxes& m_boxes;
    QListWidget* Lst_Port = nullptr;
    QListWidget* Lst_Msg = nullptr;
    QListWidget* Lst_Err = nullptr;
    QList<QLabel*> lblLocalIP;
    QMenu* mnuMenu = nullptr;
    QTimer Timer2;
    clsSysTray* m_tray = nullptr;
    QPointer<TabTerm> m_editor;
};
