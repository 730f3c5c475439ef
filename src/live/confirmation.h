#pragma once

#include "posting/transitcontext.h"
#include "posting/transitread.h"

#include <QObject>

class ActivityLog;
class TerminalCommands;
class TerminalRegistry;
struct Settings;

// Conferma: the display text that answers an accepted live read (badge with
// entry or exit time, or with order and position) and its result code in the
// log. A posting that failed is answered "KBadge Errato".
class Confirmation : public QObject
{
    Q_OBJECT

public:
    Confirmation(TerminalRegistry& registry, TerminalCommands& commands, ActivityLog& log,
                 const Settings& settings, QObject* parent = nullptr);

    void Conferma(const TransitRead& read, const TransitContext& context);

private:
    void answer(const TransitRead& read, const QString& text, const QString& code);

    TerminalRegistry& m_registry;
    TerminalCommands& m_commands;
    ActivityLog& m_log;
    const Settings& m_settings;
};
