#pragma once

#include <QDateTime>
#include <QStringList>

// Builds the 34-character transit record a terminal makes for a reading:
// character 2, HHMM, two unread digits, DDMMYY, badge (4), function code (2),
// position (5), order bar code digits (9: year, branch, number, progressive),
// character 3.
namespace RecordBuilder {

struct Reading
{
    QString badge;
    QString function;
    QString position = QStringLiteral("0");
    QString order = QStringLiteral("0");
    QString time; // HHMM; empty: now
    QString date; // DDMMYY; empty: today
};

// Reading from words: BADGE FUNCTION [POSITION [ORDER [HHMM [DDMMYY]]]].
bool parse(const QStringList& words, Reading& reading, QString& error);
bool build(const Reading& reading, const QDateTime& now, QString& record, QString& error);

} // namespace RecordBuilder
