#include "framework/CStringList.h"

#include <new>

#include "framework/CException.h"

IMPLEMENT_DYNAMIC(CStringList, CObject)

struct CStringList::Node {
    Node* pNext;
    Node* pPrev;
    CString data;
};

CStringList::CStringList(int blockSize) : m_nBlockSize(blockSize > 0 ? blockSize : 10) {}

CStringList::~CStringList() {
    RemoveAll();
}

CStringList::Node* CStringList::NodeOf(POSITION position) {
    return reinterpret_cast<Node*>(position);
}

POSITION CStringList::PositionOf(Node* node) {
    return reinterpret_cast<POSITION>(node);
}

// Both the node and the copy of the text may fail to allocate; either way the
// program sees the framework's memory exception, as from the framework's own
// list, and nothing has been linked in.
CStringList::Node* CStringList::NewNode(const CString& text) {
    try {
        return new Node{nullptr, nullptr, text};
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    }
}

POSITION CStringList::AddHead(const CString& text) {
    Node* node = NewNode(text);
    node->pNext = m_pHead;
    if (m_pHead != nullptr) {
        m_pHead->pPrev = node;
    } else {
        m_pTail = node;
    }
    m_pHead = node;
    ++m_nCount;
    return PositionOf(node);
}

POSITION CStringList::AddTail(const CString& text) {
    Node* node = NewNode(text);
    node->pPrev = m_pTail;
    if (m_pTail != nullptr) {
        m_pTail->pNext = node;
    } else {
        m_pHead = node;
    }
    m_pTail = node;
    ++m_nCount;
    return PositionOf(node);
}

void CStringList::Unlink(Node* node) {
    (node->pPrev != nullptr ? node->pPrev->pNext : m_pHead) = node->pNext;
    (node->pNext != nullptr ? node->pNext->pPrev : m_pTail) = node->pPrev;
    --m_nCount;
    delete node;
}

CString CStringList::RemoveHead() {
    CString text = m_pHead->data;
    Unlink(m_pHead);
    return text;
}

CString CStringList::RemoveTail() {
    CString text = m_pTail->data;
    Unlink(m_pTail);
    return text;
}

void CStringList::RemoveAt(POSITION position) {
    Unlink(NodeOf(position));
}

void CStringList::RemoveAll() {
    Node* node = m_pHead;
    while (node != nullptr) {
        Node* next = node->pNext;
        delete node;
        node = next;
    }
    m_pHead = m_pTail = nullptr;
    m_nCount = 0;
}

CString& CStringList::GetHead() {
    return m_pHead->data;
}
const CString& CStringList::GetHead() const {
    return m_pHead->data;
}
CString& CStringList::GetTail() {
    return m_pTail->data;
}
const CString& CStringList::GetTail() const {
    return m_pTail->data;
}

POSITION CStringList::GetHeadPosition() const {
    return PositionOf(m_pHead);
}
POSITION CStringList::GetTailPosition() const {
    return PositionOf(m_pTail);
}

CString& CStringList::GetNext(POSITION& position) {
    Node* node = NodeOf(position);
    position = PositionOf(node->pNext);
    return node->data;
}

const CString& CStringList::GetNext(POSITION& position) const {
    Node* node = NodeOf(position);
    position = PositionOf(node->pNext);
    return node->data;
}

CString& CStringList::GetPrev(POSITION& position) {
    Node* node = NodeOf(position);
    position = PositionOf(node->pPrev);
    return node->data;
}

const CString& CStringList::GetPrev(POSITION& position) const {
    Node* node = NodeOf(position);
    position = PositionOf(node->pPrev);
    return node->data;
}

CString& CStringList::GetAt(POSITION position) {
    return NodeOf(position)->data;
}
const CString& CStringList::GetAt(POSITION position) const {
    return NodeOf(position)->data;
}

POSITION CStringList::Find(const char* text, POSITION startAfter) const {
    Node* node = startAfter != nullptr ? NodeOf(startAfter)->pNext : m_pHead;
    for (; node != nullptr; node = node->pNext) {
        if (node->data == text) {
            return PositionOf(node);
        }
    }
    return nullptr;
}
