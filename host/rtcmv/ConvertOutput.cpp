#include "ConvertOutput.h"

#include "Commands.h"

#include <QtCore/QDeadlineTimer>
#include <QtCore/QUrl>
#include <QtCore/QUrlQuery>
#include <QtNetwork/QTcpServer>
#include <QtNetwork/QTcpSocket>
#include <QtSerialPort/QSerialPort>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// How much of the stream a TCP client may have waiting, beyond what the system buffers, before it
// is dropped: at the rates RTCM 2 is sent, minutes of corrections.
constexpr qint64 kMaxQueued = 1 << 20;
// The system's send buffer for one client (it reserves twice this).
constexpr int kSystemBuffer = 32 << 10;
// How long the clients are given at the end of the stream to take what waits for them.
constexpr int kDrainTime = 5000;

class FileOutput : public ConvertOutput
{
public:
    FileOutput(FILE *file, bool live) : m_file(file), m_live(live) {}
    ~FileOutput() override
    {
        if (m_file != stdout)
            std::fclose(m_file);
    }
    bool write(const uint8_t *data, std::size_t size) override
    {
        if (std::fwrite(data, 1, size, m_file) != size || (m_live && std::fflush(m_file) != 0))
            return fail();
        return true;
    }
    bool flush() override { return std::fflush(m_file) == 0 || fail(); }
    QString failure() const override { return m_failure; }

private:
    bool fail()
    {
        m_failure = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    FILE *m_file;
    bool m_live;
    QString m_failure;
};

class SerialOutput : public ConvertOutput
{
public:
    explicit SerialOutput(QSerialPort *port) : m_port(port) {}
    bool write(const uint8_t *data, std::size_t size) override
    {
        if (m_port->write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
            return false;
        // A serial line is slow: wait until the message is on its way, at most a second.
        return m_port->waitForBytesWritten(1000) || m_port->bytesToWrite() == 0;
    }
    QString failure() const override { return m_port->errorString(); }

private:
    std::unique_ptr<QSerialPort> m_port;
};

class TcpServerOutput : public ConvertOutput
{
public:
    TcpServerOutput(QTcpServer *server, qint64 maxQueued) : m_server(server), m_maxQueued(maxQueued) {}
    bool write(const uint8_t *data, std::size_t size) override
    {
        poll();
        for (std::size_t i = m_clients.size(); i-- > 0;) {
            QTcpSocket &c = *m_clients[i];
            c.write(reinterpret_cast<const char *>(data), qint64(size));
            c.flush();
            // A client that has stopped reading would hold ever more of the stream in memory, and
            // what it would get later is stale corrections: it is dropped, the others go on.
            if (c.bytesToWrite() > m_maxQueued) {
                reportError(QStringLiteral("dropped the client at %1 port %2: %3 bytes of the stream wait for it")
                                .arg(c.peerAddress().toString())
                                .arg(c.peerPort())
                                .arg(c.bytesToWrite()));
                c.abort();
                m_clients.erase(m_clients.begin() + std::ptrdiff_t(i));
            }
        }
        return true;
    }
    // At the end of the stream each client is given what waits for it, for a few seconds at most.
    bool flush() override
    {
        const QDeadlineTimer deadline(kDrainTime);
        for (auto &c : m_clients) {
            while (c->bytesToWrite() > 0 && c->waitForBytesWritten(int(deadline.remainingTime())))
                ;
        }
        return true;
    }
    // New clients get the stream from now on; those gone are dropped.
    void poll() override
    {
        m_server->waitForNewConnection(0);
        while (QTcpSocket *socket = m_server->nextPendingConnection()) {
            // Without a bound the system would take megabytes for a client that does not read
            // before our queue saw any of it; the stream needs far less.
            socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kSystemBuffer);
            m_clients.emplace_back(socket);
        }
        for (std::size_t i = m_clients.size(); i-- > 0;) {
            QTcpSocket &c = *m_clients[i];
            c.waitForBytesWritten(0);
            if (c.state() != QAbstractSocket::ConnectedState)
                m_clients.erase(m_clients.begin() + std::ptrdiff_t(i));
        }
    }

private:
    std::unique_ptr<QTcpServer> m_server;
    std::vector<std::unique_ptr<QTcpSocket>> m_clients;
    qint64 m_maxQueued;
};

std::unique_ptr<ConvertOutput> openSerial(const QUrl &url, QString *error)
{
    auto port = std::make_unique<QSerialPort>(url.path());
    bool ok = true;
    const QString baud = QUrlQuery(url).queryItemValue(QStringLiteral("baud"));
    port->setBaudRate(baud.isEmpty() ? 9600 : baud.toInt(&ok));
    if (!ok) {
        *error = QStringLiteral("bad baud rate '%1' in %2").arg(baud, url.toString());
        return nullptr;
    }
    if (!port->open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot open %1: %2").arg(url.path(), port->errorString());
        return nullptr;
    }
    return std::make_unique<SerialOutput>(port.release());
}

std::unique_ptr<ConvertOutput> openTcpServer(const QUrl &url, QString *error)
{
    const int port = url.port(-1);
    if (port <= 0) {
        *error = QStringLiteral("no port in %1 (such as tcp-server://:2102)").arg(url.toString());
        return nullptr;
    }
    bool ok = true;
    const QString queue = QUrlQuery(url).queryItemValue(QStringLiteral("queue"));
    const qint64 maxQueued = queue.isEmpty() ? kMaxQueued : queue.toLongLong(&ok);
    if (!ok || maxQueued <= 0) {
        *error = QStringLiteral("bad queue size '%1' in %2").arg(queue, url.toString());
        return nullptr;
    }
    auto server = std::make_unique<QTcpServer>();
    const QHostAddress host = url.host().isEmpty() ? QHostAddress(QHostAddress::Any) : QHostAddress(url.host());
    if (!server->listen(host, quint16(port))) {
        *error = QStringLiteral("cannot listen on %1: %2").arg(url.toString(), server->errorString());
        return nullptr;
    }
    return std::make_unique<TcpServerOutput>(server.release(), maxQueued);
}

} // namespace

std::unique_ptr<ConvertOutput> openConvertOutput(const QString &destination, bool live, QString *error)
{
    if (destination == QLatin1String("-"))
        return std::make_unique<FileOutput>(stdout, live);
    if (destination.startsWith(QLatin1String("serial://")))
        return openSerial(QUrl(destination), error);
    if (destination.startsWith(QLatin1String("tcp-server://")))
        return openTcpServer(QUrl(destination), error);
    FILE *file = std::fopen(destination.toLocal8Bit().constData(), "wb");
    if (file == nullptr) {
        *error = QStringLiteral("cannot open %1: %2").arg(destination, QString::fromLocal8Bit(std::strerror(errno)));
        return nullptr;
    }
    return std::make_unique<FileOutput>(file, live);
}
