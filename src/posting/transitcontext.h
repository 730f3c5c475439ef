#pragma once

#include <QString>

// What the check learns about one transit, and the posting adds, for the
// posting and the confirmation to read. It starts empty for every transit, so nothing of an
// earlier transit (an order's plate, say) can show up on this one.
struct TransitContext
{
    qint16 NumTessera = 0;
    qint16 DipCorrente = 0;
    QString FlagCollaudo;
    QString OraTransito;
    QString MinTransito;
    qint16 StatoPresenza = 0; // 1 entry, 2 exit
    QString OrdAnno;
    QString OrdFiliale;
    QString OrdineCorrente;
    QString OrdProgr;
    QString OrdTarga;
    qint16 PosizCorrente = 0; // set by the posting
};
