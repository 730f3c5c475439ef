#pragma once

#include "app/error.h"

#include <QLatin1StringView>

// The thresholds of the alerts, from an optional settings file: two fields,
// the minutes a terminal may stay without a link and the free space in MB
// the working folder's disk must keep. 0 turns that alert off.
struct AlertSettings
{
    static constexpr QLatin1StringView Path{"Set/Allarmi.set"};

    qint32 linkMinutes = 10;
    qint32 freeSpaceMB = 200;

    // A missing file leaves the defaults and succeeds; any other failure,
    // a negative number included, leaves the defaults and gives the error.
    static bool read(const QString& path, AlertSettings& settings, Error& error);
};
