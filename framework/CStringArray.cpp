#include "framework/CStringArray.h"

#include <new>

#include "framework/CException.h"

IMPLEMENT_DYNAMIC(CStringArray, CObject)

void CStringArray::SetSize(int newSize, int /*growBy*/) {
    try {
        m_items.resize(newSize > 0 ? static_cast<size_t>(newSize) : 0);
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    }
}

int CStringArray::Add(const CString& text) {
    try {
        m_items.push_back(text);
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    }
    return GetUpperBound();
}

void CStringArray::InsertAt(int index, const CString& text) {
    try {
        if (Slot(index) >= m_items.size()) {
            // As in the framework: inserting past the end grows the array.
            m_items.resize(Slot(index));
            m_items.push_back(text);
        } else {
            m_items.insert(m_items.begin() + index, text);
        }
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    }
}

void CStringArray::RemoveAt(int index, int count) {
    const auto first = m_items.begin() + index;
    m_items.erase(first, first + count);
}

int CStringArray::Append(const CStringArray& other) {
    const int first = GetSize();
    try {
        // A copy first, so that appending an array to itself reads no
        // element that the growth has moved.
        const std::vector<CString> items(other.m_items);
        m_items.insert(m_items.end(), items.begin(), items.end());
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    }
    return first;
}

void CStringArray::Copy(const CStringArray& other) {
    if (&other == this) {
        return;
    }
    try {
        m_items = other.m_items;
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    }
}
