// FieldInfo: the descriptor of one field of a message, with typed access to its values.
#pragma once

#include "FieldType.h"
#include "FieldValue.h"
#include "mesaroframework_global.h"

#include <QtCore/QPair>
#include <QtCore/QString>
#include <QtCore/QVector>

#include <utility>

class Message;

// A format derives one class per field and implements the per-field operations; everything else
// (names, type, flags, unit, scale factor, symbolic values) lives here. A descriptor is set up in
// its constructor and only read afterwards.
class MESAROFRAMEWORK_EXPORT FieldInfo
{
public:
    enum Role { NoRole = 0, DataRole = 1 };

    FieldInfo(QString displayName, const FieldType &type);
    virtual ~FieldInfo();

    FieldInfo(const FieldInfo &) = default;
    FieldInfo &operator=(const FieldInfo &) = default;

    // Set-up, called by the format's descriptor constructors.
    void setName(QString name) { m_name = std::move(name); }
    void setIsOptional(bool optional) { m_optional = optional; }
    void setIsRepeated(bool repeated) { m_repeated = repeated; }
    void setConfidential(bool confidential) { m_confidential = confidential; }
    void setVirtual(bool isVirtual) { m_virtual = isVirtual; }
    void addSubFieldInfo(const FieldInfo *subField) { m_subFieldInfos.append(subField); }
    void setRole(Role role);
    void setUnit(QString unit) { m_unit = std::move(unit); }
    void setScaleFactor(double factor);
    // Registering a value again replaces its text and keeps its first position.
    void addSymbolicValue(const FieldValue &value, QString text);
    void setDoNotUseValue(FieldValue value);

    // The field's identifier (the codec's field name); the display name unless set.
    const QString &getName() const { return m_name; }
    const QString &getDisplayName() const { return m_displayName; }
    const FieldType &getType() const { return m_type; }
    bool isOptional() const { return m_optional; }
    bool isRepeated() const { return m_repeated; }
    bool isConfidential() const { return m_confidential; }
    // A field the decoder derives from others; it is never on the wire.
    bool isVirtual() const { return m_virtual; }
    bool hasRole() const { return m_hasRole; }
    Role getRole() const { return m_role; }
    // The empty text when the field has no unit.
    const QString &getUnit() const { return m_unit; }
    // True: "value unit"; false: "unit value".
    bool isUnitFollowingValue() const { return m_unitFollowsValue; }
    // The factor that turns the raw value into the unit; 1 when there is none.
    bool hasScaleFactor() const { return m_hasScaleFactor; }
    double getScaleFactor() const { return m_scaleFactor; }
    const QVector<QPair<FieldValue, QString>> &getSymbolicValues() const { return m_symbolicValues; }
    // The text registered for value, or a null text when there is none.
    QString getSymbolicText(const FieldValue &value) const;
    bool hasDoNotUseValue() const { return m_hasDoNotUseValue; }
    FieldValue getDoNotUseValue() const { return m_doNotUseValue; }
    const QVector<const FieldInfo *> &getSubFieldInfos() const { return m_subFieldInfos; }

    // Per-field access to a message. Only getValue checks its arguments (throwing a MesaroEvent
    // of type FieldAccessError); getValueNoCheck and getIndexedValueString expect a message of
    // the field's kind and an index below getNumberOfValues.
    virtual bool isPresent(const Message *message) const = 0;
    virtual unsigned int getNumberOfValues(const Message *message) const = 0;
    virtual FieldValue getValue(const Message *message, unsigned int index) const = 0;
    virtual FieldValue getValueNoCheck(const Message *message, unsigned int index) const = 0;
    // Every value with its unit, joined by one blank; the empty text when the field is absent.
    virtual QString getValueString(const Message *message) const;
    virtual QString getIndexedValueString(const Message *message, unsigned int index, bool withUnit) const = 0;

protected:
    void setUnitFollowingValue(bool follows) { m_unitFollowsValue = follows; }
    // Adds the unit to a value's text when withUnit is true and the field has a unit, on the
    // side isUnitFollowingValue() tells, with one blank between.
    QString joinUnit(const QString &valueText, bool withUnit) const;

private:
    QString m_displayName;
    QString m_name;
    FieldType m_type;
    QString m_unit;
    QVector<QPair<FieldValue, QString>> m_symbolicValues;
    QVector<const FieldInfo *> m_subFieldInfos;
    FieldValue m_doNotUseValue;
    double m_scaleFactor = 1.0;
    Role m_role = NoRole;
    bool m_hasRole = false;
    bool m_hasScaleFactor = false;
    bool m_hasDoNotUseValue = false;
    bool m_unitFollowsValue = true;
    bool m_optional = false;
    bool m_repeated = false;
    bool m_confidential = false;
    bool m_virtual = false;
};
