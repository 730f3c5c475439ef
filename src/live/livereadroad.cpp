#include "live/livereadroad.h"

#include "app/server.h"
#include "live/badgecheck.h"
#include "live/confirmation.h"
#include "live/databasesession.h"
#include "posting/transitposting.h"
#include "terminal/terminalregistry.h"

LiveReadRoad::LiveReadRoad(ParvixServer& server, QObject* parent)
    : QObject(parent)
    , m_server(server)
{
    connect(&m_server.dispatch(), &MessageDispatch::liveRead, this, &LiveReadRoad::handle);
}

void LiveReadRoad::handle(const TransitRead& read)
{
    TransitContext context;
    DatabaseSession& session = m_server.session();
    session.Open_DB();
    m_server.check().Controlla(read, context);
    if (m_server.registry().BadgeErrato == 0) {
        m_server.posting().CalcolaMov(read, context);
        m_server.confirmation().Conferma(read, context);
    }
    session.Close_DB();
}
