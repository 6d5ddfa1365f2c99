// The read loop that decode and monitor share: frames (or splits) a source's bytes and hands every
// message to a handler, releasing a live source's last message once the source has gone quiet.
#pragma once

#include <ByteSource.h>
#include <Rtcm2Framer.h>

#include <QtCore/QElapsedTimer>

#include <functional>

// Shows how far a large file has come, on a terminal only.
class Progress
{
public:
    Progress(qint64 total, bool enabled, qint64 smallest = 8 << 20)
        : m_total(total), m_enabled(enabled && total > smallest)
    {
        m_timer.start();
    }
    void update(qint64 done, quint64 messages);
    void finish();

private:
    qint64 m_total;
    bool m_enabled;
    bool m_shown = false;
    QElapsedTimer m_timer;
};

class StreamReader
{
public:
    StreamReader(Rtcm2Framer::MessageHandler handler, bool packed);

    // Reads the source to its end, a stop signal, or until `afterRead` (called after every read,
    // with the bytes read so far) returns false. False when `afterRead` ended it.
    bool readAll(ByteSource &source, const std::function<bool(qint64 done)> &afterRead);

    const Rtcm2Framer::Stats *framing() const { return m_packed ? nullptr : &m_framer.stats(); }
    const Rtcm2PackedSplitter &splitter() const { return m_splitter; }
    quint64 messages() const { return m_packed ? m_splitter.messages() : m_framer.stats().messages; }

private:
    // How long a live source stays quiet before the message waiting for its next word goes out.
    static constexpr int kQuietMs = 40;
    Rtcm2Framer::MessageHandler m_handler;
    Rtcm2Framer m_framer;
    Rtcm2PackedSplitter m_splitter;
    bool m_packed;
};
