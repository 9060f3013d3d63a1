#include "framework/CByteArray.h"

#include <new>

#include "framework/CException.h"

IMPLEMENT_DYNAMIC(CByteArray, CObject)

void CByteArray::SetSize(int newSize, int /*growBy*/) {
    try {
        m_items.resize(newSize > 0 ? static_cast<size_t>(newSize) : 0, 0);
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    }
}

int CByteArray::Add(BYTE value) {
    try {
        m_items.push_back(value);
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    }
    return GetUpperBound();
}

void CByteArray::AddBytes(const BYTE* data, int count) {
    if (count <= 0) {
        return;
    }
    try {
        m_items.insert(m_items.end(), data, data + count);
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    }
}

void CByteArray::RemoveAt(int index, int count) {
    const auto first = m_items.begin() + index;
    m_items.erase(first, first + count);
}

void CByteArray::Copy(const CByteArray& other) {
    if (&other == this) {
        return;
    }
    try {
        m_items = other.m_items;
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    }
}
