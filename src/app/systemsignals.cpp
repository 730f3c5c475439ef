#include "app/systemsignals.h"

#include "platform/platform.h"

namespace {

SystemSignals* g_instance = nullptr;

// On the platform's thread: handed over to the event loop.
void deliver(Platform::Request request)
{
    QMetaObject::invokeMethod(
        g_instance,
        [request] {
            switch (request) {
            case Platform::Request::Stop:
                Q_EMIT g_instance->terminateRequested();
                break;
            case Platform::Request::Reconnect:
                Q_EMIT g_instance->hangupRequested();
                break;
            case Platform::Request::Retry:
                Q_EMIT g_instance->retryRequested();
                break;
            }
        },
        Qt::QueuedConnection);
}

} // namespace

SystemSignals::SystemSignals(QObject* parent)
    : QObject(parent)
{
    g_instance = this;
    Platform::watchRequests(deliver);
}

SystemSignals::~SystemSignals()
{
    Platform::unwatchRequests();
    g_instance = nullptr;
}
