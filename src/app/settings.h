#pragma once

#include <QString>

// Everything the settings files give, read once at start-up.
struct Settings
{
    QString CartellaRegistro; // folder of the activity log and of the port status file
    QString CartellaOre;      // folder of Ore.dat
    QString CartellaBackup;   // folder of the journal
    QString IPLocale;         // the server's own address, for display
    qint32 NumTerminali = 0;
    qint16 PresAuto = 0;
    qint16 PresAutoFine = 0;
    QString StringaConn;
    QString ModoTarga;
    qint16 NumFiliale = 0;
};
