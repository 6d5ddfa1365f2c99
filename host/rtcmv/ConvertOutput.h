// Where `rtcmv convert` writes its RTCM 2 stream: standard output, a file, a serial port, or a TCP
// server that gives every client the stream from the moment it connects.
#pragma once

#include <QtCore/QString>

#include <cstdint>
#include <memory>

class ConvertOutput
{
public:
    virtual ~ConvertOutput() = default;
    // Writes the bytes (a whole message); false once the output is lost for good.
    virtual bool write(const uint8_t *data, std::size_t size) = 0;
    // Lets a live output do its housekeeping (accepting clients) while no data comes.
    virtual void poll() {}
    // Writes out what is buffered.
    virtual bool flush() { return true; }
    virtual QString failure() const { return QString(); }
};

// "-" (standard output), a file name, serial:///dev/...?baud=N or tcp-server://[HOST]:PORT[?queue=BYTES].
// Null, with `error` set, when it cannot be opened. `live`: flush each message at once.
std::unique_ptr<ConvertOutput> openConvertOutput(const QString &destination, bool live, QString *error);
