#pragma once

#include <QObject>
#include <QStringList>

class ParvixServer;
class QTextStream;

// The server without a window: the title is the first line on standard
// output, and every line the window's lists would get follows with its list's
// tag ("[err] text"). Lines raised before the title is known wait for it.
class HeadlessConsole : public QObject
{
    Q_OBJECT

public:
    HeadlessConsole(ParvixServer& server, QTextStream& out, QObject* parent = nullptr);

private:
    void showTitle(const QString& title);
    void print(const QString& tag, const QString& text);

    QTextStream& m_out;
    bool m_titleShown = false;
    QStringList m_waiting;
};
