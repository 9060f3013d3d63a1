#include "ConnectText.h"

#include "CaseFold.h"

#include <cstring>

namespace vorla::platform::odbc {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string Trimmed(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

}  // namespace

std::string Attribute::Unquoted() const {
    if (value.size() < 2 || value.front() != '{' || value.back() != '}') {
        return value;
    }
    std::string result;
    for (size_t i = 1; i + 1 < value.size(); ++i) {
        result += value[i];
        if (value[i] == '}' && i + 2 < value.size() && value[i + 1] == '}') {
            ++i;
        }
    }
    return result;
}

Attributes Parse(const std::string& s) {
    Attributes attributes;
    size_t pos = 0;
    while (pos < s.size()) {
        const size_t end = s.find_first_of(";=", pos);
        Attribute attribute;
        if (end == std::string::npos || s[end] == ';') {
            // A piece without '=': kept as it stands.
            const size_t stop = end == std::string::npos ? s.size() : end;
            attribute.name = Trimmed(s.substr(pos, stop - pos));
            attribute.hasValue = false;
            pos = stop + 1;
            if (!attribute.name.empty()) {
                attributes.push_back(attribute);
            }
            continue;
        }
        attribute.name = Trimmed(s.substr(pos, end - pos));
        size_t valueStart = end + 1;
        size_t valueEnd = valueStart;
        // Leading blanks before a brace belong to no value; skip them to see it.
        size_t first = valueStart;
        while (first < s.size() && s[first] == ' ') {
            ++first;
        }
        if (first < s.size() && s[first] == '{') {
            valueEnd = first + 1;
            while (valueEnd < s.size()) {
                if (s[valueEnd] == '}') {
                    if (valueEnd + 1 < s.size() && s[valueEnd + 1] == '}') {
                        valueEnd += 2;
                        continue;
                    }
                    ++valueEnd;
                    break;
                }
                ++valueEnd;
            }
            valueStart = first;
            // Anything between the closing brace and the next ';' stays with
            // the value, as written.
            const size_t semi = s.find(';', valueEnd);
            valueEnd = semi == std::string::npos ? s.size() : semi;
        } else {
            const size_t semi = s.find(';', valueStart);
            valueEnd = semi == std::string::npos ? s.size() : semi;
        }
        attribute.value = s.substr(valueStart, valueEnd - valueStart);
        attributes.push_back(attribute);
        pos = valueEnd + 1;
    }
    return attributes;
}

std::string Join(const Attributes& attributes) {
    std::string text;
    for (const Attribute& attribute : attributes) {
        if (!text.empty()) {
            text += ';';
        }
        text += attribute.name;
        if (attribute.hasValue) {
            text += '=';
            text += attribute.value;
        }
    }
    return text;
}

std::string Quote(const std::string& value) {
    const bool needsBraces = value.find_first_of(";{}") != std::string::npos ||
                             (!value.empty() && (IsBlank(value.front()) || IsBlank(value.back())));
    if (!needsBraces) {
        return value;
    }
    std::string quoted(1, '{');
    for (char c : value) {
        quoted += c;
        if (c == '}') {
            quoted += '}';
        }
    }
    quoted += '}';
    return quoted;
}

const Attribute* Find(const Attributes& attributes, const char* name) {
    for (const Attribute& attribute : attributes) {
        if (attribute.hasValue &&
            CompareFolded(reinterpret_cast<const unsigned char*>(attribute.name.data()),
                          attribute.name.size(), reinterpret_cast<const unsigned char*>(name),
                          std::strlen(name)) == 0) {
            return &attribute;
        }
    }
    return nullptr;
}

}  // namespace vorla::platform::odbc
