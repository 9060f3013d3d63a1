#include "RegData.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "RegArgs.h"

namespace vorlareg {

namespace {

struct TypeRow {
    DWORD dwType;
    const char* pszName;
    bool bAddable;
};

const TypeRow kTypes[] = {
    {REG_NONE, "REG_NONE", true},
    {REG_SZ, "REG_SZ", true},
    {REG_EXPAND_SZ, "REG_EXPAND_SZ", true},
    {REG_BINARY, "REG_BINARY", true},
    {REG_DWORD, "REG_DWORD", true},
    {REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN", false},
    {REG_LINK, "REG_LINK", false},
    {REG_MULTI_SZ, "REG_MULTI_SZ", true},
    {REG_RESOURCE_LIST, "REG_RESOURCE_LIST", false},
    {REG_FULL_RESOURCE_DESCRIPTOR, "REG_FULL_RESOURCE_DESCRIPTOR", false},
    {REG_RESOURCE_REQUIREMENTS_LIST, "REG_RESOURCE_REQUIREMENTS_LIST", false},
    {REG_QWORD, "REG_QWORD", true},
};

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

unsigned long long LittleEndian(const std::string& bytes, size_t width) {
    unsigned long long value = 0;
    for (size_t i = 0; i < width && i < bytes.size(); ++i) {
        value |= static_cast<unsigned long long>(static_cast<unsigned char>(bytes[i])) << (8 * i);
    }
    return value;
}

std::string TextUpToNul(const std::string& bytes) {
    return bytes.substr(0, bytes.find('\0'));
}

// Decimal, or hexadecimal after 0x; the whole text must be the number.
bool ParseNumber(const std::string& text, unsigned long long limit, unsigned long long& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') {
        return false;
    }
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    errno = 0;
    char* end = nullptr;
    value = std::strtoull(text.c_str(), &end, hex ? 16 : 10);
    return errno == 0 && end != nullptr && *end == '\0' && value <= limit;
}

bool ParseHexDigits(const std::string& text, std::string& bytes) {
    const std::string digits = text.size() % 2 != 0 ? "0" + text : text;
    bytes.clear();
    for (size_t i = 0; i < digits.size(); i += 2) {
        const int high = HexDigit(digits[i]);
        const int low = HexDigit(digits[i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        bytes += static_cast<char>((high << 4) | low);
    }
    return true;
}

std::string NumberBytes(unsigned long long value, size_t width) {
    std::string bytes;
    for (size_t i = 0; i < width; ++i) {
        bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return bytes;
}

}  // namespace

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string TypeName(DWORD type) {
    for (const TypeRow& row : kTypes) {
        if (row.dwType == type) {
            return row.pszName;
        }
    }
    return "REG_UNKNOWN";
}

bool TypeFromName(const std::string& name, DWORD& type) {
    const std::string upper = ToUpper(name);
    for (const TypeRow& row : kTypes) {
        if (row.bAddable && upper == row.pszName) {
            type = row.dwType;
            return true;
        }
    }
    return false;
}

std::vector<std::string> SplitMultiString(const std::string& bytes) {
    std::vector<std::string> items;
    for (size_t offset = 0; offset + 1 < bytes.size();) {
        const size_t nul = bytes.find('\0', offset);
        const size_t end = nul == std::string::npos ? bytes.size() : nul;
        items.push_back(bytes.substr(offset, end - offset));
        offset = end + 1;
    }
    return items;
}

std::string FormatData(DWORD type, const std::string& bytes) {
    char number[32];
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            return TextUpToNul(bytes);
        case REG_DWORD:
            if (bytes.size() == 4) {
                std::snprintf(number, sizeof number, "0x%x",
                              static_cast<unsigned>(LittleEndian(bytes, 4)));
                return number;
            }
            break;
        case REG_QWORD:
            if (bytes.size() == 8) {
                std::snprintf(number, sizeof number, "0x%llx", LittleEndian(bytes, 8));
                return number;
            }
            break;
        case REG_MULTI_SZ: {
            std::string joined;
            const std::vector<std::string> items = SplitMultiString(bytes);
            for (size_t i = 0; i < items.size(); ++i) {
                joined += (i > 0 ? "\\0" : "") + items[i];
            }
            return joined;
        }
        default:
            break;
    }
    return Hex(bytes);
}

bool ParseData(DWORD type, const std::string& text, const std::string& separator,
               std::string& bytes) {
    unsigned long long value = 0;
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            bytes = text;
            bytes += '\0';
            return true;
        case REG_DWORD:
            if (text.empty()) {
                value = 0;
            } else if (!ParseNumber(text, 0xFFFFFFFFULL, value)) {
                return false;
            }
            bytes = NumberBytes(value, 4);
            return true;
        case REG_QWORD:
            if (text.empty()) {
                value = 0;
            } else if (!ParseNumber(text, ~0ULL, value)) {
                return false;
            }
            bytes = NumberBytes(value, 8);
            return true;
        case REG_BINARY:
        case REG_NONE:
            return ParseHexDigits(text, bytes);
        case REG_MULTI_SZ: {
            const std::string cut = separator.empty() ? std::string("\\0") : separator;
            bytes.clear();
            if (!text.empty()) {
                size_t start = 0;
                for (;;) {
                    const size_t at = text.find(cut, start);
                    bytes += text.substr(start, at == std::string::npos ? at : at - start);
                    bytes += '\0';
                    if (at == std::string::npos) {
                        break;
                    }
                    start = at + cut.size();
                }
            }
            bytes += '\0';
            return true;
        }
        default:
            return false;
    }
}

}  // namespace vorlareg
