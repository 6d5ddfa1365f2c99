// A small host of the installed package: reads an RTCM 2 stream from a TCP server, frames it with
// Rtcm2Framer and prints each decoded message field by field through the catalogue.
// usage: tcp_host HOST PORT
#include <mesarortcmv/Rtcm2Framer.h>
#include <mesarortcmv/mesarortcmv.h>

#include <cstdio>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

class Printer : public MessageSink
{
public:
    void newMessage(const Message *message) override
    {
        std::printf("%s\n", qPrintable(message->getMessageInfo()->getDisplayName()));
        for (const FieldInfo *field : message->getMessageInfo()->getFieldInfos())
            for (unsigned i = 0; i < field->getNumberOfValues(message); ++i)
                std::printf("  %s: %s\n", qPrintable(field->getDisplayName()),
                            qPrintable(field->getIndexedValueString(message, i, true)));
        std::fflush(stdout); // a live stream: show each message as it comes
    }
    void newEvent(const MesaroEvent &event) override { std::fprintf(stderr, "%s\n", qPrintable(event.getText())); }
};

static int connectTo(const char *host, const char *port)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (getaddrinfo(host, port, &hints, &found) != 0)
        return -1;
    int fd = -1;
    for (addrinfo *a = found; a != nullptr && fd < 0; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (fd >= 0 && connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    return fd;
}

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: tcp_host HOST PORT\n");
        return 2;
    }
    const int fd = connectTo(argv[1], argv[2]);
    if (fd < 0) {
        std::fprintf(stderr, "cannot connect to %s:%s\n", argv[1], argv[2]);
        return 2;
    }
    RTCMVDecoder decoder(nullptr);
    Printer printer;
    decoder.addSink(&printer);
    // Bytes in; each complete message (packed 24-bit data words) out to the decoder.
    Rtcm2Framer framer([&decoder](const uint8_t *packed, std::size_t bytes, unsigned) {
        decoder.decodeMessage(packed, uint(bytes));
    });
    uint8_t buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        framer.feed(buffer, std::size_t(n));
    framer.flush(); // the last message has no next header to confirm it
    close(fd);
    const Rtcm2Framer::Stats &stats = framer.stats();
    std::fprintf(stderr, "%llu messages, %llu parity failures\n", static_cast<unsigned long long>(stats.messages),
                 static_cast<unsigned long long>(stats.parityFailures));
    return 0;
}
