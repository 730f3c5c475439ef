#pragma once

#include <QByteArray>

// One HTTP exchange with a server on 127.0.0.1: `request` sent as it stands,
// and what comes back until the server closes or the answer is complete (its
// Content-Length read); what came by then after `timeoutMs`.
QByteArray httpExchange(quint16 port, const QByteArray& request, int timeoutMs = 5000);
// The body of a GET, empty unless the answer is `status`.
QByteArray httpGet(quint16 port, const QByteArray& path, int status = 200);
