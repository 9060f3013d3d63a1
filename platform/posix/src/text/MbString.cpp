// The multibyte-string and drive functions of the C runtime.

#include <cstring>

#include "CaseFold.h"
#include "platform/Win32.h"

int _mbsicmp(const unsigned char* string1, const unsigned char* string2) {
    return vorla::platform::CompareFolded(
        string1, std::strlen(reinterpret_cast<const char*>(string1)), string2,
        std::strlen(reinterpret_cast<const char*>(string2)));
}

int _mbscmp(const unsigned char* string1, const unsigned char* string2) {
    int result =
        std::strcmp(reinterpret_cast<const char*>(string1), reinterpret_cast<const char*>(string2));
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

// POSIX has one tree and no drive letters: 0, the value Windows gives when the
// current directory is on no lettered drive (a network path).
int _getdrive(void) {
    return 0;
}
