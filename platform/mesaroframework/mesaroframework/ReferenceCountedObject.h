// ReferenceCountedObject: intrusive reference count for objects handed between decoder and host,
// and ReferencePointer, the scoped holder of one such reference.
#pragma once

#include "mesaroframework_global.h"

#include <utility>

// An object that lives while references to it are held and deletes itself when the last one goes.
// The count starts at 0: an object nobody has referenced yet is owned by its creator, which either
// deletes it directly or hands it over by taking the first reference.
// The count is a plain int: one object is used by one thread at a time, as the decoder and the
// host's sinks all run on the caller's thread.
class MESAROFRAMEWORK_EXPORT ReferenceCountedObject
{
public:
    ReferenceCountedObject() = default;
    virtual ~ReferenceCountedObject();

    ReferenceCountedObject(const ReferenceCountedObject &) = delete;
    ReferenceCountedObject &operator=(const ReferenceCountedObject &) = delete;

    void addReference() const;
    // Deletes the object when the count drops to 0. Releasing an object that holds no reference
    // is a caller error: it is reported with a warning and otherwise ignored.
    void removeReference() const;
    int getReferenceCount() const { return m_count; }

private:
    mutable int m_count = 0;
};

// Holds one reference on a ReferenceCountedObject for as long as it lives, also while an
// exception unwinds, in the manner of an intrusive smart pointer.
template <typename T>
class ReferencePointer
{
public:
    ReferencePointer() = default;
    explicit ReferencePointer(T *object) : m_ptr(object) { acquire(); }
    ReferencePointer(const ReferencePointer &other) : m_ptr(other.m_ptr) { acquire(); }
    ReferencePointer(ReferencePointer &&other) noexcept : m_ptr(std::exchange(other.m_ptr, nullptr)) {}
    ~ReferencePointer() { release(); }

    ReferencePointer &operator=(ReferencePointer other) noexcept
    {
        std::swap(m_ptr, other.m_ptr);
        return *this;
    }

    void reset(T *object = nullptr) { *this = ReferencePointer(object); }

    T *get() const { return m_ptr; }
    T *operator->() const { return m_ptr; }
    T &operator*() const { return *m_ptr; }
    explicit operator bool() const { return m_ptr != nullptr; }

private:
    void acquire() const
    {
        if (m_ptr)
            m_ptr->addReference();
    }
    void release() const
    {
        if (m_ptr)
            m_ptr->removeReference();
    }

    T *m_ptr = nullptr;
};
