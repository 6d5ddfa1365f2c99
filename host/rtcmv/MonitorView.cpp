// Draws the monitor's figures with ncurses, a screen at a time.
#include "MonitorView.h"

#include <MessageTime.h>

#include <ncurses.h>

#include <cmath>

namespace {

QByteArray utc(double seconds)
{
    return GpsTime{int64_t(std::llround(seconds * 1000))}.isoUtc().toLatin1();
}

} // namespace

MonitorView::MonitorView(const QString &source) : m_source(source.toLocal8Bit())
{
    initscr();
    cbreak();
    noecho();
    nodelay(stdscr, TRUE);
    curs_set(0);
}

MonitorView::~MonitorView()
{
    endwin();
}

bool MonitorView::update(const StreamMonitor &monitor, const StreamTotals &totals)
{
    int key;
    while ((key = getch()) != ERR) {
        if (key == 'q' || key == 'Q')
            return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - m_drawn < std::chrono::seconds(1))
        return true;
    m_drawn = now;
    draw(monitor, totals);
    return true;
}

void MonitorView::draw(const StreamMonitor &monitor, const StreamTotals &totals)
{
    erase();
    clearok(stdscr, TRUE); // repaints over lines the sources wrote to stderr meanwhile
    mvprintw(0, 0, "rtcmv monitor  %s  %s  (q to quit)", m_source.constData(), utc(monitor.now()).constData());
    int row = drawStream(monitor, totals, 2);
    row = drawStations(monitor, row + 1);
    drawTypes(monitor, row + 1);
    refresh();
}

int MonitorView::drawStream(const StreamMonitor &monitor, const StreamTotals &totals, int row)
{
    const double watched = monitor.watched();
    mvprintw(row++, 0, "Stream  %llu bytes (%llu ignored)  %.0f bit/s  parity failures %llu  resyncs %llu  reconnects %llu",
             (unsigned long long)totals.bytes, (unsigned long long)totals.ignoredBytes,
             watched > 0 ? double(totals.bytes) * 8 / watched : 0.0, (unsigned long long)totals.parityFailures,
             (unsigned long long)totals.resyncs, (unsigned long long)totals.reconnects);
    const std::vector<Outage> &outages = monitor.outages();
    mvprintw(row++, 0, "Outages %zu", outages.size());
    const std::size_t shown = std::min<std::size_t>(outages.size(), 3); // the latest ones
    for (std::size_t i = outages.size() - shown; i < outages.size(); ++i)
        mvprintw(row++, 2, "%s  %.1f s%s", utc(outages[i].start).constData(), outages[i].length,
                 outages[i].open ? "  (going on)" : "");
    return row;
}

int MonitorView::drawStations(const StreamMonitor &monitor, int row)
{
    attron(A_BOLD);
    mvprintw(row++, 0, "%-8s %-7s %-9s %s", "Station", "Health", "Messages", "Position (lat, lon, height)");
    attroff(A_BOLD);
    for (const auto &entry : monitor.stations()) {
        const StationFigures &station = entry.second;
        if (station.position)
            mvprintw(row++, 0, "%-8u %-7u %-9llu %.7f, %.7f, %.3f m", entry.first, station.health,
                     (unsigned long long)station.messages, station.position->latitude, station.position->longitude,
                     station.position->height);
        else
            mvprintw(row++, 0, "%-8u %-7u %-9llu -", entry.first, station.health, (unsigned long long)station.messages);
    }
    return row;
}

int MonitorView::drawTypes(const StreamMonitor &monitor, int row)
{
    attron(A_BOLD);
    mvprintw(row++, 0, "%-5s %8s %7s %7s %7s %7s %5s %8s %8s %8s %8s", "Type", "Count", "/min", "Last s",
             "Mean s", "Max s", "Gaps", "Lat avg", "Lat min", "Lat max", "Lat sd");
    attroff(A_BOLD);
    for (const auto &entry : monitor.types()) {
        const TypeFigures &type = entry.second;
        mvprintw(row, 0, "%-5u %8llu %7.1f %7.1f %7.1f %7.1f %5llu", entry.first, (unsigned long long)type.count,
                 monitor.ratePerMinute(type), monitor.now() - type.last, type.interval.mean(), type.interval.max(),
                 (unsigned long long)type.sequenceGaps);
        if (type.latency.count() > 0)
            printw(" %8.3f %8.3f %8.3f %8.3f", type.latency.mean(), type.latency.min(), type.latency.max(),
                   type.latency.stddev());
        ++row;
    }
    return row;
}
