#pragma once

#include "posting/transitcontext.h"
#include "posting/transitread.h"

#include <QObject>

class ActivityLog;
class Clock;
class DatabaseSession;
struct Error;
struct Settings;

// CalcolaMov: posts one accepted transit — work sheets, attendance, orders —
// in the fixed order of work of its function code, then one journal line.
// The first failure ends the posting with its label and error; what was
// written before it stays, and no journal line is written.
class TransitPosting : public QObject
{
    Q_OBJECT

public:
    TransitPosting(ActivityLog& log, const DatabaseSession& session, const Settings& settings,
                   const Clock& clock, const QString& workingDirectory, QObject* parent = nullptr);

    // A live read; false when the posting failed (logged here).
    bool CalcolaMov(const TransitRead& read, TransitContext& context);
    // A stored transit: the statements only, in the caller's transaction; its
    // journal line is given back, to be written once the transaction commits.
    // A failure is logged as above and given back too.
    bool CalcolaMov(const TransitRead& read, TransitContext& context, QByteArray& journalLine,
                    Error& error);
    QString journalPath() const;

private:
    // `journalLine` null: the journal line is written here, as for a live read.
    bool run(const TransitRead& read, TransitContext& context, QByteArray* journalLine,
             Error& error);
    bool post(const TransitRead& read, TransitContext& context, QString& Etichetta, Error& error,
              QByteArray* journalLine);

    ActivityLog& m_log;
    const DatabaseSession& m_session;
    const Settings& m_settings;
    const Clock& m_clock;
    QString m_workingDirectory;
};
