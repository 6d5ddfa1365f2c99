// UDP source: datagrams that arrive on the local port, their bytes taken in order as one stream.
#include "Sources_p.h"

#include <QtNetwork/QUdpSocket>

#include <cstring>

UdpSource::UdpSource(const QString &name, const QString &host, quint16 port)
    : ByteSource(name), m_host(host), m_port(port)
{
}

UdpSource::~UdpSource() = default;

bool UdpSource::open()
{
    m_socket = std::make_unique<QUdpSocket>();
    const QHostAddress address = m_host.isEmpty() ? QHostAddress(QHostAddress::Any) : QHostAddress(m_host);
    if (address.isNull())
        return fail(QStringLiteral("cannot listen on '%1': not an address of this machine").arg(m_host), true);
    if (!m_socket->bind(address, m_port))
        return fail(QStringLiteral("cannot listen on UDP port %1: %2").arg(m_port).arg(m_socket->errorString()), true);
    return true;
}

void UdpSource::close()
{
    m_socket.reset();
    m_datagram.clear();
}

qint64 UdpSource::read(uint8_t *data, qint64 size, int timeoutMs)
{
    if (m_datagram.isEmpty()) {
        if (!m_socket->hasPendingDatagrams() && !m_socket->waitForReadyRead(timeoutMs))
            return 0;
        if (!m_socket->hasPendingDatagrams())
            return 0;
        m_datagram.resize(int(qMax<qint64>(m_socket->pendingDatagramSize(), 0)));
        const qint64 n = m_socket->readDatagram(m_datagram.data(), m_datagram.size());
        m_datagram.resize(int(qMax<qint64>(n, 0)));
    }
    const qint64 n = qMin<qint64>(size, m_datagram.size());
    std::memcpy(data, m_datagram.constData(), std::size_t(n));
    m_datagram.remove(0, int(n));
    return n;
}
