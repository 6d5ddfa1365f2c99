// The source kinds behind makeSource(): one class per kind, each in its own file.
#pragma once

#include "ByteSource.h"
#include "Ntrip.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QUrl>

#include <memory>

class QTcpSocket;
class QUdpSocket;
class QSerialPort;

class FileSource : public ByteSource
{
public:
    explicit FileSource(const QString &path);
    ~FileSource() override;
    bool open() override;
    qint64 read(uint8_t *data, qint64 size, int timeoutMs) override;
    void close() override;
    bool live() const override { return !m_regular; }
    qint64 size() const override { return m_size; }

private:
    QString m_path;
    int m_fd = -1;
    bool m_regular = false;
    qint64 m_size = 0;
};

// A TCP client (tcp://HOST:PORT).
class TcpSource : public ByteSource
{
public:
    TcpSource(const QString &name, const QString &host, quint16 port);
    ~TcpSource() override;
    bool open() override;
    qint64 read(uint8_t *data, qint64 size, int timeoutMs) override;
    void close() override;

protected:
    // Connects the socket; false (failure set) when it cannot.
    bool connectSocket();
    // Waits up to `timeoutMs` for bytes on the socket: 1 some are there, 0 none yet, -1 lost.
    int waitForBytes(int timeoutMs);
    std::unique_ptr<QTcpSocket> m_socket;
    QString m_host;
    quint16 m_port;
};

// Datagrams received on a local port (udp://[HOST]:PORT), taken as one stream.
class UdpSource : public ByteSource
{
public:
    UdpSource(const QString &name, const QString &host, quint16 port);
    ~UdpSource() override;
    bool open() override;
    qint64 read(uint8_t *data, qint64 size, int timeoutMs) override;
    void close() override;

private:
    std::unique_ptr<QUdpSocket> m_socket;
    QString m_host;
    quint16 m_port;
    QByteArray m_datagram; // the part of the last datagram not yet read
};

// A serial port in raw mode with the URL's settings (serial:///dev/ttyUSB0?baud=9600&...).
class SerialSource : public ByteSource
{
public:
    SerialSource(const QString &name, const QUrl &url);
    ~SerialSource() override;
    bool open() override;
    qint64 read(uint8_t *data, qint64 size, int timeoutMs) override;
    void close() override;
    // Checks the URL's settings; false with `error` set.
    static bool valid(const QUrl &url, QString *error);

private:
    std::unique_ptr<QSerialPort> m_port;
    QUrl m_url;
    bool m_opened = false;
};

// An NTRIP caster's mountpoint (ntrip://[USER[:PASSWORD]@]HOST[:PORT]/MOUNT), version 2 or 1.
class NtripSource : public TcpSource
{
public:
    NtripSource(const QString &name, const ntrip::Request &request, const SourceOptions &options);
    bool open() override;
    qint64 read(uint8_t *data, qint64 size, int timeoutMs) override;

private:
    bool readAnswer(QByteArray &rest);
    void sendPosition();
    ntrip::Request m_request;
    QByteArray m_gga;
    QVector<double> m_ggaPosition;
    int m_ggaIntervalMs;
    QElapsedTimer m_sinceGga;
    bool m_chunked = false;
    ntrip::ChunkDecoder m_chunks;
    QByteArray m_pending; // stream bytes received with the answer, not yet read
};

// Reconnects a network or serial source after a loss, waiting 1 s, 2 s, 4 s ... up to the
// longest wait, each wait shortened by a random part of up to a fifth so that many clients that
// lost one caster do not all come back at once. The waits start again from 1 s once a connection
// has delivered data for a minute. One line on standard error per loss and attempt.
class RetryingSource : public ByteSource
{
public:
    RetryingSource(std::unique_ptr<ByteSource> source, const SourceOptions &options);
    bool open() override;
    qint64 read(uint8_t *data, qint64 size, int timeoutMs) override;
    void close() override { m_source->close(); }
    quint64 reconnects() const override { return m_reconnects; }

private:
    // After a loss: ends the run (fatal, or --once) with -1, else schedules the next attempt.
    qint64 lostConnection();
    std::unique_ptr<ByteSource> m_source;
    double m_retryMaxS;
    bool m_once;
    bool m_connected = false;
    int m_failures = 0;        // attempts that failed since the last good minute
    qint64 m_waitMs = 0;       // before the next attempt
    QElapsedTimer m_waiting;   // since the loss
    QElapsedTimer m_sinceData; // since the connection's first data
    bool m_hadData = false;
    bool m_everOpened = false;
    quint64 m_reconnects = 0;
};
