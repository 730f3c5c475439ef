#pragma once

#include <QWidget>

class ParvixServer;
class QLabel;
class QLineEdit;

// The terminal table editor: 20 rows, row r for terminal r + 1. While it is
// open the download scheduler and the reconnection timer are held. The file
// is read once per opening: minimised and restored, it keeps what the
// operator typed.
class TabTerm : public QWidget
{
    Q_OBJECT

public:
    explicit TabTerm(ParvixServer& server, QWidget* parent = nullptr);

    // "Aggiorna": saves, reloads the table, closes.
    void save();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void load();

    ParvixServer& m_server;
    QList<QLineEdit*> Text1;
    QList<QLineEdit*> Text2;
    QLabel* m_note = nullptr;
    bool m_open = false; // shown and not closed since: a restore keeps the edits
};
