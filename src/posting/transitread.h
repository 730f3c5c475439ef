#pragma once

#include <QString>

// A complete 34-character transit record and the terminal it came from: a
// live read, or a line of a download pass.
struct TransitRead
{
    qint16 NumTer = 0;
    QString IPTer;
    QString RecordTransito;
    QString CodiceFunzione;
};
