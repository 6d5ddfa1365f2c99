// Message lifetime through reference counting, message defaults and events as exceptions.
#include "FrameworkTestTypes.h"

#include <gtest/gtest.h>

#include <QtCore/QVariant>

#include <stdexcept>

TEST(MessageLifetime, DiesExactlyWhenLastReferenceGoes)
{
    MessageInfo info(QStringLiteral("Test"));
    int deaths = 0;
    auto *message = new ListMessage(&info, {}, &deaths);
    EXPECT_EQ(message->getReferenceCount(), 0);

    message->addReference();
    message->addReference();
    message->removeReference();
    EXPECT_EQ(deaths, 0);
    EXPECT_EQ(message->getReferenceCount(), 1);
    message->removeReference();
    EXPECT_EQ(deaths, 1);

    // Holders share, copy and move one object; the last one standing releases it.
    deaths = 0;
    {
        ReferencePointer<const Message> outer;
        {
            ReferencePointer<const Message> first(new ListMessage(&info, {}, &deaths));
            ReferencePointer<const Message> copy = first;
            EXPECT_EQ(first->getReferenceCount(), 2);
            outer = std::move(copy);
            EXPECT_FALSE(copy);
        }
        EXPECT_EQ(deaths, 0);
        EXPECT_EQ(outer->getReferenceCount(), 1);
        outer.reset(new ListMessage(&info, {}, &deaths));
        EXPECT_EQ(deaths, 1);
    }
    EXPECT_EQ(deaths, 2);

    // A holder releases during unwinding too, as the decoder relies on when a sink throws.
    deaths = 0;
    try {
        ReferencePointer<const Message> held(new ListMessage(&info, {}, &deaths));
        throw std::runtime_error("sink failed");
    } catch (const std::runtime_error &) {
        EXPECT_EQ(deaths, 1);
    }

    // Releasing an unreferenced object must not delete what its creator still owns.
    ListMessage onStack(&info, {}, &deaths);
    onStack.removeReference();
    EXPECT_EQ(deaths, 1);
}

TEST(MessageLifetime, MessageDefaultsAndRawRepresentation)
{
    EXPECT_EQ(Message::fieldSeparator, QStringLiteral(";"));
    EXPECT_EQ(Message::doNotUseString, QStringLiteral("DNU"));
    EXPECT_TRUE(Message::useDoNotUseString);

    MessageInfo info(QStringLiteral("Test"));
    ListMessage parent(&info, {1, 2});
    ListMessage child(&info);
    Message plain(&info);
    EXPECT_EQ(parent.getMessageInfo(), &info);
    EXPECT_EQ(child.getParentMessage(), nullptr);
    child.setParentMessage(&parent);
    EXPECT_EQ(child.getParentMessage(), &parent);
    EXPECT_EQ(static_cast<const Message &>(child).getParentMessage(), &parent);

    EXPECT_TRUE(plain.getSubMessages().isEmpty());
    EXPECT_TRUE(static_cast<const Message &>(plain).getSubMessages().isEmpty());
    EXPECT_TRUE(plain.getRawStringFor({true, true}).isEmpty());

    // The lookup dispatches to the other message's own record.
    EXPECT_EQ(child.rawOf(&parent), &parent.values);
    EXPECT_EQ(child.rawOf(&plain), nullptr);
    EXPECT_EQ(child.rawOf(nullptr), nullptr);
}

TEST(MesaroEventTest, CopiesAndTravelsAsException)
{
    const FormatInfo format(QStringLiteral("RTCMV"));
    const QString text = QStringLiteral("Requesting value for a field Grüße::PRC.");

    MesaroEvent empty;
    EXPECT_EQ(empty.getType(), MesaroEvent::NoEvent);
    EXPECT_TRUE(empty.getText().isEmpty());
    EXPECT_EQ(empty.getFormatInfo(), nullptr);
    EXPECT_STREQ(empty.what(), "");

    EXPECT_EQ(int(MesaroEvent::UnrecognisedMessageType), 3);
    EXPECT_EQ(int(MesaroEvent::CodecError), 4);
    EXPECT_EQ(int(MesaroEvent::InconsistentDecoderState), 5);
    EXPECT_EQ(int(MesaroEvent::FieldAccessError), 6);

    MesaroEvent original(MesaroEvent::Type(6), text, &format);
    MesaroEvent copy = original;
    empty = original;
    for (const MesaroEvent *event : {&copy, &empty}) {
        EXPECT_EQ(event->getType(), MesaroEvent::FieldAccessError);
        EXPECT_EQ(event->getText(), text);
        EXPECT_EQ(event->getFormatInfo(), &format);
        EXPECT_EQ(QString::fromUtf8(event->what()), text);
    }

    try {
        throw original;
    } catch (const std::exception &caught) {
        const auto *event = dynamic_cast<const MesaroEvent *>(&caught);
        ASSERT_NE(event, nullptr);
        EXPECT_EQ(event->getText(), text);
        EXPECT_EQ(event->getFormatInfo(), &format);
    }

    // Declared as a meta-type, so it fits in a QVariant and in queued signals.
    const MesaroEvent back = QVariant::fromValue(original).value<MesaroEvent>();
    EXPECT_EQ(back.getType(), MesaroEvent::FieldAccessError);
    EXPECT_EQ(back.getText(), text);
    EXPECT_EQ(MesaroEvent::typeName(MesaroEvent::CodecError), QStringLiteral("codec error"));
}
