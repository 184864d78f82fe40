#include "control/LocalAddresses.h"

#include <QHostAddress>
#include <QHostInfo>

namespace tarvel {

QByteArray LocalHostName()
{
    return QHostInfo::localHostName().toLocal8Bit();
}

QList<QByteArray> LocalAddresses()
{
    QList<QByteArray> addresses;
    const QString name = QHostInfo::localHostName();
    if (name.isEmpty())
        return addresses;
    const QHostInfo info = QHostInfo::fromName(name);
    if (info.error() != QHostInfo::NoError)
        return addresses;
    for (const QHostAddress& address : info.addresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            addresses.append(address.toString().toLatin1());
    }
    return addresses;
}

} // namespace tarvel
