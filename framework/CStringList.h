// A doubly linked list of texts, walked with POSITION values: a POSITION
// names one element and stays valid until that element is removed; null
// stands for "no element" (the end of a walk, an empty list).
#pragma once

#include "framework/CObject.h"
#include "framework/CString.h"

struct CPositionTag;
typedef CPositionTag* POSITION;

class CStringList : public CObject {
    DECLARE_DYNAMIC(CStringList)
public:
    // The block size is the framework's allocation hint; nodes are allocated
    // one at a time here, so it is only kept.
    explicit CStringList(int blockSize = 10);
    ~CStringList() override;
    CStringList(const CStringList&) = delete;
    CStringList& operator=(const CStringList&) = delete;

    int GetCount() const { return m_nCount; }
    bool IsEmpty() const { return m_nCount == 0; }
    int GetBlockSize() const { return m_nBlockSize; }

    // The first or last text; the list must not be empty.
    CString& GetHead();
    const CString& GetHead() const;
    CString& GetTail();
    const CString& GetTail() const;

    // Both add a copy of the text and return its position. An allocation
    // failure raises CMemoryException and leaves the list as it was.
    POSITION AddHead(const CString& text);
    POSITION AddTail(const CString& text);

    CString RemoveHead();
    CString RemoveTail();
    void RemoveAt(POSITION position);
    void RemoveAll();

    POSITION GetHeadPosition() const;
    POSITION GetTailPosition() const;
    // The text at `position`; `position` moves to the next (previous)
    // element, or becomes null after the last (first).
    CString& GetNext(POSITION& position);
    const CString& GetNext(POSITION& position) const;
    CString& GetPrev(POSITION& position);
    const CString& GetPrev(POSITION& position) const;
    CString& GetAt(POSITION position);
    const CString& GetAt(POSITION position) const;

    // The position of the first element equal to `text` (case included)
    // after `startAfter`, or from the head when that is null; null if none.
    POSITION Find(const char* text, POSITION startAfter = nullptr) const;

private:
    struct Node;
    static Node* NodeOf(POSITION position);
    static POSITION PositionOf(Node* node);
    Node* NewNode(const CString& text);
    void Unlink(Node* node);

    Node* m_pHead = nullptr;
    Node* m_pTail = nullptr;
    int m_nCount = 0;
    int m_nBlockSize;
};
