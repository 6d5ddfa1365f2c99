// ReferenceCountedObject: reference counting and self-deletion.
#include "mesaroframework/ReferenceCountedObject.h"

#include <QtCore/QtGlobal>

ReferenceCountedObject::~ReferenceCountedObject() = default;

void ReferenceCountedObject::addReference() const
{
    ++m_count;
}

void ReferenceCountedObject::removeReference() const
{
    if (m_count <= 0) {
        // Deleting here could destroy an object its creator still owns; refuse instead.
        qWarning("ReferenceCountedObject::removeReference: object holds no reference");
        return;
    }
    if (--m_count == 0)
        delete this;
}
