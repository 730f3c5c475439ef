#include "spool/passfiles.h"

#include "app/crashpoint.h"
#include "app/errorcatalogue.h"
#include "app/recordwriter.h"
#include "spool/appendonce.h"
#include "spool/spool.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

using namespace Qt::StringLiterals;

const QString PassFiles::Collected = u"Scarico.txt"_s;
const QString PassFiles::Ordered = u"ScaricoOK.txt"_s;

namespace {

const QString Previous = u"ScaricoOK_OLD.txt"_s;
const QString SetAside = u"ScaricoScartati.txt"_s;
const QString Unposted = u"ScaricoNonRegistrati.txt"_s;

// A whole file from the lines of one state, replaced only when complete.
bool writeLines(const QString& path, Spool& spool, Spool::State state,
                const std::function<QByteArray(const Spool::Line&)>& format, Error& error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = ErrorCatalogue::forFile(file);
        return false;
    }
    bool written = true;
    if (!spool.forEach(
            state,
            [&](const Spool::Line& line) {
                const QByteArray bytes = format(line);
                written = written && file.write(bytes) == bytes.size();
            },
            error))
        return false;
    if (!written || !file.commit()) {
        error = ErrorCatalogue::forFile(file);
        return false;
    }
    return true;
}

} // namespace

PassFiles::PassFiles(const QString& folder)
    : m_folder(folder)
{}

QString PassFiles::path(const QString& name) const
{
    return QDir(m_folder).filePath(name);
}

void PassFiles::startCollecting() const
{
    QFile(path(Collected)).open(QIODevice::WriteOnly | QIODevice::Truncate);
}

void PassFiles::appendCollected(const QList<CollectedTransit>& lines) const
{
    QByteArray bytes;
    for (const CollectedTransit& line : lines)
        bytes += line.line();
    Error ignored; // a view: the spool holds the records
    AppendOnce::append(path(Collected), bytes, ignored);
}

bool PassFiles::writeOrdered(Spool& spool, Error& error) const
{
    if (!writeLines(
            path(Ordered), spool, Spool::State::Pending,
            [](const Spool::Line& line) { return line.transit.line(); }, error))
        return false;
    QFile::resize(path(Collected), 0);
    return true;
}

void PassFiles::finishPosting() const
{
    QFile::remove(path(Previous));
    QFile::rename(path(Ordered), path(Previous));
    QFile(path(Ordered)).open(QIODevice::WriteOnly);
}

bool PassFiles::writeUnposted(Spool& spool, Error& error) const
{
    return writeLines(
        path(Unposted), spool, Spool::State::Failed,
        [](const Spool::Line& line) {
            return QByteArray::number(line.transit.NumTer) +
                   RecordWriter::quotedRecord({line.transit.IPTer, line.transit.record, line.error})
                       .prepend(',');
        },
        error);
}

QByteArray PassFiles::setAsideLine(const CollectedTransit& transit)
{
    return QByteArray::number(transit.NumTer) + ",\"" + transit.IPTer.toLatin1() + "\"," +
           transit.record.toLatin1().toPercentEncoding(" #*:/") + "\r\n";
}

qint64 PassFiles::setAsideOffset() const
{
    return AppendOnce::offsetOf(path(SetAside));
}

bool PassFiles::writeSetAside(Spool& spool, Error& error) const
{
    QList<Spool::SetAside> records;
    if (!spool.unwrittenSetAside(records, error))
        return false;
    for (const Spool::SetAside& record : records) {
        if (!AppendOnce::settle(path(SetAside), record.fileAt, record.line, error))
            return false;
    }
    if (records.isEmpty())
        return true;
    CrashPoint::reach("setaside-written");
    return spool.setAsideWritten(records.last().id, error);
}
