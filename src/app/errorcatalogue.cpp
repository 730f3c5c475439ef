#include "app/errorcatalogue.h"

#include <QDir>
#include <QFileDevice>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace ErrorCatalogue {

QString description(int number)
{
    switch (number) {
    case ErrorNumber::Overflow:
        return u"Overflow"_s;
    case ErrorNumber::TypeMismatch:
        return u"Tipo non corrispondente"_s;
    case ErrorNumber::BadFileName:
        return u"Nome o numero di file non valido"_s;
    case ErrorNumber::FileNotFound:
        return u"Impossibile trovare il file"_s;
    case ErrorNumber::DeviceIo:
        return u"Errore di I/O sulla periferica"_s;
    case ErrorNumber::DiskFull:
        return u"Disco pieno"_s;
    case ErrorNumber::InputPastEndOfFile:
        return u"Input oltre la fine del file"_s;
    case ErrorNumber::PermissionDenied:
        return u"Autorizzazione negata"_s;
    case ErrorNumber::PathFileAccess:
        return u"Errore di accesso al percorso/file"_s;
    case ErrorNumber::PathNotFound:
        return u"Impossibile trovare il percorso"_s;
    case ErrorNumber::ControlArrayElementMissing:
        return u"Elemento della matrice di controlli inesistente"_s;
    default:
        return u"Errore definito dall'applicazione o dall'oggetto"_s;
    }
}

Error make(int number)
{
    return Error{number, description(number)};
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
