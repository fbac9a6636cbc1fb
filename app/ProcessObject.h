#pragma once

#include <cassert>

/// A name for one of the process-wide objects. The object itself lives in ProcessObjects,
/// which makes the objects in a fixed order and destroys them in the reverse; the handle
/// points at it in between, so that code can say g_player->Start().
template <typename T>
class ProcessObject {
public:
    T* operator->() const {
        assert(m_object != nullptr && "process-wide object used outside its lifetime");
        return m_object;
    }
    T& operator*() const { return *operator->(); }
    T* get() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }

    /// Only ProcessObjects (and tests that build their own objects) set the handle.
    void Attach(T* object) { m_object = object; }

private:
    T* m_object = nullptr;
};
