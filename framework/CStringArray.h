// A growable array of texts, indexed from 0. A failure to allocate raises
// the framework's CMemoryException; an index outside the array is a caller's
// error and is not checked beyond what the standard library does in debug
// builds.
#pragma once

#include <vector>

#include "framework/CObject.h"
#include "framework/CString.h"

class CStringArray : public CObject {
    DECLARE_DYNAMIC(CStringArray)
public:
    CStringArray() = default;
    ~CStringArray() override = default;
    CStringArray(const CStringArray&) = delete;
    CStringArray& operator=(const CStringArray&) = delete;

    int GetSize() const { return static_cast<int>(m_items.size()); }
    int GetCount() const { return GetSize(); }
    int GetUpperBound() const { return GetSize() - 1; }
    bool IsEmpty() const { return m_items.empty(); }

    // New elements are empty texts. The growth step is accepted for
    // compatibility; the array grows geometrically whatever it says.
    void SetSize(int newSize, int growBy = -1);
    void RemoveAll() { m_items.clear(); }

    const CString& GetAt(int index) const { return m_items[Slot(index)]; }
    void SetAt(int index, const CString& text) { m_items[Slot(index)] = text; }
    CString& ElementAt(int index) { return m_items[Slot(index)]; }
    const CString& operator[](int index) const { return GetAt(index); }
    CString& operator[](int index) { return ElementAt(index); }

    // Returns the index of the new element.
    int Add(const CString& text);
    void InsertAt(int index, const CString& text);
    void RemoveAt(int index, int count = 1);
    // Appends the other array's elements; returns the index of the first.
    int Append(const CStringArray& other);
    void Copy(const CStringArray& other);

private:
    static size_t Slot(int index) { return static_cast<size_t>(index); }

    std::vector<CString> m_items;
};
