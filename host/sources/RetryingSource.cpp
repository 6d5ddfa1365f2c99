// Reconnects a lost source with exponential back-off and jitter.
#include "Sources_p.h"

#include <QtCore/QRandomGenerator>
#include <QtCore/QThread>

#include <cmath>
#include <cstdio>

namespace {
constexpr qint64 kGoodConnectionMs = 60 * 1000; // after a minute of data, the waits start again

void say(const QString &text)
{
    std::fprintf(stderr, "rtcmv: %s\n", text.toLocal8Bit().constData());
}
}

RetryingSource::RetryingSource(std::unique_ptr<ByteSource> source, const SourceOptions &options)
    : ByteSource(source->name()), m_source(std::move(source)), m_retryMaxS(options.retryMaxS), m_once(options.once)
{
}

bool RetryingSource::open()
{
    m_connected = m_source->open();
    if (m_connected) {
        m_everOpened = true;
        return true;
    }
    // A first failure that a retry cannot fix, or with --once, ends the run; any other is retried.
    if (m_source->failure().fatal || m_once)
        return fail(m_source->failure().text, true);
    lostConnection();
    return true;
}

qint64 RetryingSource::lostConnection()
{
    const Failure &why = m_source->failure();
    m_source->close();
    m_connected = false;
    if (why.fatal || m_once) {
        fail(why.text, why.fatal || !m_everOpened);
        return -1;
    }
    if (m_hadData && m_sinceData.elapsed() >= kGoodConnectionMs)
        m_failures = 0;
    m_hadData = false;
    const double base = std::min(m_retryMaxS, std::ldexp(1.0, std::min(m_failures, 30)));
    const double wait = base * (1.0 - 0.2 * QRandomGenerator::global()->generateDouble());
    ++m_failures;
    m_waitMs = qint64(wait * 1000);
    m_waiting.start();
    say(QStringLiteral("%1; attempt %2 in %3 s").arg(why.text).arg(m_failures + 1).arg(wait, 0, 'f', 1));
    return 0;
}

qint64 RetryingSource::read(uint8_t *data, qint64 size, int timeoutMs)
{
    if (!m_connected) {
        const qint64 left = m_waitMs - m_waiting.elapsed();
        if (left > 0) {
            QThread::msleep(unsigned(std::min<qint64>(left, timeoutMs)));
            return 0;
        }
        if (!m_source->open())
            return lostConnection();
        if (m_everOpened)
            ++m_reconnects;
        m_connected = m_everOpened = true;
        say(QStringLiteral("connected to %1").arg(name()));
    }
    const qint64 n = m_source->read(data, size, timeoutMs);
    if (n > 0 && !m_hadData) {
        m_hadData = true;
        m_sinceData.start();
    }
    return n < 0 ? lostConnection() : n;
}
