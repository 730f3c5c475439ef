#pragma once

#include <QStringList>

// What posting stored records in true chronological order gives, worked out
// from the records alone, independently of the server (attendance switches
// off, demo employees and the open order 24/1/12/0): attendance rows, and
// work sheets closed by the next order transit or by an exit.
struct Expectation
{
    QStringList attendance; // Dipendente|Data|Causale|Ora|Minuti
    QStringList sheets;     // Dipendente|Data|PosizLav|start|end|Totale

    // Records as the simulator stores them: the 32 characters between 2 and 3.
    static Expectation of(QStringList records);
};
