#pragma once

#include <QString>

// A failure as the system reports it: the platform's error number and its description.
struct Error
{
    int number = 0;
    QString description;

    bool isSet() const { return number != 0; }
};
