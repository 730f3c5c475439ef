#pragma once

#include <QList>
#include <QString>

// What the network control asks of the configured terminals: which addresses
// may hold a link, and the number each stands for. The answer may change
// between two questions (the operator edits the table).
class LinkDirectory
{
public:
    struct Entry
    {
        QString IPTer;
        qint16 number = 0;
    };

    virtual ~LinkDirectory() = default;
    // The terminals that may hold a link, in the order of the table.
    virtual QList<Entry> linkable() const = 0;
};
