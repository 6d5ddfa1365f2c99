// rtcmv convert: reads an RTCM 3 stream and writes RTCM 2.3 for receivers that speak only that.
#include "Commands.h"
#include "ConvertOutput.h"
#include "SourceOptions.h"
#include "StopSignals.h"

#include <Converter.h>
#include <MessageTime.h>

#include <QtCore/QDateTime>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char convertHelp[] =
    "usage: rtcmv convert [options] [FILE|-|SOURCE]\n"
    "\n"
    "Reads an RTCM 3 stream from FILE, standard input or a live SOURCE and writes an RTCM 2.3\n"
    "stream (30-bit words, parity, six data bits per byte):\n"
    "  tcp://HOST:PORT, udp://[HOST]:PORT, serial:///dev/ttyUSB0?baud=9600, ntrip://HOST/MOUNT\n"
    "Made from the RTCM 3 content: 18 and 19 (GPS and GLONASS L1/L2 carrier phases and\n"
    "pseudoranges, from 1002, 1004, 1010, 1012 and MSM 1074-1077, 1084-1087); 3, 22, 23 and 24 (station\n"
    "and antenna, from 1005-1008 and 1033); 1 and 9 (GPS), 31 and 34 (GLONASS) corrections from the\n"
    "observations, the ephemerides (1019, 1020) and the station coordinates. Galileo, BeiDou, QZSS,\n"
    "SBAS and signals other than L1/L2 have no RTCM 2 counterpart: they are counted in --stats.\n"
    "\n"
    "options (as --opt value or --opt=value; -- ends them):\n"
    "  -o, --output OUT        where the RTCM 2 stream goes: - (standard output, the default), a\n"
    "                          file, serial:///dev/ttyS0?baud=9600 or tcp-server://[HOST]:PORT\n"
    "                          (every client that connects gets the stream from then on; one that\n"
    "                          has more than ?queue=BYTES waiting, default 1048576, is dropped)\n"
    "  --messages LIST         types and seconds between repeats (default\n"
    "                          1:1,3:10,18:1,19:1,22:10,23:30,24:10); a type not listed is not sent\n"
    "  --station-id N          the RTCM 2 station id, 0-1023 (default the RTCM 3 one modulo 1024)\n"
    "  --time-ref TIME         a UTC time within days of the data (such as 2009-10-02T00:00:00Z),\n"
    "                          since RTCM 3 does not carry weeks and leap seconds in full. Without\n"
    "                          it a recording (FILE) is dated by its first GPS ephemeris (1019, in\n"
    "                          the first 16 MiB; its week the latest not after the host clock);\n"
    "                          standard input, a live source and a recording without one use the\n"
    "                          host clock\n"
    "  --stats                 print RTCM 3 frames and types, what was dropped and the RTCM 2\n"
    "                          messages sent on stderr\n"
    "%SOURCES%"
    "\n"
    "exit status: 0 ok, 1 when the input held no RTCM 3 frame, 2 on a usage or I/O error\n";

// How far into a recording its first GPS ephemeris is looked for.
constexpr qint64 kRecordingScan = 16 << 20;

struct ConvertOptions
{
    QString input, output = QStringLiteral("-");
    bool stats = false;
    convert::Converter::Options converter;
    SourceOptions source;
};

int parseOptions(const QStringList &arguments, ConvertOptions &options)
{
    static const std::string help = withSourceOptionsHelp(convertHelp);
    const QString command = QStringLiteral("convert");
    QCommandLineParser parser;
    parser.addOptions({{{QStringLiteral("o"), QStringLiteral("output")}, QString(), QStringLiteral("out")},
                       {QStringLiteral("messages"), QString(), QStringLiteral("list")},
                       {QStringLiteral("station-id"), QString(), QStringLiteral("id")},
                       {QStringLiteral("time-ref"), QString(), QStringLiteral("time")},
                       {QStringLiteral("stats"), QString()}});
    addSourceOptions(parser);
    int status = parseCommandLine(parser, arguments, command, help.c_str(), &options.input);
    if (status == ExitOk)
        status = readSourceOptions(parser, command, options.source);
    if (status != ExitOk)
        return status;
    options.stats = parser.isSet(QStringLiteral("stats"));
    if (parser.isSet(QStringLiteral("output")))
        options.output = parser.value(QStringLiteral("output"));
    QString error;
    if (parser.isSet(QStringLiteral("messages"))
        && !convert::parseSchedule(parser.value(QStringLiteral("messages")), options.converter.schedule, &error))
        return usageError(command, error);
    if (parser.isSet(QStringLiteral("station-id"))) {
        bool ok = false;
        options.converter.stationId = parser.value(QStringLiteral("station-id")).toInt(&ok);
        if (!ok || options.converter.stationId < 0 || options.converter.stationId > 1023)
            return usageError(command, QStringLiteral("bad --station-id (0-1023)"));
    }
    if (parser.isSet(QStringLiteral("time-ref"))) {
        const QDateTime t = QDateTime::fromString(parser.value(QStringLiteral("time-ref")), Qt::ISODateWithMs);
        if (!t.isValid())
            return usageError(command, QStringLiteral("bad time '%1' for --time-ref (such as 2009-10-02T00:00:00Z)")
                                           .arg(parser.value(QStringLiteral("time-ref"))));
        const GpsTime gps = GpsTime::fromUtcMs(t.toMSecsSinceEpoch());
        constexpr int64_t gpsEpochUnix = 315964800;
        options.converter.timeRef = gtime_t{time_t(gpsEpochUnix + gps.ms / 1000), double(gps.ms % 1000) / 1000};
    }
    return ExitOk;
}

