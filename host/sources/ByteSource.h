// Where the decoder's bytes come from: a file or standard input, a TCP server, UDP datagrams, a
// serial port or an NTRIP caster. The framer and the commands see only this interface.
#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtCore/QVector>

#include <cstdint>
#include <memory>

class ByteSource
{
public:
    // Why a source stopped. `fatal` when trying again cannot help (wrong credentials, an unknown
    // mountpoint, a bad address, a missing device); an empty text is a clean end of input.
    struct Failure
    {
        QString text;
        bool fatal = false;
    };

    virtual ~ByteSource() = default;
    // Opens or connects; false with failure() set.
    virtual bool open() = 0;
    // Waits at most `timeoutMs` for bytes: how many were stored, 0 when none came in time, -1 at the
    // end of the input or when the source was lost (failure() says which).
    virtual qint64 read(uint8_t *data, qint64 size, int timeoutMs) = 0;
    virtual void close() {}
    // A regular file is not live: its output may be buffered for speed.
    virtual bool live() const { return true; }
    // Size in bytes when known in advance (a regular file), else 0.
    virtual qint64 size() const { return 0; }
    // Connections made again after a loss.
    virtual quint64 reconnects() const { return 0; }
    const Failure &failure() const { return m_failure; }
    QString name() const { return m_name; }

protected:
    explicit ByteSource(const QString &name) : m_name(name) {}
    // Records why the source failed; returns false (or -1 through lost()) for the caller.
    bool fail(const QString &text, bool fatal = false)
    {
        m_failure = {text, fatal};
        return false;
    }
    qint64 lost(const QString &text)
    {
        fail(text);
        return -1;
    }

private:
    QString m_name;
    Failure m_failure;
};

// How sources connect and reconnect, from the command line.
struct SourceOptions
{
    int ntripVersion = 2;
    QString user, password;     // override those in the URL when set
    bool userGiven = false, passwordGiven = false;
    QByteArray gga;             // a GGA sentence (with its checksum) for the caster, or empty
    QVector<double> ggaPosition; // or latitude, longitude, height: a sentence at the time of sending
    int ggaIntervalS = 10;
    double retryMaxS = 256;     // the longest wait between two attempts
    bool once = false;          // no reconnect: the first loss ends the run
};

// The source for a command's input: "-" (standard input), a file name, or a tcp://, udp://,
// serial:// or ntrip:// URL. Network and serial sources reconnect after a loss as `options` say.
// Null, with `error` set, for a malformed URL.
std::unique_ptr<ByteSource> makeSource(const QString &input, const SourceOptions &options, QString *error);

namespace ntrip {
struct Request;
}
// The request for an ntrip:// URL (the mountpoint may be empty: the sourcetable); false with `error`.
bool ntripRequest(const QString &input, const SourceOptions &options, ntrip::Request *request, QString *error);
// Fetches the caster's sourcetable; false with `error` set (one line).
bool fetchSourcetable(const ntrip::Request &request, QByteArray *table, QString *error);
