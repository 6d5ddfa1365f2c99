// The shared read loop of decode and monitor, and the progress line for large files.
#include "StreamReader.h"
#include "StopSignals.h"

#include <cstdio>
#include <vector>

void Progress::update(qint64 done, quint64 messages)
{
    if (!m_enabled || m_timer.elapsed() < 500)
        return;
    m_timer.restart();
    std::fprintf(stderr, "\rrtcmv: %3d%% read, %llu messages", int(done * 100 / m_total),
                 static_cast<unsigned long long>(messages));
    m_shown = true;
}

void Progress::finish()
{
    if (m_shown)
        std::fputs("\r\033[K", stderr);
}

StreamReader::StreamReader(Rtcm2Framer::MessageHandler handler, bool packed)
    : m_handler(std::move(handler)), m_framer(m_handler), m_splitter(m_handler), m_packed(packed)
{
}

bool StreamReader::readAll(ByteSource &source, const std::function<bool(qint64)> &afterRead)
{
    std::vector<uint8_t> chunk(source.live() ? 1 << 16 : 1 << 20);
    qint64 done = 0;
    while (!stopRequested()) {
        const qint64 n = source.read(chunk.data(), qint64(chunk.size()), kQuietMs);
        if (n < 0)
            break;
        const Rtcm2Framer::Clock::time_point now = Rtcm2Framer::Clock::now();
        if (m_packed)
            m_splitter.feed(chunk.data(), std::size_t(n));
        else if (n > 0)
            m_framer.feed(chunk.data(), std::size_t(n), now);
        else
            m_framer.releasePending(now, std::chrono::milliseconds(kQuietMs));
        done += n;
        if (!afterRead(done))
            return false;
    }
    if (!m_packed)
        m_framer.flush(); // the last message has nothing after it to confirm it
    return true;
}