std::string countsLine(const std::map<int, uint64_t> &counts)
{
    std::string line;
    for (const auto &c : counts)
        line += (line.empty() ? "" : ", ") + std::to_string(c.first) + ": " + std::to_string(c.second);
    return line.empty() ? "none" : line;
}

void printStats(const convert::Converter &c)
{
    const convert::ConvertStats &s = c.stats();
    const convert::ObservationMessages::Dropped &d = c.dropped();
    std::fprintf(stderr,
                 "RTCM 3 frames: %llu (CRC failures %llu, bytes skipped %llu, truncated at the end %llu)\n"
                 "RTCM 3 types: %s\n"
                 "observation epochs: %llu\n"
                 "dropped satellite observations: Galileo %llu, BeiDou %llu, QZSS %llu, SBAS %llu, NavIC %llu\n"
                 "dropped GPS/GLONASS signals other than L1/L2: %llu\n"
                 "corrections: %llu (satellite-epochs skipped: %llu for want of an ephemeris, %llu unhealthy)\n"
                 "station moves: %llu\n"
                 "RTCM 2 messages: %s (refused %llu)\n",
                 (unsigned long long)s.frames, (unsigned long long)s.crcFailures, (unsigned long long)s.skippedBytes,
                 (unsigned long long)s.truncated, countsLine(s.rtcm3Types).c_str(), (unsigned long long)s.epochs,
                 (unsigned long long)d.galileo, (unsigned long long)d.beidou, (unsigned long long)d.qzss,
                 (unsigned long long)d.sbas, (unsigned long long)d.irnss, (unsigned long long)d.otherSignals,
                 (unsigned long long)c.corrections().corrections, (unsigned long long)c.corrections().withoutEphemeris,
                 (unsigned long long)c.corrections().unhealthy, (unsigned long long)s.stationMoves,
                 countsLine(c.sender().sent()).c_str(), (unsigned long long)c.sender().refusals());
}

// RTCM 3 gives the time of week or of day only: RTKLIB places it nearest this reference, whose
// leap seconds also place GLONASS beside GPS. A recording is dated by its first GPS ephemeris;
// without one (or read from standard input) it falls back to the host clock, with a warning.
std::optional<gtime_t> recordingTime(const QString &input)
{
    QFile file(input);
    const bool isFile = QFileInfo(input).isFile();
    if (isFile && file.open(QIODevice::ReadOnly)) {
        const QByteArray head = file.read(kRecordingScan);
        const std::optional<gtime_t> time = convert::ephemerisTime(
            reinterpret_cast<const uint8_t *>(head.constData()), std::size_t(head.size()), utc2gpst(timeget()));
        if (time)
            return time;
    }
    reportError(QStringLiteral("no --time-ref%1: %2 is placed in the week of the host clock (give the "
                               "recording's date for its weeks and leap seconds)")
                    .arg(isFile ? QStringLiteral(" and no GPS ephemeris (1019) in the first 16 MiB") : QString(),
                         isFile ? input : QStringLiteral("standard input")));
    return std::nullopt;
}

} // namespace

int runConvert(const QStringList &arguments)
{
    ConvertOptions options;
    const int status = parseOptions(arguments, options);
    if (status != ExitOk)
        return status < 0 ? ExitOk : status;
    const std::unique_ptr<ByteSource> source = openSource(options.input, options.source);
    if (!source)
        return ExitUsage;
    QString error;
    const std::unique_ptr<ConvertOutput> out = openConvertOutput(options.output, source->live(), &error);
    if (!out) {
        reportError(error);
        return ExitUsage;
    }
    if (!source->live() && !options.converter.timeRef)
        options.converter.timeRef = recordingTime(options.input);
    bool writeFailed = false;
    convert::Converter converter(options.converter, [&](const uint8_t *data, std::size_t size) {
        writeFailed = writeFailed || !out->write(data, size);
    });
    std::vector<uint8_t> chunk(1 << 16);
    while (!stopRequested() && !writeFailed) {
        const qint64 n = source->read(chunk.data(), qint64(chunk.size()), 40);
        if (n < 0)
            break;
        converter.feed(chunk.data(), std::size_t(n));
        out->poll();
    }
    converter.finish();
    writeFailed = writeFailed || !out->flush();
    if (options.stats)
        printStats(converter);
    if (!source->failure().text.isEmpty())
        reportError(source->failure().text);
    if (writeFailed) {
        reportError(QStringLiteral("cannot write to %1: %2").arg(options.output, out->failure()));
        return ExitUsage;
    }
    return converter.stats().frames > 0 ? ExitOk : ExitBadData;
}
