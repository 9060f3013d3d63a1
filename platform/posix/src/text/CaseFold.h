// Case folding shared by _mbsicmp and the registry store, so that data-source
// names and registry key and value names compare the same everywhere. Texts
// are UTF-8 byte strings; the ASCII letters fold, every other byte compares
// as it stands.
#pragma once

namespace vorla::platform {

inline unsigned char FoldUpper(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// Compares two byte strings of the given lengths with ASCII letters folded to
// upper case: negative, zero or positive.
inline int CompareFolded(const unsigned char* a, unsigned long na, const unsigned char* b,
                         unsigned long nb) {
    unsigned long n = na < nb ? na : nb;
    for (unsigned long i = 0; i < n; ++i) {
        unsigned char ca = FoldUpper(a[i]);
        unsigned char cb = FoldUpper(b[i]);
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
    }
    return na == nb ? 0 : (na < nb ? -1 : 1);
}

}  // namespace vorla::platform
