// rtcmv sources: an NTRIP caster's sourcetable, its mountpoints as a table or JSON Lines.
#include "Commands.h"
#include "JsonWriter.h"
#include "SourceOptions.h"

#include <ByteSource.h>
#include <Ntrip.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>

namespace {

const char sourcesHelp[] =
    "usage: rtcmv sources [options] ntrip://[USER[:PASSWORD]@]HOST[:PORT]\n"
    "\n"
    "Prints the mountpoints of an NTRIP caster's sourcetable: mountpoint, identifier, format,\n"
    "format details, carrier, navigation system, country, position, whether the caster needs the\n"
    "rover's position (NMEA) and the authentication.\n"
    "\n"
    "options:\n"
    "  --json                  JSON Lines, one object per mountpoint\n"
    "  --ntrip-version 1|2     NTRIP version to ask for (default 2)\n"
    "  --user USER, --password PASSWORD   credentials, if the caster asks for them\n"
    "\n"
    "exit status: 0 ok, 2 on a usage error or when the caster sent no sourcetable\n";

// The columns shown, by their index in a "STR;" line, and their JSON keys and headings.
struct Column
{
    int index;
    const char *key;
    const char *heading;
};
const Column kColumns[] = {{1, "mountpoint", "MOUNTPOINT"}, {2, "identifier", "IDENTIFIER"}, {3, "format", "FORMAT"},
    {4, "format_details", "DETAILS"}, {5, "carrier", "CARRIER"}, {6, "nav_system", "NAV SYSTEM"},
    {8, "country", "COUNTRY"}, {9, "latitude", "POSITION"}, {11, "nmea", "NMEA"}, {15, "authentication", "AUTH"}};

QString cell(const QStringList &entry, const Column &column)
{
    if (column.index == 9) // the position: latitude and longitude
        return entry.value(9) + QLatin1Char(' ') + entry.value(10);
    return entry.value(column.index);
}

void printJson(const QVector<QStringList> &entries, Output &out)
{
    JsonWriter json(out);
    for (const QStringList &entry : entries) {
        json.beginObject();
        for (const Column &column : kColumns) {
            if (column.index == 9) {
                json.key("latitude").value(entry.value(9).toDouble());
                json.key("longitude").value(entry.value(10).toDouble());
            } else if (column.index == 11) {
                json.key(column.key).value(entry.value(11) == QLatin1String("1"));
            } else {
                json.key(column.key).value(entry.value(column.index));
            }
        }
        json.endObject().endLine();
    }
}

void printTable(const QVector<QStringList> &entries, Output &out)
{
    QVector<int> widths;
    for (const Column &column : kColumns) {
        int width = int(std::strlen(column.heading));
        for (const QStringList &entry : entries)
            width = std::max(width, int(cell(entry, column).size()));
        widths.append(width);
    }
    const auto row = [&](const std::function<QString(const Column &)> &text) {
        QString line;
        for (int i = 0; i < int(std::size(kColumns)); ++i)
            line += text(kColumns[i]).leftJustified(widths[i] + 2);
        out.visible(line.trimmed());
        out.endLine();
    };
    row([](const Column &column) { return QString::fromLatin1(column.heading); });
    for (const QStringList &entry : entries)
        row([&entry](const Column &column) { return cell(entry, column); });
}

} // namespace

int runSources(const QStringList &arguments)
{
    const QString command = QStringLiteral("sources");
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("json"), QString()});
    addSourceOptions(parser);
    QString input;
    const int status = parseCommandLine(parser, arguments, command, sourcesHelp, &input);
    if (status != ExitOk)
        return status < 0 ? ExitOk : status;
    SourceOptions options;
    if (readSourceOptions(parser, command, options) != ExitOk)
        return ExitUsage;
    ntrip::Request request;
    QString error;
    if (!ntripRequest(input, options, &request, &error)) {
        reportError(error);
        return ExitUsage;
    }
    QByteArray table;
    if (!fetchSourcetable(request, &table, &error)) {
        reportError(error);
        return ExitUsage;
    }
    Output out(stdout);
    const QVector<QStringList> entries = ntrip::mountpoints(table);
    if (parser.isSet(QStringLiteral("json")))
        printJson(entries, out);
    else
        printTable(entries, out);
    return out.flush() || out.closed() ? ExitOk : ExitUsage;
}
