// rtcmv: decodes RTCM version 2 streams into text, raw lines or JSON Lines, encodes JSON Lines back
// into streams, and lists the message catalogue.
#include "Commands.h"
#include "ValuesWriter.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QFile>
#include <QtCore/QLocale>
#include <QtCore/QVector>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>

#ifndef RTCMV_VERSION
#define RTCMV_VERSION "0.0.0"
#endif

static const char usage[] =
    "usage: rtcmv <command> [options]\n"
    "\n"
    "commands:\n"
    "  decode [FILE|-|SOURCE]   decode an RTCM 2 stream (a file, or tcp://, udp://, serial://,\n"
    "                       ntrip://) and print its messages\n"
    "  encode [FILE|-]      encode JSON Lines into an RTCM 2 stream\n"
    "  catalogue [--json]   list every message type and field the library knows\n"
    "  sources ntrip://HOST[:PORT]   list the mountpoints of an NTRIP caster\n"
    "  monitor [FILE|-|SOURCE]  watch a stream's health: stations, message types, outages\n"
#ifdef RTCMV_HAVE_CONVERT
    "  convert [FILE|-|SOURCE]  convert an RTCM 3 stream into RTCM 2.3\n"
#endif
    "\n"
    "  rtcmv <command> --help   options of a command\n"
    "  rtcmv --version          the version\n";

void reportError(const QString &text)
{
    std::fprintf(stderr, "rtcmv: %s\n", text.toLocal8Bit().constData());
}

int usageError(const QString &command, const QString &text)
{
    reportError(text);
    std::fprintf(stderr, "try 'rtcmv %s--help'\n", command.isEmpty() ? "" : qPrintable(command + QLatin1Char(' ')));
    return ExitUsage;
}

int parseCommandLine(QCommandLineParser &parser, const QStringList &arguments, const QString &command,
                     const char *help, QString *input)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    if (!parser.parse(QStringList(QStringLiteral("rtcmv")) + arguments)) {
        QString text = parser.errorText(); // "Unknown option 'x'." and the like
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
        return usageError(command, text.left(1).toLower() + text.mid(1));
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(help, stdout);
        return -1;
    }
    const QStringList operands = parser.positionalArguments();
    if (operands.size() > (input != nullptr ? 1 : 0))
        return usageError(command, QStringLiteral("unexpected argument '%1'").arg(operands.last()));
    if (input != nullptr)
        *input = operands.value(0, QStringLiteral("-"));
    return ExitOk;
}

int openInput(const QString &path)
{
    if (path == QLatin1String("-"))
        return 0;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        reportError(QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    return fd;
}

bool parseTypeList(const QString &text, QVector<int> &types)
{
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList range = part.split(QLatin1Char('-'));
        bool ok1 = false, ok2 = true;
        const int first = range.value(0).trimmed().toInt(&ok1);
        const int last = range.size() == 2 ? range[1].trimmed().toInt(&ok2) : first;
        if (!ok1 || !ok2 || range.size() > 2 || first < 0 || last < first || last > 63)
            return false;
        for (int t = first; t <= last; ++t)
            types.append(t);
    }
    return !types.isEmpty();
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Numbers in value texts follow the locale; the tool prints them the same everywhere.
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::OmitGroupSeparator);
    QLocale::setDefault(c);

    QStringList arguments = app.arguments();
    arguments.removeFirst();
    if (arguments.isEmpty())
        return usageError(QString(), QStringLiteral("no command given"));
    const QString command = arguments.takeFirst();
    if (command == QLatin1String("--version")) {
        // The schemas of the JSON outputs, for readers that check what they read.
        std::printf("rtcmv %s (json schema %d, values schema %d)\n", RTCMV_VERSION, jsonSchemaVersion, valuesSchemaVersion);
        return ExitOk;
    }
    if (command == QLatin1String("--help") || command == QLatin1String("help")) {
        std::fputs(usage, stdout);
        return ExitOk;
    }
    if (command == QLatin1String("decode"))
        return runDecode(arguments);
    if (command == QLatin1String("encode"))
        return runEncode(arguments);
    if (command == QLatin1String("catalogue") || command == QLatin1String("catalog"))
        return runCatalogue(arguments);
    if (command == QLatin1String("sources"))
        return runSources(arguments);
    if (command == QLatin1String("monitor"))
        return runMonitor(arguments);
#ifdef RTCMV_HAVE_CONVERT
    if (command == QLatin1String("convert"))
        return runConvert(arguments);
#endif
    return usageError(QString(), QStringLiteral("unknown command '%1'").arg(command));
}
