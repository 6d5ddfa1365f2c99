// Options of live sources.
#include "SourceOptions.h"
#include "Commands.h"
#include "StopSignals.h"

#include <Ntrip.h>

namespace {

const char sourceOptionsHelp[] =
    "  --ntrip-version 1|2     NTRIP version to ask for (default 2; a version 1 answer is taken)\n"
    "  --user USER, --password PASSWORD\n"
    "                          NTRIP credentials (instead of those in the URL; the password also\n"
    "                          from the environment variable RTCMV_NTRIP_PASSWORD)\n"
    "  --gga LAT,LON,HEIGHT    send this position (degrees, metres) to the caster as a GGA sentence\n"
    "  --gga-sentence TEXT     send this GGA sentence instead\n"
    "  --gga-interval SECONDS  how often to send it (default 10)\n"
    "  --retry-max SECONDS     longest wait between reconnects (default 256; waits start at 1 s\n"
    "                          and double)\n"
    "  --once                  do not reconnect: the first loss ends the run\n";

} // namespace

std::string withSourceOptionsHelp(const char *help)
{
    std::string text = help;
    return text.replace(text.find("%SOURCES%"), 9, sourceOptionsHelp);
}

void addSourceOptions(QCommandLineParser &parser)
{
    for (const char *name : {"ntrip-version", "user", "password", "gga", "gga-sentence", "gga-interval", "retry-max"})
        parser.addOption({QString::fromLatin1(name), QString(), QString::fromLatin1(name)});
    parser.addOption({QStringLiteral("once"), QString()});
}

namespace {

bool parsePosition(const QString &text, QVector<double> &position)
{
    const QStringList parts = text.split(QLatin1Char(','));
    bool ok = parts.size() == 3;
    double value[3] = {};
    for (int i = 0; ok && i < 3; ++i)
        value[i] = parts[i].trimmed().toDouble(&ok);
    if (!ok || std::abs(value[0]) > 90 || std::abs(value[1]) > 180)
        return false;
    position = {value[0], value[1], value[2]};
    return true;
}

} // namespace

int readSourceOptions(const QCommandLineParser &parser, const QString &command, SourceOptions &options)
{
    const QString version = parser.value(QStringLiteral("ntrip-version"));
    if (parser.isSet(QStringLiteral("ntrip-version"))) {
        if (version != QLatin1String("1") && version != QLatin1String("2"))
            return usageError(command, QStringLiteral("--ntrip-version is 1 or 2, not '%1'").arg(version));
        options.ntripVersion = version.toInt();
    }
    options.userGiven = parser.isSet(QStringLiteral("user"));
    options.user = parser.value(QStringLiteral("user"));
    options.passwordGiven = parser.isSet(QStringLiteral("password"));
    options.password = parser.value(QStringLiteral("password"));
    if (parser.isSet(QStringLiteral("gga")) && !parsePosition(parser.value(QStringLiteral("gga")), options.ggaPosition))
        return usageError(command, QStringLiteral("--gga takes LAT,LON,HEIGHT in degrees and metres"));
    if (parser.isSet(QStringLiteral("gga-sentence"))) {
        const QByteArray sentence = parser.value(QStringLiteral("gga-sentence")).toLatin1();
        if (!sentence.startsWith('$') || sentence.mid(3, 3) != "GGA")
            return usageError(command, QStringLiteral("--gga-sentence takes a GGA sentence ($GPGGA,...)"));
        options.gga = ntrip::withChecksum(sentence);
    }
    bool ok = true;
    if (parser.isSet(QStringLiteral("gga-interval"))) {
        options.ggaIntervalS = parser.value(QStringLiteral("gga-interval")).toInt(&ok);
        if (!ok || options.ggaIntervalS < 1)
            return usageError(command, QStringLiteral("--gga-interval takes whole seconds, 1 or more"));
    }
    if (parser.isSet(QStringLiteral("retry-max"))) {
        options.retryMaxS = parser.value(QStringLiteral("retry-max")).toDouble(&ok);
        if (!ok || options.retryMaxS < 1)
            return usageError(command, QStringLiteral("--retry-max takes seconds, 1 or more"));
    }
    options.once = parser.isSet(QStringLiteral("once"));
    return ExitOk;
}

std::unique_ptr<ByteSource> openSource(const QString &input, const SourceOptions &options)
{
    QString error;
    std::unique_ptr<ByteSource> source = makeSource(input, options, &error);
    if (!source) {
        reportError(error);
        return nullptr;
    }
    catchStopSignals();
    if (!source->open()) {
        reportError(source->failure().text);
        return nullptr;
    }
    return source;
}
