// MessageInfo: the descriptor of one message or sub-message kind and its ordered fields.
#pragma once

#include "FieldValue.h"
#include "mesaroframework_global.h"

#include <QtCore/QPair>
#include <QtCore/QString>
#include <QtCore/QVector>

#include <utility>

class FieldInfo;
class FormatInfo;

class MESAROFRAMEWORK_EXPORT MessageInfo
{
public:
    explicit MessageInfo(QString displayName);
    virtual ~MessageInfo();

    MessageInfo(const MessageInfo &) = default;
    MessageInfo &operator=(const MessageInfo &) = default;

    void setShortDescriptiveText(QString text) { m_shortDescriptiveText = std::move(text); }
    // Main messages stand on their own; the others (false) only occur inside a main message.
    void setIsMain(bool main) { m_main = main; }
    void setFormatInfo(const FormatInfo *format) { m_formatInfo = format; }
    // Positions run from 0 to n-1 and may be given in any order; the fields are kept in position
    // order, and a repeated position goes after the fields already there. marked is a per-field
    // mark that the framework keeps for hosts and gives no meaning of its own.
    void addFieldInfo(const FieldInfo *fieldInfo, int position, bool marked);
    // The field values that identify this message kind among the format's main messages.
    void addDiscriminantValue(const FieldInfo *fieldInfo, const FieldValue &value);

    const QString &getDisplayName() const { return m_displayName; }
    // The display name with every blank replaced by an underscore ("Message_Type_1").
    QString getName() const;
    const QString &getShortDescriptiveText() const { return m_shortDescriptiveText; }
    bool isMain() const { return m_main; }
    const FormatInfo *getFormatInfo() const { return m_formatInfo; }

    // The fields in position order.
    const QVector<const FieldInfo *> &getFieldInfos() const { return m_fieldInfos; }
    int getNumberOfFields() const { return m_fieldInfos.size(); }
    // The field at position, or null when there is none.
    const FieldInfo *getFieldInfo(int position) const;
    // The position of fieldInfo, or -1 when it is no field of this message.
    int getFieldPosition(const FieldInfo *fieldInfo) const;
    // The mark given with the field at position; false when there is none.
    bool isFieldMarked(int position) const;
    // The first field whose getName() is name, or null.
    const FieldInfo *findFieldInfo(const QString &name) const;

    const QVector<QPair<const FieldInfo *, FieldValue>> &getDiscriminants() const { return m_discriminants; }

private:
    // Index of the first field whose position is not below position.
    int lowerBound(int position) const;

    QString m_displayName;
    QString m_shortDescriptiveText;
    const FormatInfo *m_formatInfo = nullptr;
    bool m_main = true;
    // Three parallel lists in position order; fieldInfos is handed out as it is.
    QVector<const FieldInfo *> m_fieldInfos;
    QVector<int> m_fieldPositions;
    QVector<bool> m_fieldMarks;
    QVector<QPair<const FieldInfo *, FieldValue>> m_discriminants;
};
