#include "posting/journal.h"

#include "app/activitylog.h"
#include "app/errorcatalogue.h"
#include "posting/transitrecord.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace {

// A double quote inside a text would end the field early and shift the line.
QString quoted(QString text)
{
    return u'"' + text.replace(u'"', u'\'') + u'"';
}

} // namespace

Journal::Journal(const QString& path, ActivityLog& log)
    : m_path(path)
    , m_log(log)
{}

// Field 6 carries the year of the transit's own date: a transit of
// 31 December posted in January belongs to the old year.
QByteArray Journal::line(const Transito& t, qint16 type, const QString& note)
{
    const QStringList fields{
        QString::number(t.Anno),
        QString::number(t.Filiale),
        QString::number(t.Numero),
        QString::number(t.Progressivo),
        QString::number(t.Dipendente),
        quoted(u"%1/%2/%3"_s.arg(t.Data.day()).arg(t.Data.month()).arg(t.Data.year())),
        QString::number(t.Posizione),
        QString::number(type),
        quoted(u"%1:%2"_s.arg(t.Ora).arg(t.Minuti)),
        quoted(note.left(50)),
    };
    return fields.join(u',').toLatin1() + "\r\n";
}

bool Journal::append(const Transito& transit, qint16 type, const QString& note, Error& error)
{
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        error = ErrorCatalogue::forFile(file);
        return false;
    }
    m_log.SpY(115);
    const QByteArray bytes = line(transit, type, note);
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        error = ErrorCatalogue::forFile(file);
        return false;
    }
    file.close();
    return true;
}
