#include "spool/legacypass.h"

#include "spool/passfiles.h"

#include <QDir>
#include <QFile>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString Progress = u"ScaricoOK.pos"_s;
const QString Awaiting = u"ScaricoInCancellazione.txt"_s;
const QString Noted = u"ScaricoInCancellazione.new"_s;

QList<CollectedTransit> readLines(const QString& path)
{
    QList<CollectedTransit> lines;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    CollectedTransit transit;
    while (!file.atEnd()) {
        if (CollectedTransit::parse(file.readLine(), transit))
            lines.append(transit);
    }
    return lines;
}

QList<QByteArray> sortedLines(const QList<CollectedTransit>& transits)
{
    QList<QByteArray> lines;
    for (const CollectedTransit& transit : transits)
        lines.append(transit.line());
    std::sort(lines.begin(), lines.end());
    return lines;
}

bool sameLast(const QList<CollectedTransit>& a, const QList<CollectedTransit>& b)
{
    return !a.isEmpty() && !b.isEmpty() && a.last().IPTer == b.last().IPTer &&
           a.last().record == b.last().record;
}

} // namespace

namespace LegacyPass {

Spool::Legacy read(const QString& folder, const PostedMark& postedMark)
{
    const QDir dir(folder);
    Spool::Legacy legacy;
    const QList<CollectedTransit> collected = readLines(dir.filePath(PassFiles::Collected));
    // A listing was noted before its records reached Scarico.txt: the note
    // counts only if Scarico.txt ends with it.
    const QList<CollectedTransit> noted = readLines(dir.filePath(Noted));
    legacy.awaiting = sameLast(noted, collected) ? noted : readLines(dir.filePath(Awaiting));

    QFile progressFile(dir.filePath(Progress));
    const QList<CollectedTransit> ordered = readLines(dir.filePath(PassFiles::Ordered));
    if (!progressFile.open(QIODevice::ReadOnly) || ordered.isEmpty()) {
        // Without a pass being posted, ScaricoOK.txt was posted already.
        legacy.pending = collected;
        return legacy;
    }
    const QList<QByteArray> fields = progressFile.readAll().simplified().split(' ');
    qint64 posted = qBound<qint64>(0, fields.value(0).toLongLong(), ordered.size());
    const int token = fields.value(1).toInt();
    // The line in flight may have committed with its mark in the same transaction.
    if (token > 0 && postedMark && postedMark(token) == posted + 1)
        ++posted;
    legacy.pending = ordered.mid(posted);
    // Scarico.txt was emptied right after ScaricoOK.txt was made from it; a
    // stop in between left the same records in both.
    if (sortedLines(collected) != sortedLines(ordered))
        legacy.pending += collected;
    return legacy;
}

void removeFiles(const QString& folder)
{
    const QDir dir(folder);
    for (const QString& name : {Progress, Awaiting, Noted})
        QFile::remove(dir.filePath(name));
}

} // namespace LegacyPass
