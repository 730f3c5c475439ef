#include "live/livereadroad.h"

#include "database/databasesession.h"
#include "live/badgecheck.h"
#include "live/confirmation.h"
#include "posting/transitposting.h"
#include "terminal/terminalregistry.h"

LiveReadRoad::LiveReadRoad(const Collaborators& with, QObject* parent)
    : QObject(parent)
    , m_with(with)
{}

void LiveReadRoad::handle(const TransitRead& read)
{
    TransitContext context;
    m_with.session.Open_DB();
    m_with.check.Controlla(read, context);
    TerminalRegistry& registry = m_with.registry;
    if (registry.BadgeErrato == 0) {
        // The confirmation answers a failed posting with "KBadge Errato".
        registry.BadgeErrato = m_with.posting.CalcolaMov(read, context) ? 0 : 1;
        m_with.confirmation.Conferma(read, context);
    }
    m_with.session.Close_DB();
}
