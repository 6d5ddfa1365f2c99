// The parts of NTRIP that no HTTP library does: the request, the caster's answer (version 1
// answers "ICY 200 OK", which is not HTTP), chunked transfer decoded exactly, the sourcetable,
// and the GGA sentence a caster may need before it sends anything.
#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVector>

#include <cstddef>

namespace ntrip {

struct Request
{
    QString host;
    quint16 port = 2101;
    QString mount; // empty: the sourcetable
    QString user, password;
    int version = 2;
};

QByteArray requestFor(const Request &request);

// What the caster answered, once its header is in.
struct Answer
{
    enum Kind { Incomplete, Stream, Sourcetable, Unauthorized, NotFound, Refused } kind = Incomplete;
    int headerBytes = 0; // bytes of the answer before the stream (or the sourcetable's body)
    bool chunked = false;
    QString statusLine;  // for messages
};

// Reads the answer at the start of `received`; Incomplete while its header has not all arrived.
Answer parseAnswer(const QByteArray &received);

// Decodes chunked transfer: "SIZE[;extension]\r\n", SIZE bytes, "\r\n", ..., "0\r\n\r\n". A size
// line that is too long, not hexadecimal or over kMaxChunk, or a chunk not followed by "\r\n",
// stops the decoder: none of it is ever passed on as data.
class ChunkDecoder
{
public:
    static constexpr std::size_t kMaxChunk = 1 << 16;
    static constexpr int kMaxSizeLine = 64;
    // Appends the data of `size` bytes at `in` to `out`; false once the transfer is malformed.
    bool decode(const char *in, std::size_t size, QByteArray &out);
    bool finished() const { return m_state == State::Done; }
    const QString &error() const { return m_error; }
    void reset() { *this = ChunkDecoder(); }

private:
    bool sizeLineDone();
    bool failWith(const QString &text);
    enum class State { Size, Data, DataEnd, Trailer, Done, Failed } m_state = State::Size;
    QByteArray m_line;
    std::size_t m_left = 0;
    QString m_error;
};

// The mountpoint lines ("STR;...") of a sourcetable, split at ';'.
QVector<QStringList> mountpoints(const QByteArray &sourcetable);

// "$GPGGA,...*CS\r\n" for a position in degrees and metres, at the current UTC time.
QByteArray ggaSentence(double latitude, double longitude, double height);
// A sentence given whole: its checksum added when it has none, and the line end.
QByteArray withChecksum(const QByteArray &sentence);

} // namespace ntrip
