// TCP client source on QTcpSocket, used without an event loop through its waitFor calls.
#include "Sources_p.h"

#include <QtNetwork/QTcpSocket>

namespace {
constexpr int kConnectTimeoutMs = 10000;
}

TcpSource::TcpSource(const QString &name, const QString &host, quint16 port)
    : ByteSource(name), m_host(host), m_port(port)
{
}

TcpSource::~TcpSource() = default;

bool TcpSource::connectSocket()
{
    m_socket = std::make_unique<QTcpSocket>();
    // Without a bound the socket would take in all the kernel holds: memory stays flat however
    // fast the source sends.
    m_socket->setReadBufferSize(1 << 16);
    m_socket->connectToHost(m_host, m_port);
    if (!m_socket->waitForConnected(kConnectTimeoutMs))
        return fail(QStringLiteral("cannot connect to %1:%2: %3").arg(m_host).arg(m_port).arg(m_socket->errorString()));
    return true;
}

bool TcpSource::open()
{
    return connectSocket();
}

void TcpSource::close()
{
    if (m_socket)
        m_socket->abort();
    m_socket.reset();
}

int TcpSource::waitForBytes(int timeoutMs)
{
    if (m_socket->bytesAvailable() > 0 || m_socket->waitForReadyRead(timeoutMs))
        return 1;
    if (m_socket->state() == QAbstractSocket::ConnectedState)
        return 0;
    if (m_socket->error() == QAbstractSocket::RemoteHostClosedError)
        fail(QStringLiteral("%1:%2 closed the connection").arg(m_host).arg(m_port));
    else
        fail(QStringLiteral("connection to %1:%2 lost: %3").arg(m_host).arg(m_port).arg(m_socket->errorString()));
    return -1;
}

qint64 TcpSource::read(uint8_t *data, qint64 size, int timeoutMs)
{
    const int ready = waitForBytes(timeoutMs);
    if (ready <= 0)
        return ready;
    return m_socket->read(reinterpret_cast<char *>(data), size);
}
