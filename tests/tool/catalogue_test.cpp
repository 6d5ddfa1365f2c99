// rtcmv catalogue --json: the schema other tools rely on, checked against the message description
// the catalogue was generated from, plus a few values by hand.
#include "tool_support.h"

#include <RTCMV_codec.h>

#include <QtCore/QJsonArray>
#include <QtCore/QSet>

#include <gtest/gtest.h>

using namespace ToolSupport;

namespace {

QJsonObject findMessage(const QJsonArray &messages, const char *name)
{
    for (const QJsonValue m : messages) {
        if (m.toObject().value(QLatin1String("name")) == QLatin1String(name))
            return m.toObject();
    }
    ADD_FAILURE() << "no message " << name;
    return QJsonObject();
}

QJsonObject findField(const QJsonObject &message, const char *name)
{
    for (const QJsonValue f : message.value(QLatin1String("fields")).toArray()) {
        if (f.toObject().value(QLatin1String("name")) == QLatin1String(name))
            return f.toObject();
    }
    ADD_FAILURE() << "no field " << name;
    return QJsonObject();
}

// The JSON type every key of a field object must have; "or null" where the key may be null.
void expectFieldSchema(const QJsonObject &f, const std::string &where)
{
    static const QStringList keys = {"name", "class", "display", "type", "width", "unit", "scale", "symbols",
                                     "optional", "repeated", "virtual", "role", "doNotUse", "subFields", "subMessage"};
    QStringList sortedKeys = keys;
    sortedKeys.sort();
    EXPECT_EQ(f.keys(), sortedKeys) << where;
    for (const char *key : {"name", "class", "display", "type", "unit"})
        EXPECT_TRUE(f.value(QLatin1String(key)).isString()) << where << " " << key;
    for (const char *key : {"optional", "repeated", "virtual", "role"})
        EXPECT_TRUE(f.value(QLatin1String(key)).isBool()) << where << " " << key;
    const QString type = f.value(QLatin1String("type")).toString();
    EXPECT_TRUE(QSet<QString>({"u", "i", "byte", "ch", "f64", "subMessage"}).contains(type)) << where;
    const bool hasWidth = type == QLatin1String("u") || type == QLatin1String("i");
    EXPECT_EQ(f.value(QLatin1String("width")).isDouble(), hasWidth) << where;
    EXPECT_EQ(f.value(QLatin1String("width")).isNull(), !hasWidth) << where;
    EXPECT_TRUE(f.value(QLatin1String("scale")).isDouble() || f.value(QLatin1String("scale")).isNull()) << where;
    EXPECT_TRUE(f.value(QLatin1String("doNotUse")).isDouble() || f.value(QLatin1String("doNotUse")).isNull()) << where;
    const bool sub = type == QLatin1String("subMessage");
    EXPECT_EQ(f.value(QLatin1String("subMessage")).isString(), sub) << where;
    EXPECT_EQ(f.value(QLatin1String("subMessage")).isNull(), !sub) << where;
    for (const QJsonValue s : f.value(QLatin1String("symbols")).toArray()) {
        const QJsonArray pair = s.toArray();
        EXPECT_TRUE(pair.size() == 2 && pair[0].isDouble() && pair[1].isString()) << where;
    }
    for (const QJsonValue s : f.value(QLatin1String("subFields")).toArray())
        EXPECT_TRUE(s.isString()) << where;
}

} // namespace

