#pragma once
// One HTTP exchange with a server on this machine, for the metrics endpoints: the request as
// written, the reply as read until the server closes the connection (at most 3 s).

#include <QByteArray>

namespace testsupport {

// The whole reply, head and body.
QByteArray HttpExchange(quint16 APort, const QByteArray& ARequest);
// GET /metrics: the body, empty when the reply is not 200.
QByteArray ScrapeMetrics(quint16 APort);

}  // namespace testsupport
