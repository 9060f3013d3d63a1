// The REGEDIT4 text format of registry scripts: a "REGEDIT4" line, then per
// key a "[ROOT\path]" line and its values, one per line, each key's block
// closed by a blank line. Lines end in CR LF as on Windows; the reader takes
// LF alone as well.
//
//   "name"="text"            REG_SZ with one closing NUL
//   @=...                    the default value
//   "name"=dword:0000002a    REG_DWORD of 4 bytes
//   "name"=hex:01,ff         REG_BINARY
//   "name"=hex(7):61,00,00   any other type, its number in hex
//   "name"=-                 (reading only) delete the value
//   [-ROOT\path]             (reading only) delete the key and its tree
//
// Long hex lines are continued with a trailing '\' on the next line, which
// starts with two blanks. Texts escape '\' and '"' with '\'.
#pragma once

#include <string>
#include <vector>

#include "platform/Win32.h"

namespace vorlareg {

class Regedit4Writer {
public:
    Regedit4Writer();

    void Key(const std::string& fullPath);
    // An empty name with `isDefault` is the default value.
    void Value(const std::string& name, bool isDefault, DWORD type, const std::string& bytes);
    // The whole script, ending with the last key's blank line.
    std::string Finish() const;

private:
    std::string m_strText;
};

struct Regedit4Entry {
    enum class Kind { key, removeKey, value, removeValue };
    Kind kind = Kind::key;
    std::string strKeyPath;  // ROOT\path as written
    std::string strName;
    bool bDefault = false;
    DWORD dwType = REG_NONE;
    std::string strBytes;
    int nLine = 0;
};

// Reads a whole script; false with the number of the offending line (1 for
// a missing REGEDIT4 header).
bool ReadRegedit4(const std::string& text, std::vector<Regedit4Entry>& entries, int& errorLine);

}  // namespace vorlareg
