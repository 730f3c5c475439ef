#pragma once

#include <QStringList>

// What posting records (as a terminal stores them: the 32 characters between
// 2 and 3) in true chronological order gives, worked out independently of the
// server (attendance switches off, demo employees, the open order 24/1/12/0):
// attendance rows, and work sheets closed by the next order transit or an exit.
struct Expectation
{
    QStringList attendance; // Dipendente|Data|Causale|Ora|Minuti
    QStringList sheets;     // Dipendente|Data|PosizLav|start|end|Totale
    qsizetype posted = 0;   // records of a known badge

    static Expectation of(QStringList records);
};
