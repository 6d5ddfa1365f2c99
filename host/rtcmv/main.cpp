// rtcmv: decodes RTCM version 2 streams into text, raw lines or JSON Lines, encodes JSON Lines back
// into streams, and lists the message catalogue.
#include "Commands.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QLocale>
#include <QtCore/QVector>

#include <cstdio>

#ifndef RTCMV_VERSION
#define RTCMV_VERSION "0.0.0"
#endif

static const char usage[] =
    "usage: rtcmv <command> [options]\n"
    "\n"
    "commands:\n"
    "  decode [FILE|-]      decode an RTCM 2 stream and print its messages\n"
    "  encode [FILE|-]      encode JSON Lines into an RTCM 2 stream\n"
    "  catalogue [--json]   list every message type and field the library knows\n"
    "\n"
    "  rtcmv <command> --help   options of a command\n"
    "  rtcmv --version          the version\n";

void reportError(const QString &text)
{
    std::fprintf(stderr, "rtcmv: %s\n", text.toLocal8Bit().constData());
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
    if (arguments.isEmpty()) {
        std::fputs(usage, stderr);
        return ExitUsage;
    }
    const QString command = arguments.takeFirst();
    if (command == QLatin1String("--version")) {
        std::printf("rtcmv %s\n", RTCMV_VERSION);
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
    reportError(QStringLiteral("unknown command '%1'").arg(command));
    std::fputs(usage, stderr);
    return ExitUsage;
}
