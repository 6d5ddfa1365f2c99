// Serial port source on QSerialPort, which opens the port in raw mode (no line editing, no echo,
// no translation of line ends), so that every byte of the stream arrives as sent.
#include "Sources_p.h"

#include <QtCore/QMap>
#include <QtCore/QUrlQuery>
#include <QtSerialPort/QSerialPort>

namespace {

struct Settings
{
    qint32 baud = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::FlowControl flow = QSerialPort::NoFlowControl;
};

// The settings of the URL's query (baud, parity, stopbits, databits, flow); false with `error`.
bool parseSettings(const QUrl &url, Settings &s, QString *error)
{
    const QUrlQuery query(url);
    for (const auto &item : query.queryItems()) {
        const QString &key = item.first, &value = item.second;
        bool ok = true;
        if (key == QLatin1String("baud")) {
            s.baud = value.toInt(&ok);
            ok = ok && s.baud > 0;
        } else if (key == QLatin1String("parity")) {
            static const QMap<QString, QSerialPort::Parity> names{{QStringLiteral("none"), QSerialPort::NoParity},
                {QStringLiteral("even"), QSerialPort::EvenParity}, {QStringLiteral("odd"), QSerialPort::OddParity},
                {QStringLiteral("mark"), QSerialPort::MarkParity}, {QStringLiteral("space"), QSerialPort::SpaceParity}};
            ok = names.contains(value);
            s.parity = names.value(value);
        } else if (key == QLatin1String("stopbits")) {
            ok = value == QLatin1String("1") || value == QLatin1String("2");
            s.stopBits = value == QLatin1String("2") ? QSerialPort::TwoStop : QSerialPort::OneStop;
        } else if (key == QLatin1String("databits")) {
            const int bits = value.toInt(&ok);
            ok = ok && bits >= 5 && bits <= 8;
            s.dataBits = QSerialPort::DataBits(bits);
        } else if (key == QLatin1String("flow")) {
            ok = value == QLatin1String("none") || value == QLatin1String("rtscts") || value == QLatin1String("xonxoff");
            s.flow = value == QLatin1String("rtscts") ? QSerialPort::HardwareControl
                : value == QLatin1String("xonxoff") ? QSerialPort::SoftwareControl : QSerialPort::NoFlowControl;
        } else {
            ok = false;
        }
        if (!ok) {
            *error = QStringLiteral("bad serial setting '%1=%2' (baud, parity, stopbits, databits, flow)").arg(key, value);
            return false;
        }
    }
    return true;
}

} // namespace

SerialSource::SerialSource(const QString &name, const QUrl &url) : ByteSource(name), m_url(url) {}

SerialSource::~SerialSource() = default;

bool SerialSource::valid(const QUrl &url, QString *error)
{
    Settings settings;
    return parseSettings(url, settings, error);
}

bool SerialSource::open()
{
    Settings s;
    QString error;
    parseSettings(m_url, s, &error); // checked by valid()
    m_port = std::make_unique<QSerialPort>(m_url.path());
    if (!m_port->open(QIODevice::ReadOnly)) {
        // A device missing at the start is a mistake; one that goes away later may come back.
        const bool missing = m_port->error() == QSerialPort::DeviceNotFoundError
            || m_port->error() == QSerialPort::PermissionError;
        return fail(QStringLiteral("cannot open %1: %2").arg(m_url.path(), m_port->errorString()), missing && !m_opened);
    }
    m_opened = true;
    if (!m_port->setBaudRate(s.baud) || !m_port->setParity(s.parity) || !m_port->setStopBits(s.stopBits)
        || !m_port->setDataBits(s.dataBits) || !m_port->setFlowControl(s.flow))
        return fail(QStringLiteral("cannot set up %1: %2").arg(m_url.path(), m_port->errorString()), true);
    return true;
}

void SerialSource::close()
{
    m_port.reset();
}

qint64 SerialSource::read(uint8_t *data, qint64 size, int timeoutMs)
{
    if (m_port->bytesAvailable() == 0 && !m_port->waitForReadyRead(timeoutMs)) {
        if (m_port->error() == QSerialPort::TimeoutError || m_port->error() == QSerialPort::NoError) {
            m_port->clearError();
            return 0;
        }
        return lost(QStringLiteral("%1: %2").arg(m_url.path(), m_port->errorString()));
    }
    return m_port->read(reinterpret_cast<char *>(data), size);
}
