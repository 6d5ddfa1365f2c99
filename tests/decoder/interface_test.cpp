// The decoder's outer interface: lengths beyond 16 bits, the descriptor registry, the Qt
// meta-object with its one slot, and the allocation tracer.
#include "decoder_support.h"

#include "RTCMV_messages.h"

#include <nvtguibase/MemLeakTracer.h>

#include <QtCore/QMetaMethod>
#include <QtCore/QMetaObject>

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(DecoderInterface, LengthsOf65536AndMoreAreClampedNotWrapped)
{
    DecoderWithSink d;
    for (const Sample &sample : makeSamples(21, 1)) {
        SCOPED_TRACE("message type " + std::to_string(sample.type));
        const int32_t bits = codecAnswer(sample.bytes.data(), uint16_t(sample.bytes.size())).result;
        std::vector<unsigned char> large(70000, 0);
        std::copy(sample.bytes.begin(), sample.bytes.end(), large.begin());
        // Wrapped to 16 bits, 65536 + 2 would be a two-byte buffer and 65536 no buffer at all.
        for (uint maxlength : {uint(sample.bytes.size()), uint(sample.bytes.size()) + 1, 65535u, 65536u, 65537u,
                               65538u, 131072u + 1u, UINT_MAX}) {
            SCOPED_TRACE("maxlength " + std::to_string(maxlength));
            d.sink.clear();
            EXPECT_EQ(d.decoder.decodeMessage(large.data(), maxlength), bits);
            EXPECT_EQ(d.sink.log, publishedLog());
        }
    }
}

TEST(DecoderInterface, RegistersTheDescriptorsUnderTheirKinds)
{
    RTCMVDecoder decoder(nullptr);
    const std::vector<const MessageInfo *> &order = registrationOrder();
    QVector<int> numbers;
    for (int e = 1; e <= 45; ++e) {
        numbers.append(e);
        EXPECT_EQ(decoder.getMessageInfoForEnum(e), order[size_t(e - 1)]) << "number " << e;
        EXPECT_EQ(decoder.getMessageEnum(order[size_t(e - 1)]), e);
    }
    EXPECT_EQ(decoder.getMessageEnums(), numbers);
    EXPECT_EQ(decoder.getMessageInfoForEnum(29), RTCMV_Message_Type_1_MessageInfo::getInstance());
    // Each message type's number is the kind that selects its class.
    for (uint32_t type : CodecSupport::messageTypes())
        EXPECT_EQ(decoder.getMessageInfoForEnum(int(messageClassOf(type).kind)), messageClassOf(type).info) << type;
}

TEST(DecoderInterface, MetaObjectHasTheOneDecodeSlot)
{
    const QMetaObject &meta = RTCMVDecoder::staticMetaObject;
    EXPECT_STREQ(meta.className(), "RTCMVDecoder");
    EXPECT_EQ(meta.superClass(), &AbstractDecoder::staticMetaObject);
    ASSERT_EQ(meta.methodCount() - meta.methodOffset(), 1);
    EXPECT_EQ(meta.propertyCount(), meta.propertyOffset());
    EXPECT_EQ(meta.enumeratorCount(), meta.enumeratorOffset());
    EXPECT_EQ(meta.classInfoCount(), meta.classInfoOffset());
    EXPECT_EQ(meta.constructorCount(), 0);

    const QMetaMethod slot = meta.method(meta.methodOffset());
    EXPECT_EQ(slot.methodType(), QMetaMethod::Slot);
    EXPECT_EQ(slot.access(), QMetaMethod::Public);
    EXPECT_EQ(slot.name(), QByteArray("decodeMessage"));
    EXPECT_STREQ(slot.typeName(), "int32_t");
    EXPECT_EQ(slot.parameterTypes(), (QList<QByteArray>{"const uint8_t*", "uint"}));
    EXPECT_EQ(slot.parameterNames(), (QList<QByteArray>{"buffer", "maxlength"}));

    DecoderWithSink d;
    EXPECT_EQ(d.decoder.metaObject(), &meta);
    EXPECT_EQ(d.decoder.qt_metacast("RTCMVDecoder"), static_cast<void *>(&d.decoder));
    EXPECT_EQ(d.decoder.qt_metacast("AbstractDecoder"), static_cast<void *>(static_cast<AbstractDecoder *>(&d.decoder)));
    EXPECT_EQ(d.decoder.qt_metacast("NoSuchClass"), nullptr);

    const Sample sample = sampleOf(makeSamples(22, 1), 1);
    const uint8_t *buffer = sample.bytes.data();
    int32_t result = 0;
    ASSERT_TRUE(QMetaObject::invokeMethod(&d.decoder, "decodeMessage", Qt::DirectConnection, Q_RETURN_ARG(int32_t, result),
                                          Q_ARG(const uint8_t *, buffer), Q_ARG(uint, uint(sample.bytes.size()))));
    EXPECT_EQ(result, codecAnswer(buffer, uint16_t(sample.bytes.size())).result);
    EXPECT_EQ(d.sink.log, publishedLog());
    EXPECT_EQ(d.sink.classes.at(0), messageClassOf(1).cppClass);
}

TEST(DecoderInterface, NameParentAndTracer)
{
    const QString name = QStringLiteral("RTCMVDecoder");
    ASSERT_EQ(MemLeakTracer::liveCount(name), 0);
    {
        RTCMVDecoder decoder(nullptr);
        EXPECT_EQ(MemLeakTracer::liveCount(name), 1);
        EXPECT_EQ(decoder.getName(), QStringLiteral("RTCMV"));
        EXPECT_EQ(decoder.objectName(), QStringLiteral("RTCMV"));
    }
    EXPECT_EQ(MemLeakTracer::liveCount(name), 0);

    // A decoder dies with its parent.
    auto *parent = new QObject;
    auto *child = new RTCMVDecoder(parent);
    EXPECT_EQ(child->parent(), parent);
    EXPECT_EQ(MemLeakTracer::liveCount(name), 1);
    delete parent;
    EXPECT_EQ(MemLeakTracer::liveCount(name), 0);
}

} // namespace
