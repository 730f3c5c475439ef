#pragma once

#include <QString>

// A failure as the system reports it: the platform's error number and its description.
struct Error
{
    int number = 0;
    QString description;
    // The database could not be reached, or refused for a passing reason:
    // nothing is wrong with what was asked, and it may be asked again later.
    bool unreachable = false;

    bool isSet() const { return number != 0; }
};
