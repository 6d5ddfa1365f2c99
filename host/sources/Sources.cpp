// makeSource(): the source kind for a command's input.
#include "Sources_p.h"

#include <QtCore/QProcessEnvironment>

namespace {

bool badUrl(const QString &input, const QString &why, QString *error)
{
    *error = QStringLiteral("bad URL '%1': %2").arg(input, why);
    return false;
}

// Host and port of tcp:// and udp:// (port required) and ntrip:// (2101 by default).
bool hostAndPort(const QUrl &url, const QString &input, bool hostRequired, QString *error)
{
    if (!url.isValid())
        return badUrl(input, url.errorString(), error);
    if (hostRequired && url.host().isEmpty())
        return badUrl(input, QStringLiteral("no host"), error);
    if (url.port() <= 0 && url.scheme() != QLatin1String("ntrip"))
        return badUrl(input, QStringLiteral("no port"), error);
    return true;
}

std::unique_ptr<ByteSource> ntripSource(const QUrl &url, const QString &input, const SourceOptions &options, QString *error)
{
    ntrip::Request request;
    if (!ntripRequest(input, options, &request, error))
        return nullptr;
    if (request.mount.isEmpty() || request.mount.contains(QLatin1Char('/'))) {
        badUrl(input, QStringLiteral("no mountpoint (ntrip://HOST[:PORT]/MOUNT)"), error);
        return nullptr;
    }
    // The name shown in messages never holds the password.
    QUrl shown = url;
    shown.setPassword(QString());
    return std::make_unique<NtripSource>(shown.toString(), request, options);
}

} // namespace

bool ntripRequest(const QString &input, const SourceOptions &options, ntrip::Request *request, QString *error)
{
    const QUrl url(input, QUrl::StrictMode);
    if (url.scheme() != QLatin1String("ntrip"))
        return badUrl(input, QStringLiteral("not ntrip://"), error);
    if (!hostAndPort(url, input, true, error))
        return false;
    request->host = url.host();
    request->port = quint16(url.port(2101));
    request->mount = url.path().mid(1);
    request->user = options.userGiven ? options.user : url.userName(QUrl::FullyDecoded);
    request->password = options.passwordGiven ? options.password : url.password(QUrl::FullyDecoded);
    if (!options.passwordGiven && request->password.isEmpty())
        request->password = QProcessEnvironment::systemEnvironment().value(QStringLiteral("RTCMV_NTRIP_PASSWORD"));
    request->version = options.ntripVersion;
    return true;
}

std::unique_ptr<ByteSource> makeSource(const QString &input, const SourceOptions &options, QString *error)
{
    const QUrl url(input, QUrl::StrictMode);
    const QString scheme = input.contains(QLatin1String("://")) ? url.scheme() : QString();
    std::unique_ptr<ByteSource> source;
    if (scheme.isEmpty())
        return std::make_unique<FileSource>(input);
    if (scheme == QLatin1String("tcp") && hostAndPort(url, input, true, error))
        source = std::make_unique<TcpSource>(input, url.host(), quint16(url.port()));
    else if (scheme == QLatin1String("udp") && hostAndPort(url, input, false, error))
        source = std::make_unique<UdpSource>(input, url.host(), quint16(url.port()));
    else if (scheme == QLatin1String("serial") && url.isValid() && !url.path().isEmpty() && SerialSource::valid(url, error))
        source = std::make_unique<SerialSource>(input, url);
    else if (scheme == QLatin1String("ntrip") && hostAndPort(url, input, true, error))
        source = ntripSource(url, input, options, error);
    else if (error->isEmpty())
        badUrl(input, QStringLiteral("not a file, tcp://, udp://, serial:// or ntrip:// source"), error);
    if (!source)
        return nullptr;
    return std::make_unique<RetryingSource>(std::move(source), options);
}
