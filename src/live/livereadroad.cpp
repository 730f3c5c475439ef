#include "live/livereadroad.h"

#include "database/databasesession.h"
#include "live/badgecheck.h"
#include "live/confirmation.h"
#include "posting/transitposting.h"
#include "terminal/terminalregistry.h"

#include <QElapsedTimer>

LiveReadRoad::LiveReadRoad(const Collaborators& with, QObject* parent)
    : QObject(parent)
    , m_with(with)
{}

void LiveReadRoad::handle(const TransitRead& read)
{
    QElapsedTimer took;
    took.start();
    TransitContext context;
    m_with.session.Open_DB();
    const Verdict verdict = m_with.check.Controlla(read, context);
    Outcome outcome = verdict.kind == Verdict::Kind::Rejected ? Outcome::Rejected : Outcome::Failed;
    TerminalRegistry& registry = m_with.registry;
    if (registry.BadgeErrato == 0) {
        const bool posted = m_with.posting.CalcolaMov(read, context);
        // The confirmation answers a failed posting with "KBadge Errato".
        registry.BadgeErrato = posted ? 0 : 1;
        m_with.confirmation.Conferma(read, context);
        outcome = posted ? Outcome::Confirmed : Outcome::Failed;
    }
    const double seconds = double(took.nsecsElapsed()) / 1e9;
    m_with.session.Close_DB();
    Q_EMIT handled(outcome, seconds);
}
