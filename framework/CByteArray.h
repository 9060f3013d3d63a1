// A growable array of bytes, indexed from 0, whose elements lie one after
// another in memory (GetData). A failure to allocate raises the framework's
// CMemoryException.
#pragma once

#include <vector>

#include "framework/CObject.h"
#include "platform/Win32.h"

class CByteArray : public CObject {
    DECLARE_DYNAMIC(CByteArray)
public:
    CByteArray() = default;
    ~CByteArray() override = default;
    CByteArray(const CByteArray&) = delete;
    CByteArray& operator=(const CByteArray&) = delete;

    int GetSize() const { return static_cast<int>(m_items.size()); }
    int GetCount() const { return GetSize(); }
    int GetUpperBound() const { return GetSize() - 1; }
    bool IsEmpty() const { return m_items.empty(); }

    // New elements are 0. The growth step is accepted for compatibility.
    void SetSize(int newSize, int growBy = -1);
    void RemoveAll() { m_items.clear(); }

    BYTE GetAt(int index) const { return m_items[Slot(index)]; }
    void SetAt(int index, BYTE value) { m_items[Slot(index)] = value; }
    BYTE& ElementAt(int index) { return m_items[Slot(index)]; }
    BYTE operator[](int index) const { return GetAt(index); }
    BYTE& operator[](int index) { return ElementAt(index); }

    // The elements in order; null for an empty array.
    const BYTE* GetData() const { return m_items.empty() ? nullptr : m_items.data(); }
    BYTE* GetData() { return m_items.empty() ? nullptr : m_items.data(); }

    // Returns the index of the new element.
    int Add(BYTE value);
    // Appends `count` bytes read from `data`.
    void AddBytes(const BYTE* data, int count);
    void RemoveAt(int index, int count = 1);
    void Copy(const CByteArray& other);

private:
    static size_t Slot(int index) { return static_cast<size_t>(index); }

    std::vector<BYTE> m_items;
};
