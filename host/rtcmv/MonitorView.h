// The full-screen view of rtcmv monitor (ncurses): stations, message types and the stream.
#pragma once

#include <StreamMonitor.h>

#include <QtCore/QString>

#include <chrono>

// The stream's counts that come from the reader and the source, not from the messages.
struct StreamTotals
{
    quint64 bytes = 0, ignoredBytes = 0, parityFailures = 0, resyncs = 0, reconnects = 0;
};

class MonitorView
{
public:
    // Takes over the terminal; the destructor gives it back as it was.
    explicit MonitorView(const QString &source);
    ~MonitorView();
    MonitorView(const MonitorView &) = delete;
    MonitorView &operator=(const MonitorView &) = delete;

    // Redraws once a second; false once the user has pressed q.
    bool update(const StreamMonitor &monitor, const StreamTotals &totals);

private:
    void draw(const StreamMonitor &monitor, const StreamTotals &totals);
    int drawStream(const StreamMonitor &monitor, const StreamTotals &totals, int row);
    int drawStations(const StreamMonitor &monitor, int row);
    int drawTypes(const StreamMonitor &monitor, int row);

    QByteArray m_source;
    std::chrono::steady_clock::time_point m_drawn{};
};
