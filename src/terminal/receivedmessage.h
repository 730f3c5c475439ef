#pragma once

#include <QString>

// A message as the dispatch hands it on: its own sender and normalised text,
// so nothing a later message changes can reach it.
struct ReceivedMessage
{
    qint16 NumTer = 0;
    QString IPTer;
    QString text;
};

// A complete 34-character transit record and the terminal it came from: a
// live read, or a line of a download pass.
struct TransitRead
{
    qint16 NumTer = 0;
    QString IPTer;
    QString RecordTransito;
    QString CodiceFunzione;
};
