// ODBC connection texts as lists of attributes, "key=value;key={value};...",
// for the resolution of data sources (DataSourceResolve.cpp). A value in
// braces may hold ';' and '=' (and "}}" for a '}'), so the text is cut at a
// ';' only outside braces. The rules are ODBC's, as the framework's
// ConnectString applies them to the texts the program composes; this layer
// cannot use the framework, which stands above it.
#pragma once

#include <string>
#include <vector>

namespace vorla::platform::odbc {

struct Attribute {
    std::string name;      // the keyword, the blanks around it removed
    std::string value;     // as written, braces included
    bool hasValue = true;  // false for a piece of text without '='

    // The value without its braces, "}}" turned back into '}'.
    std::string Unquoted() const;
    bool Braced() const { return hasValue && !value.empty() && value[0] == '{'; }
};

using Attributes = std::vector<Attribute>;

// The attributes in order; empty pieces between two ';' are dropped.
Attributes Parse(const std::string& text);
// "name=value" joined by ';'.
std::string Join(const Attributes& attributes);
// In braces when the value holds ';', '{', '}' or blanks at either end.
std::string Quote(const std::string& value);
// The first attribute of that name (ASCII letters folded), or null.
const Attribute* Find(const Attributes& attributes, const char* name);

}  // namespace vorla::platform::odbc
