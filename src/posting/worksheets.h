#pragma once

#include <QString>

class ActivityLog;
class DatabaseSession;
class QVariant;
struct Error;
struct Transito;

// SchedeLav: one period of work of one employee on one order line. A start of
// work opens a sheet; the employee's next order transit of the day, or his
// exit, closes the earliest open one.
class WorkSheets
{
public:
    struct OrderLine
    {
        qint16 type = 0; // RigheOrdini.Tipo
        QString note;    // the line's texts joined, at most 50 characters
    };

    WorkSheets(const DatabaseSession& session, ActivityLog& log);

    // On "#A", "#B", "#D", "00": closes the earliest open sheet of the day and
    // names its order in OrdineCorrente.
    bool closeOnOrderTransit(const Transito& transit, QString& OrdineCorrente, Error& error) const;
    // On an attendance exit: closes the first open sheet of the day.
    bool closeOnAttendanceExit(const Transito& transit, Error& error) const;
    // On "#A", "00": a new open sheet with the order line's type and note.
    bool open(const Transito& transit, OrderLine& line, Error& error) const;

private:
    bool close(const Transito& transit, const QVariant& start, Error& error) const;
    bool findOrderLine(const Transito& transit, OrderLine& line, Error& error) const;

    const DatabaseSession& m_session;
    ActivityLog& m_log;
};
