#pragma once

#include <QByteArray>
#include <QList>

namespace tarvel {

// What the status page tells beside the statistics: the service as the window shows it.
struct StatusFacts {
    bool running = false;
    QByteArray storeCode;
    QByteArray storeName;
    bool extendedLayout = false;
    QByteArray priceLevel; // empty before the first Start
    QByteArray version;
    // The registry's addresses: those that never connected show as silent. Empty when unknown. Only
    // the page reads them; the facts of another request may leave them out.
    QList<QByteArray> registered;
    // The last Start found no row for the store in POSSYS.FDB (standard layout): every price 0.00.
    bool storeUnknown = false;
    // Read at the moment of the request, also while the event thread waits on the database: how long
    // the scan now looked up has waited on the POS database (0: none waits), and whether the database
    // answers (false while the last call failed or the one running is past the query deadline).
    qint64 databaseWaitingMsecs = 0;
    bool databaseUp = true;
};

} // namespace tarvel
