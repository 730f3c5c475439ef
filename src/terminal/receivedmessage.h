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
