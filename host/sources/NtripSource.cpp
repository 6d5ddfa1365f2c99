// NTRIP client source: the request on a TCP connection, the caster's answer, then the stream,
// chunked or not; a GGA sentence after connecting and at every interval when one is given.
#include "Sources_p.h"

#include <QtNetwork/QTcpSocket>

#include <cstring>

namespace {
constexpr int kAnswerTimeoutMs = 10000;
constexpr int kMaxAnswerBytes = 16 * 1024;
}

NtripSource::NtripSource(const QString &name, const ntrip::Request &request, const SourceOptions &options)
    : TcpSource(name, request.host, request.port), m_request(request), m_gga(options.gga),
      m_ggaPosition(options.ggaPosition),
      m_ggaIntervalMs(options.ggaIntervalS * 1000)
{
}

// Reads the answer's header; `rest` gets what came after it. False (failure set) when refused.
bool NtripSource::readAnswer(QByteArray &rest)
{
    QByteArray received;
    QElapsedTimer timer;
    timer.start();
    ntrip::Answer answer;
    while ((answer = ntrip::parseAnswer(received)).kind == ntrip::Answer::Incomplete) {
        if (received.size() > kMaxAnswerBytes)
            return fail(QStringLiteral("%1:%2 answered with no end to its header").arg(m_host).arg(m_port));
        const int left = kAnswerTimeoutMs - int(timer.elapsed());
        if (left <= 0)
            return fail(QStringLiteral("%1:%2 did not answer the request").arg(m_host).arg(m_port));
        if (waitForBytes(left) < 0)
            return false;
        received += m_socket->readAll();
    }
    const QString mount = QStringLiteral("/") + m_request.mount;
    switch (answer.kind) {
    case ntrip::Answer::Stream:
        break;
    case ntrip::Answer::Unauthorized:
        return fail(QStringLiteral("the caster %1 refused the credentials for %2 (%3)").arg(m_host, mount, answer.statusLine), true);
    case ntrip::Answer::Sourcetable:
    case ntrip::Answer::NotFound:
        return fail(QStringLiteral("the caster %1 has no mountpoint %2 (see rtcmv sources)").arg(m_host, mount), true);
    default:
        return fail(QStringLiteral("the caster %1 refused %2: %3").arg(m_host, mount, answer.statusLine));
    }
    m_chunked = answer.chunked;
    rest = received.mid(answer.headerBytes);
    return true;
}

bool NtripSource::open()
{
    m_chunks.reset();
    m_pending.clear();
    if (!connectSocket())
        return false;
    m_socket->write(ntrip::requestFor(m_request));
    QByteArray rest;
    if (!readAnswer(rest)) {
        close();
        return false;
    }
    if (m_chunked) // a malformed chunk is reported once the good ones before it are read
        m_chunks.decode(rest.constData(), std::size_t(rest.size()), m_pending);
    else
        m_pending = rest;
    if (!m_gga.isEmpty() || !m_ggaPosition.isEmpty())
        sendPosition();
    return true;
}

void NtripSource::sendPosition()
{
    if (!m_ggaPosition.isEmpty()) // the sentence carries the time it is sent
        m_gga = ntrip::ggaSentence(m_ggaPosition[0], m_ggaPosition[1], m_ggaPosition[2]);
    m_socket->write(m_gga);
    m_socket->flush();
    m_sinceGga.start();
}

qint64 NtripSource::read(uint8_t *data, qint64 size, int timeoutMs)
{
    if (m_sinceGga.isValid() && m_sinceGga.elapsed() >= m_ggaIntervalMs)
        sendPosition();
    while (m_pending.isEmpty()) {
        if (!m_chunks.error().isEmpty())
            return lost(QStringLiteral("%1: %2").arg(name(), m_chunks.error()));
        if (m_chunks.finished())
            return lost(QStringLiteral("the caster %1 ended the stream").arg(m_host));
        const int ready = waitForBytes(qMin(timeoutMs, m_ggaIntervalMs));
        if (ready <= 0)
            return ready;
        const QByteArray bytes = m_socket->readAll();
        if (!m_chunked)
            m_pending = bytes;
        else
            m_chunks.decode(bytes.constData(), std::size_t(bytes.size()), m_pending);
    }
    const qint64 n = qMin<qint64>(size, m_pending.size());
    std::memcpy(data, m_pending.constData(), std::size_t(n));
    m_pending.remove(0, int(n));
    return n;
}

namespace {

// Reads what the caster sends until it closes, the table ends or a bound is reached.
bool readAnswerBody(QTcpSocket &socket, QByteArray &received, QString *error)
{
    constexpr int kMaxTable = 16 << 20, kTimeoutMs = 15000;
    QElapsedTimer timer;
    timer.start();
    while (!received.contains("ENDSOURCETABLE") && received.size() < kMaxTable) {
        const int left = kTimeoutMs - int(timer.elapsed());
        if (left <= 0 || (!socket.waitForReadyRead(left) && socket.state() == QAbstractSocket::ConnectedState)) {
            *error = QStringLiteral("the caster sent no whole sourcetable");
            return false;
        }
        received += socket.readAll();
        if (socket.state() != QAbstractSocket::ConnectedState)
            break;
    }
    return true;
}

} // namespace

bool fetchSourcetable(const ntrip::Request &request, QByteArray *table, QString *error)
{
    QTcpSocket socket;
    socket.connectToHost(request.host, request.port);
    if (!socket.waitForConnected(10000)) {
        *error = QStringLiteral("cannot connect to %1:%2: %3").arg(request.host).arg(request.port).arg(socket.errorString());
        return false;
    }
    ntrip::Request tableRequest = request;
    tableRequest.mount.clear();
    socket.write(ntrip::requestFor(tableRequest));
    QByteArray received;
    if (!readAnswerBody(socket, received, error))
        return false;
    const ntrip::Answer answer = ntrip::parseAnswer(received);
    if (answer.kind != ntrip::Answer::Sourcetable) {
        *error = answer.kind == ntrip::Answer::Unauthorized
            ? QStringLiteral("the caster %1 refused the credentials (%2)").arg(request.host, answer.statusLine)
            : QStringLiteral("the caster %1 sent no sourcetable (%2)").arg(request.host, answer.statusLine);
        return false;
    }
    const QByteArray body = received.mid(answer.headerBytes);
    if (!answer.chunked) {
        *table = body;
        return true;
    }
    ntrip::ChunkDecoder chunks;
    table->clear();
    if (!chunks.decode(body.constData(), std::size_t(body.size()), *table)) {
        *error = chunks.error();
        return false;
    }
    return true;
}
