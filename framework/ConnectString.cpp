#include "framework/ConnectString.h"

namespace {

CString TrimmedBlanks(const CString& text) {
    CString result(text);
    result.Trim();
    return result;
}

}  // namespace

CString CConnectAttribute::Unquoted() const {
    const std::string& v = m_strValue.Str();
    if (v.size() < 2 || v.front() != '{' || v.back() != '}') {
        return m_strValue;
    }
    CString result;
    for (size_t i = 1; i + 1 < v.size(); ++i) {
        result += v[i];
        if (v[i] == '}' && i + 2 < v.size() && v[i + 1] == '}') {
            ++i;
        }
    }
    return result;
}

CConnectAttributes AfxParseConnectString(const CString& text) {
    CConnectAttributes attributes;
    const std::string& s = text.Str();
    size_t pos = 0;
    while (pos < s.size()) {
        const size_t end = s.find_first_of(";=", pos);
        CConnectAttribute attribute;
        if (end == std::string::npos || s[end] == ';') {
            // A piece without '=': kept as it stands.
            const size_t stop = end == std::string::npos ? s.size() : end;
            attribute.m_strName = TrimmedBlanks(CString(s.substr(pos, stop - pos)));
            attribute.m_bHasValue = false;
            pos = stop + 1;
            if (!attribute.m_strName.IsEmpty()) {
                attributes.push_back(attribute);
            }
            continue;
        }
        attribute.m_strName = TrimmedBlanks(CString(s.substr(pos, end - pos)));
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
        attribute.m_strValue = CString(s.substr(valueStart, valueEnd - valueStart));
        attributes.push_back(attribute);
        pos = valueEnd + 1;
    }
    return attributes;
}

CString AfxJoinConnectString(const CConnectAttributes& attributes) {
    CString text;
    for (const CConnectAttribute& attribute : attributes) {
        if (!text.IsEmpty()) {
            text += ';';
        }
        text += attribute.m_strName;
        if (attribute.m_bHasValue) {
            text += '=';
            text += attribute.m_strValue;
        }
    }
    return text;
}

CString AfxQuoteConnectValue(const CString& value) {
    const std::string& v = value.Str();
    const bool needsBraces = v.find_first_of(";{}") != std::string::npos ||
                             (!v.empty() && (IsAsciiSpace(static_cast<unsigned char>(v.front())) ||
                                             IsAsciiSpace(static_cast<unsigned char>(v.back()))));
    if (!needsBraces) {
        return value;
    }
    CString quoted('{');
    for (char c : v) {
        quoted += c;
        if (c == '}') {
            quoted += '}';
        }
    }
    quoted += '}';
    return quoted;
}

const CConnectAttribute* AfxFindConnectAttribute(const CConnectAttributes& attributes,
                                                 const char* name) {
    for (const CConnectAttribute& attribute : attributes) {
        if (attribute.m_bHasValue && attribute.m_strName.CompareNoCase(name) == 0) {
            return &attribute;
        }
    }
    return nullptr;
}
