// NTRIP request, answer, chunked transfer, sourcetable and GGA sentence.
#include "Ntrip.h"

#include <QtCore/QDateTime>

#include <algorithm>
#include <cctype>
#include <cmath>

namespace ntrip {

QByteArray requestFor(const Request &r)
{
    const QByteArray path = '/' + r.mount.toUtf8();
    QByteArray text = "GET " + path + (r.version == 1 ? " HTTP/1.0\r\n" : " HTTP/1.1\r\n");
    if (r.version != 1) {
        text += "Host: " + r.host.toUtf8() + ':' + QByteArray::number(r.port) + "\r\n";
        text += "Ntrip-Version: Ntrip/2.0\r\nConnection: close\r\n";
    }
    text += "User-Agent: NTRIP rtcmv/" RTCMV_VERSION "\r\n";
    if (!r.user.isEmpty() || !r.password.isEmpty())
        text += "Authorization: Basic " + (r.user + QLatin1Char(':') + r.password).toUtf8().toBase64() + "\r\n";
    return text + "\r\n";
}

Answer parseAnswer(const QByteArray &received)
{
    Answer answer;
    const int lineEnd = received.indexOf("\r\n");
    if (lineEnd < 0)
        return answer;
    const QByteArray status = received.left(lineEnd);
    answer.statusLine = QString::fromLatin1(status);
    const QList<QByteArray> words = status.split(' ');
    const int code = words.value(1).toInt();
    answer.headerBytes = lineEnd + 2;
    // Version 1 casters answer in one line: the stream or the sourcetable follows it, and a
    // refusal may be all they send before closing.
    if (status.startsWith("ICY 200"))
        answer.kind = Answer::Stream;
    else if (status.startsWith("SOURCETABLE 200"))
        answer.kind = Answer::Sourcetable;
    else if (code == 401 || status.startsWith("ERROR - Bad Pas"))
        answer.kind = Answer::Unauthorized;
    else if (code == 404 || status.startsWith("ERROR - Bad Mount"))
        answer.kind = Answer::NotFound;
    else if (status.startsWith("ERROR"))
        answer.kind = Answer::Refused;
    if (answer.kind != Answer::Incomplete)
        return answer;
    const int headerEnd = received.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return answer;
    answer.headerBytes = headerEnd + 4;
    const QByteArray header = received.left(headerEnd).toLower();
    answer.chunked = header.contains("\r\ntransfer-encoding: chunked");
    if (code == 200 && header.contains("\r\ncontent-type: gnss/sourcetable"))
        answer.kind = Answer::Sourcetable;
    else if (code == 200 && words.value(0).startsWith("HTTP/1."))
        answer.kind = Answer::Stream;
    else
        answer.kind = Answer::Refused;
    return answer;
}

bool ChunkDecoder::failWith(const QString &text)
{
    m_state = State::Failed;
    m_error = text;
    return false;
}

// The size line is complete (without its "\r\n"): its hexadecimal size, then any extension.
bool ChunkDecoder::sizeLineDone()
{
    const QByteArray line = m_line;
    m_line.clear();
    const int semicolon = line.indexOf(';');
    const QByteArray digits = (semicolon < 0 ? line : line.left(semicolon)).trimmed();
    bool ok = !digits.isEmpty() && digits.size() <= 8;
    for (char c : digits)
        ok = ok && std::isxdigit(static_cast<unsigned char>(c));
    if (!ok)
        return failWith(QStringLiteral("malformed chunk size '%1'").arg(QString::fromLatin1(line.left(32)).toHtmlEscaped()));
    m_left = std::size_t(digits.toULong(nullptr, 16));
    if (m_left > kMaxChunk)
        return failWith(QStringLiteral("chunk of %1 bytes, more than the %2 allowed").arg(m_left).arg(kMaxChunk));
    m_state = m_left == 0 ? State::Trailer : State::Data;
    return true;
}

bool ChunkDecoder::decode(const char *in, std::size_t size, QByteArray &out)
{
    for (std::size_t i = 0; i < size;) {
        switch (m_state) {
        case State::Data: {
            const std::size_t n = std::min(m_left, size - i);
            out.append(in + i, int(n));
            i += n;
            m_left -= n;
            if (m_left == 0)
                m_state = State::DataEnd;
            break;
        }
        case State::DataEnd:
            // "\r\n" after the data, one byte at a time.
            if (in[i] != (m_line.isEmpty() ? '\r' : '\n'))
                return failWith(QStringLiteral("chunk not followed by a line end"));
            m_line += in[i++];
            if (m_line.size() == 2) {
                m_line.clear();
                m_state = State::Size;
            }
            break;
        case State::Size:
        case State::Trailer: {
            const char c = in[i++];
            if (c == '\n' && m_line.endsWith('\r')) {
                m_line.chop(1);
                if (m_state == State::Trailer) {
                    if (m_line.isEmpty())
                        m_state = State::Done; // trailer fields, if any, are skipped
                    m_line.clear();
                } else if (!sizeLineDone()) {
                    return false;
                }
                break;
            }
            m_line += c;
            if (m_line.size() > kMaxSizeLine || c == '\n')
                return failWith(QStringLiteral("malformed chunk size line"));
            break;
        }
        case State::Done:
            return true; // nothing may follow the last chunk; ignored
        case State::Failed:
            return false;
        }
    }
    return m_state != State::Failed;
}

QVector<QStringList> mountpoints(const QByteArray &sourcetable)
{
    QVector<QStringList> result;
    for (const QByteArray &line : sourcetable.split('\n')) {
        if (line.startsWith("STR;"))
            result.append(QString::fromUtf8(line.trimmed()).split(QLatin1Char(';')));
    }
    return result;
}

QByteArray withChecksum(const QByteArray &sentence)
{
    QByteArray text = sentence.trimmed();
    if (!text.contains('*')) {
        unsigned sum = 0;
        for (int i = text.startsWith('$') ? 1 : 0; i < text.size(); ++i)
            sum ^= static_cast<unsigned char>(text[i]);
        text += '*' + QByteArray::number(sum, 16).toUpper().rightJustified(2, '0');
    }
    return text + "\r\n";
}

QByteArray ggaSentence(double latitude, double longitude, double height)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const auto angle = [](double degrees, int width) {
        const double a = std::fabs(degrees);
        const int whole = int(a);
        return QByteArray::number(whole).rightJustified(width, '0')
            + QByteArray::number((a - whole) * 60, 'f', 6).rightJustified(9, '0');
    };
    const QByteArray text = "$GPGGA," + now.toString(QStringLiteral("HHmmss.zzz")).left(9).toLatin1() + ','
        + angle(latitude, 2) + (latitude < 0 ? ",S," : ",N,") + angle(longitude, 3) + (longitude < 0 ? ",W," : ",E,")
        + "1,12,1.0," + QByteArray::number(height, 'f', 3) + ",M,0.000,M,,";
    return withChecksum(text);
}

} // namespace ntrip
