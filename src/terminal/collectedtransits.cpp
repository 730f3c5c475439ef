#include "terminal/collectedtransits.h"

#include "app/basictext.h"
#include "app/errorcatalogue.h"
#include "app/recordwriter.h"
#include "app/settingsreader.h"
#include "posting/transitrecord.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString Collected = u"Scarico.txt"_s;
const QString Sorted = u"ScaricoOK.txt"_s;
const QString Progress = u"ScaricoOK.pos"_s;
const QString Previous = u"ScaricoOK_OLD.txt"_s;
const QString Rejected = u"ScaricoScartati.txt"_s;
const QString AwaitingDeletion = u"ScaricoInCancellazione.txt"_s;
const QString NotedListing = u"ScaricoInCancellazione.new"_s;

// Minutes since 1 January 1900 of the record's date and time.
qint64 momentOf(const QString& record)
{
    Error ignored;
    qint16 hour = 0;
    qint16 minute = 0;
    TransitRecord::number(Basic::Mid(record, 2, 2), hour, ignored);
    TransitRecord::number(Basic::Mid(record, 4, 2), minute, ignored);
    return QDate(1900, 1, 1).daysTo(TransitRecord::date(record)) * 1440 + hour * 60 + minute;
}

// Chronological; lines of the same minute keep their order.
void sortByMoment(QList<std::pair<qint64, qsizetype>>& keys)
{
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
}

} // namespace

QByteArray CollectedTransit::line() const
{
    return QString::number(NumTer).toLatin1() +
           RecordWriter::quotedRecord({IPTer, record}).prepend(',');
}

CollectedTransits::CollectedTransits(const QString& workingDirectory)
    : m_folder(workingDirectory)
{}

QString CollectedTransits::path(const QString& name) const
{
    return QDir(m_folder).filePath(name);
}

bool CollectedTransits::append(const QList<CollectedTransit>& listing, Error& error) const
{
    QFile file(path(Collected));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        error = ErrorCatalogue::forFile(file);
        return false;
    }
    QByteArray bytes;
    for (const CollectedTransit& transit : listing)
        bytes += transit.line();
    if (file.write(bytes) != bytes.size() || !file.flush() || ::fsync(file.handle()) != 0) {
        error = ErrorCatalogue::forFile(file);
        file.close();
        return false;
    }
    return true;
}

bool CollectedTransits::noteListing(const QList<CollectedTransit>& listing, Error& error) const
{
    QByteArray bytes;
    for (const CollectedTransit& transit : listing)
        bytes += transit.line();
    return RecordWriter::replaceFile(path(NotedListing), bytes, error);
}

void CollectedTransits::confirmListing() const
{
    QFile::remove(path(AwaitingDeletion));
    QFile::rename(path(NotedListing), path(AwaitingDeletion));
}

void CollectedTransits::discardNotedListing() const
{
    QFile::remove(path(NotedListing));
}

void CollectedTransits::settleListing() const
{
    const auto lastOf = [this](const QString& name) {
        QFile file(path(name));
        CollectedTransit last;
        CollectedTransit transit;
        if (file.open(QIODevice::ReadOnly)) {
            while (!file.atEnd()) {
                if (parse(file.readLine(), transit))
                    last = transit;
            }
        }
        return last;
    };
    if (!QFileInfo::exists(path(NotedListing)))
        return;
    const CollectedTransit noted = lastOf(NotedListing);
    const CollectedTransit collected = lastOf(Collected);
    if (!noted.record.isEmpty() && noted.IPTer == collected.IPTer &&
        noted.record == collected.record)
        confirmListing();
    else
        discardNotedListing();
}

qsizetype CollectedTransits::alreadyCollected(const QList<CollectedTransit>& listing) const
{
    QFile file(path(AwaitingDeletion));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    QList<CollectedTransit> awaiting;
    CollectedTransit transit;
    while (!file.atEnd() && awaiting.size() <= listing.size()) {
        if (parse(file.readLine(), transit))
            awaiting.append(transit);
    }
    if (awaiting.isEmpty() || awaiting.size() > listing.size())
        return 0;
    for (qsizetype i = 0; i < awaiting.size(); ++i) {
        if (awaiting[i].IPTer != listing[i].IPTer || awaiting[i].record != listing[i].record)
            return 0;
    }
    return awaiting.size();
}

void CollectedTransits::clearAwaitingDeletion() const
{
    QFile::remove(path(AwaitingDeletion));
    discardNotedListing();
}

