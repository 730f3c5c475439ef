#include "terminal/netctl/networkcontrol.h"

using namespace Qt::StringLiterals;

QString NetworkControl::describe(qint16 result)
{
    switch (result) {
    case Ok:
        return QString();
    case AlreadyStopped:
        return u"Servizio gi\u00e0 chiuso"_s;
    case ServiceStopped:
        return u"Servizio di rete non attivo"_s;
    case BadAddress:
        return u"Indirizzo del terminale non valido"_s;
    case NoLink:
        return u"Nessun collegamento con il terminale"_s;
    case BadText:
        return u"Testo non inviabile"_s;
    case QueueFull:
        return u"Troppi testi in attesa del collegamento"_s;
    case ListenFailed:
        return u"Porta di ascolto non disponibile"_s;
    default:
        return u"Invio non riuscito (codice %1)"_s.arg(result);
    }
}
