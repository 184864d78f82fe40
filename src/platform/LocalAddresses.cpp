#include "platform/LocalAddresses.h"

#include <QHostInfo>
#include <QNetworkInterface>

namespace tarvel {

namespace {

QList<QByteArray> DottedIPv4(const QList<QHostAddress>& addresses, bool loopback)
{
    QList<QByteArray> texts;
    for (const QHostAddress& address : addresses) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol && (loopback || !address.isLoopback()))
            texts.append(address.toString().toLatin1());
    }
    return texts;
}

// The IPv4 addresses of `resolved`, or, when those are all loopback addresses, the IPv4 addresses of
// `interfaces` that are not; the resolved ones when neither gives any.
QList<QByteArray> ChooseLocalAddresses(const QList<QHostAddress>& resolved, const QList<QHostAddress>& interfaces)
{
    QList<QByteArray> named = DottedIPv4(resolved, true);
    if (named.isEmpty() || !DottedIPv4(resolved, false).isEmpty())
        return named;
    const QList<QByteArray> reachable = DottedIPv4(interfaces, false);
    return reachable.isEmpty() ? named : reachable;
}

} // namespace

QByteArray LocalHostName() { return QHostInfo::localHostName().toLocal8Bit(); }

QList<QByteArray> LocalAddresses()
{
    const QString name = QHostInfo::localHostName();
    if (name.isEmpty())
        return {};
    const QHostInfo info = QHostInfo::fromName(name);
    if (info.error() != QHostInfo::NoError)
        return {};
    // A Linux host's own name commonly resolves to 127.0.1.1 or 127.0.0.1 through /etc/hosts.
    return ChooseLocalAddresses(info.addresses(), QNetworkInterface::allAddresses());
}

} // namespace tarvel
