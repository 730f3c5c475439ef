#include "app/errorcatalogue.h"

#include <QDir>
#include <QFileDevice>
#include <QFileInfo>

#include <map>

using namespace Qt::StringLiterals;

namespace ErrorCatalogue {

QString description(int number)
{
    static const std::map<int, QString> descriptions{
        {ErrorNumber::Overflow, u"Overflow"_s},
        {ErrorNumber::SubscriptOutOfRange, u"Indice non compreso nell'intervallo"_s},
        {ErrorNumber::TypeMismatch, u"Tipo non corrispondente"_s},
        {ErrorNumber::BadFileName, u"Nome o numero di file non valido"_s},
        {ErrorNumber::FileNotFound, u"Impossibile trovare il file"_s},
        {ErrorNumber::DeviceIo, u"Errore di I/O sulla periferica"_s},
        {ErrorNumber::DiskFull, u"Disco pieno"_s},
        {ErrorNumber::InputPastEndOfFile, u"Input oltre la fine del file"_s},
        {ErrorNumber::PermissionDenied, u"Autorizzazione negata"_s},
        {ErrorNumber::PathFileAccess, u"Errore di accesso al percorso/file"_s},
        {ErrorNumber::PathNotFound, u"Impossibile trovare il percorso"_s},
        {ErrorNumber::ControlArrayElementMissing,
         u"Elemento della matrice di controlli inesistente"_s},
        {ErrorNumber::InvalidUseOfNull, u"Utilizzo non valido di Null"_s},
        {ErrorNumber::NoCurrentRecord,
         u"Il valore di BOF o EOF \u00e8 True oppure il record corrente \u00e8 stato eliminato"_s},
        {ErrorNumber::ObjectClosed, u"Operazione non consentita se l'oggetto \u00e8 chiuso"_s},
        {ErrorNumber::ProviderNotFound, u"Impossibile trovare il provider"_s},
    };
    const auto it = descriptions.find(number);
    return it != descriptions.end() ? it->second
                                    : u"Errore definito dall'applicazione o dall'oggetto"_s;
}

Error make(int number)
{
    return Error{number, description(number)};
}

QString text(const Error& error)
{
    return u"Errore #"_s + QString::number(error.number) + u" verificato: "_s + error.description;
}

Error forFile(const QFileDevice& file)
{
    const QFileInfo info(file.fileName());
    switch (file.error()) {
    case QFileDevice::PermissionsError:
        return make(ErrorNumber::PermissionDenied);
    case QFileDevice::ResourceError:
        return make(ErrorNumber::DiskFull);
    case QFileDevice::OpenError:
        if (info.isDir())
            return make(ErrorNumber::PathFileAccess);
        if (!info.exists())
            return make(info.dir().exists() ? ErrorNumber::FileNotFound
                                            : ErrorNumber::PathNotFound);
        return make(ErrorNumber::PathFileAccess);
    default:
        return make(ErrorNumber::DeviceIo);
    }
}

} // namespace ErrorCatalogue
