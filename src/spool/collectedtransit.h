#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One stored transit as a terminal listed it, and one line of Scarico.txt,
// ScaricoOK.txt and ScaricoOK_OLD.txt: terminal number, "address", "record".
struct CollectedTransit
{
    qint64 NumTer = 0;
    QString IPTer;
    QString record;

    QByteArray line() const;
    // Minutes since 1 January 1900 of the record's own date and time: the
    // order in which a pass is posted.
    qint64 moment() const;

    // A line as line() writes it; false for a line without three fields.
    static bool parse(const QByteArray& line, CollectedTransit& transit);
    // Chronological by the record's own date and time; ties keep their order.
    static void sortChronologically(QList<CollectedTransit>& lines);
};