bool CollectedTransits::parse(const QByteArray& line, CollectedTransit& transit)
{
    SettingsReader reader;
    reader.setData(line);
    QStringList fields;
    Error incomplete;
    if (!reader.read(3, fields, incomplete))
        return false;
    transit = {Basic::Val(fields[0]), fields[1], fields[2]};
    return true;
}

bool CollectedTransits::startPosting(Error& error) const
{
    QFile collected(path(Collected));
    QList<std::pair<qint64, qsizetype>> keys; // moment, offset of the line
    if (collected.exists()) {
        if (!collected.open(QIODevice::ReadOnly)) {
            error = ErrorCatalogue::forFile(collected);
            return false;
        }
        CollectedTransit transit;
        while (!collected.atEnd()) {
            const qint64 offset = collected.pos();
            if (parse(collected.readLine(), transit))
                keys.append({momentOf(transit.record), offset});
        }
    }
    sortByMoment(keys);
    QSaveFile sorted(path(Sorted));
    if (!sorted.open(QIODevice::WriteOnly)) {
        error = ErrorCatalogue::forFile(sorted);
        return false;
    }
    CollectedTransit transit;
    for (const auto& key : keys) {
        collected.seek(key.second);
        parse(collected.readLine(), transit);
        const QByteArray line = transit.line();
        if (sorted.write(line) != line.size())
            break;
    }
    const int token = 1 + int(QDateTime::currentMSecsSinceEpoch() % 2000);
    if (!sorted.commit()) {
        error = ErrorCatalogue::forFile(sorted);
        return false;
    }
    if (!RecordWriter::replaceFile(path(Progress), "0 " + QByteArray::number(token) + "\r\n",
                                   error))
        return false;
    QFile::resize(path(Collected), 0);
    return true;
}

bool CollectedTransits::openPass(Error& error)
{
    m_pass = std::make_unique<QFile>(path(Sorted));
    if (m_pass->open(QIODevice::ReadOnly))
        return true;
    error = ErrorCatalogue::forFile(*m_pass);
    m_pass.reset();
    return false;
}

bool CollectedTransits::nextInPass(CollectedTransit& transit)
{
    while (m_pass && !m_pass->atEnd()) {
        if (parse(m_pass->readLine(), transit))
            return true;
    }
    return false;
}

bool CollectedTransits::postingPending() const
{
    return QFileInfo::exists(path(Progress));
}

qint64 CollectedTransits::progress() const
{
    QFile file(path(Progress));
    return file.open(QIODevice::ReadOnly)
               ? file.readAll().simplified().split(' ').value(0).toLongLong()
               : 0;
}

int CollectedTransits::token() const
{
    QFile file(path(Progress));
    return file.open(QIODevice::ReadOnly) ? file.readAll().simplified().split(' ').value(1).toInt()
                                          : 0;
}

void CollectedTransits::setProgress(qint64 posted)
{
    if (!m_progress) {
        m_token = token();
        m_progress = std::make_unique<QFile>(path(Progress));
        if (!m_progress->open(QIODevice::ReadWrite | QIODevice::Unbuffered))
            return m_progress.reset();
    }
    // Fixed width, so each record overwrites the previous one whole.
    m_progress->seek(0);
    m_progress->write(QByteArray::number(posted).rightJustified(19, ' ') + ' ' +
                      QByteArray::number(m_token).rightJustified(4, ' ') + "\r\n");
}

void CollectedTransits::finishPosting()
{
    m_progress.reset();
    m_pass.reset();
    QFile::remove(path(Previous));
    QFile::rename(path(Sorted), path(Previous));
    QFile(path(Sorted)).open(QIODevice::WriteOnly);
    QFile::remove(path(Progress));
}

bool CollectedTransits::hasCollected() const
{
    return QFileInfo(path(Collected)).size() > 0;
}

void CollectedTransits::keepRejected(const CollectedTransit& transit) const
{
    QFile file(path(Rejected));
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(QString::number(transit.NumTer).toLatin1() + ",\"" + transit.IPTer.toLatin1() +
                   "\"," + transit.record.toLatin1().toPercentEncoding(" #*:/") + "\r\n");
}

void CollectedTransits::sortChronologically(QList<CollectedTransit>& lines)
{
    QList<std::pair<qint64, qsizetype>> keys;
    keys.reserve(lines.size());
    for (qsizetype i = 0; i < lines.size(); ++i)
        keys.append({momentOf(lines[i].record), i});
    sortByMoment(keys);
    QList<CollectedTransit> sorted;
    sorted.reserve(lines.size());
    for (const auto& key : keys)
        sorted.append(std::move(lines[key.second]));
    lines = std::move(sorted);
}