TEST(ToolCatalogue, JsonSchemaAndContents)
{
    const ToolRun run = runTool({"catalogue", "--json"});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    ASSERT_EQ(lines(run.out).size(), 1);
    const QJsonObject catalogue = parseLine(run.out.trimmed());
    EXPECT_EQ(catalogue.keys(), (QStringList{"format", "messages"}));
    EXPECT_EQ(catalogue.value(QLatin1String("format")), QLatin1String("RTCMV"));
    const QJsonArray messages = catalogue.value(QLatin1String("messages")).toArray();
    const QJsonArray description = descriptionRecords();
    ASSERT_EQ(messages.size(), 45);
    ASSERT_EQ(description.size(), 45);

    // Registration order: the 13 sub-records, then the 32 messages by type.
    int fields = 0, previousType = 0;
    for (int i = 0; i < messages.size(); ++i) {
        const QJsonObject m = messages[i].toObject(), d = description[i].toObject();
        const std::string name = m.value(QLatin1String("name")).toString().toStdString();
        EXPECT_EQ(m.keys(), (QStringList{"description", "discriminant", "display", "fields", "main", "name"})) << name;
        for (const char *key : {"name", "display", "description", "main"})
            EXPECT_EQ(m.value(QLatin1String(key)), d.value(QLatin1String(key))) << name << " " << key;
        EXPECT_EQ(m.value(QLatin1String("main")).toBool(), i >= 13) << name;
        EXPECT_EQ(m.value(QLatin1String("discriminant")), d.value(QLatin1String("messageType"))) << name;
        if (i >= 13) {
            EXPECT_GT(m.value(QLatin1String("discriminant")).toInt(), previousType) << name;
            previousType = m.value(QLatin1String("discriminant")).toInt();
        }
        const QJsonArray mf = m.value(QLatin1String("fields")).toArray(), df = d.value(QLatin1String("fields")).toArray();
        ASSERT_EQ(mf.size(), df.size()) << name;
        // JSON Lines keys come from the codec's layout: it must list the fields in position order.
        const auto *layout = Nvt::Mesaro::RTCMV_record_info(uint32_t(d.value(QLatin1String("kind")).toInt()));
        ASSERT_NE(layout, nullptr);
        ASSERT_EQ(layout->fieldCount, uint32_t(mf.size())) << name;
        for (int k = 0; k < mf.size(); ++k)
            EXPECT_EQ(mf[k].toObject().value(QLatin1String("name")), QLatin1String(layout->fields[k].name)) << name;
        fields += mf.size();
        for (int k = 0; k < mf.size(); ++k) {
            const QJsonObject f = mf[k].toObject(), g = df[k].toObject();
            const std::string where = name + "." + f.value(QLatin1String("name")).toString().toStdString();
            expectFieldSchema(f, where);
            for (const QString &key : f.keys())
                EXPECT_EQ(f.value(key), g.value(key)) << where << " " << key.toStdString();
        }
    }
    EXPECT_EQ(fields, 498);

    // By hand: the DGNSS PRC error value, the do-not-use delay rate, a field with sub-fields and
    // an ephemeris scale factor (eccentricity, 2^-33).
    const QJsonObject type1 = findMessage(messages, "Message_Type_1");
    EXPECT_EQ(type1.value(QLatin1String("discriminant")), 1);
    EXPECT_EQ(type1.value(QLatin1String("display")), QLatin1String("Message Type 1"));
    EXPECT_EQ(findField(type1, "Corrections").value(QLatin1String("subMessage")), QLatin1String("DGNSS"));
    QJsonArray prcSymbols; // by append: a braced QJsonArray in a QJsonArray may be taken for a copy
    prcSymbols.append(QJsonArray{-32768, "error"});
    EXPECT_EQ(findField(findMessage(messages, "DGNSS"), "PRC").value(QLatin1String("symbols")), prcSymbols);
    EXPECT_EQ(findField(findMessage(messages, "Type_15"), "Rate_Of_Change").value(QLatin1String("doNotUse")), -8192);
    EXPECT_EQ(findField(findMessage(messages, "Message_Type_44"), "Station_Health").value(QLatin1String("subFields")),
              (QJsonArray{"Source"}));
    EXPECT_EQ(findField(findMessage(messages, "Message_Type_17"), "e").value(QLatin1String("scale")),
              1.0 / 8589934592.0);
    EXPECT_EQ(findField(findMessage(messages, "Message_Type_1"), "Ns").value(QLatin1String("scale")), QJsonValue());

    const ToolRun text = runTool({"catalogue"});
    EXPECT_EQ(text.status, 0);
    EXPECT_TRUE(text.out.startsWith("format RTCMV\n"));
}
