// Frames one type 3 message through the installed framer and decodes it through an installed
// RTCMVDecoder, decodes one type 14 message through the installed RTCM2XDecoder, and reads a field of each through the catalogue: what a host written
// against the package does. Exits 0 when all went as expected.
#include <mesarortcmv/Rtcm2Framer.h>
#include <mesarortcmv/mesarortcmv.h>

#include <cstdio>
#include <vector>

class Sink : public MessageSink
{
public:
    explicit Sink(QString name) : field(std::move(name)) {}
    QString field;
    QString text;
    void newMessage(const Message *message) override
    {
        const FieldInfo *field = message->getMessageInfo()->findFieldInfo(this->field);
        if (field != nullptr)
            text = field->getIndexedValueString(message, 0, false);
    }
};

int main()
{
    Nvt::Mesaro::RTCMV_Message_Type_3_s record;
    Nvt::Mesaro::RTCMV_init_Message_Type_3(&record);
    record.No_Of_Data_Words = 4;
    record.ECEF_X = 385716780;
    unsigned char packed[18] = {};
    if (Nvt::Mesaro::RTCMV_encode_Message_Type_3(packed, sizeof packed, &record) != 144)
        return 1;

    RTCMVDecoder decoder(nullptr);
    Sink sink(QStringLiteral("ECEF_X"));
    decoder.addSink(&sink);
    // Through the installed framer: written with parity, framed back, decoded.
    std::vector<uint8_t> stream;
    Rtcm2Writer().writeMessage(packed, 6, stream);
    int32_t bits = 0;
    Rtcm2Framer framer([&](const uint8_t *message, std::size_t bytes, unsigned) {
        bits = decoder.decodeMessage(message, uint(bytes));
    });
    framer.feed(stream.data(), stream.size());
    framer.flush();
    std::printf("decoded %d bits, ECEF X %s\n", bits, sink.text.toUtf8().constData());

    Nvt::Mesaro::RTCM2X_Message_Type_14_s time;
    Nvt::Mesaro::RTCM2X_init_Message_Type_14(&time);
    time.No_Of_Data_Words = 1;
    time.GPS_Week = 601;
    unsigned char packed14[9] = {};
    RTCM2XDecoder decoder2x(nullptr);
    Sink sink2x(QStringLiteral("GPS_Week"));
    decoder2x.addSink(&sink2x);
    const int32_t bits14 = Nvt::Mesaro::RTCM2X_encode_Message_Type_14(packed14, sizeof packed14, &time) == 72
                               ? decoder2x.decodeMessage(packed14, sizeof packed14) : -1;
    std::printf("decoded %d bits, GPS week %s\n", bits14, sink2x.text.toUtf8().constData());
    // Decimal texts follow the locale in force.
    return bits == 144 && sink.text == QLocale().toString(385716780) && bits14 == 72 && sink2x.text == QStringLiteral("601")
               ? 0 : 1;
}
