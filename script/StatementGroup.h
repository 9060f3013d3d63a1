// Statements of a script gathered to be sent to the database in one call.
//
// Within the run's one transaction (-t) on PostgreSQL, each statement sent
// on its own costs a round trip to the server; a group of them costs one.
// The group opens with a savepoint of its own, so that when one of its
// statements fails the group can be undone and its statements run again one
// at a time: the one that fails is then reported exactly as if the group had
// never been formed, and those before it are printed as they run.
#pragma once

#include <string>
#include <vector>

#include "framework/CString.h"
#include "script/ScriptReader.h"

class CStatementGroup {
public:
    // Whether the batch can be sent with others: a statement that begins,
    // ends or marks a transaction (BEGIN, COMMIT, SAVEPOINT, RELEASE, ...)
    // cannot, since the group's own savepoint would change what it does.
    static bool CanJoin(const CScriptBatch& batch);

    // Takes the batch's contents (the batch gets an emptied one back, whose
    // buffers the reader reuses).
    void Add(CScriptBatch& batch);
    // The group is big enough to send.
    bool Full() const;
    bool Empty() const { return m_count == 0; }
    size_t Count() const { return m_count; }
    const CScriptBatch& operator[](size_t i) const { return m_batches[i]; }

    // The text that runs the group: its savepoint (releasing the previous
    // group's), then its statements, each ended by a ';' on a line of its
    // own so that a comment at a statement's end cannot hide the next one.
    const CString& Text();
    // How many results the text gives when every statement runs, one each.
    long ExpectedResults() const;
    // Undoes what the group's statements did, back to its savepoint.
    static const char* RollbackText();

    // Empties the group; its savepoint stays for the next one to release.
    void Clear();

private:
    std::vector<CScriptBatch> m_batches;  // the first m_count are the group
    size_t m_count = 0;
    size_t m_bytes = 0;
    bool m_savepointSet = false;
    bool m_released = false;  // the text releases the previous savepoint
    CString m_text;
};
