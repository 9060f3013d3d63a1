#include "script/ResultText.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr size_t kLongestCell = 60;
constexpr char kNull[] = "NULL";

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Characters as a terminal shows them: UTF-8 sequences count once.
size_t Width(const std::string& text) {
    return static_cast<size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return !IsContinuation(c); }));
}

// One table cell: on one line, cut at kLongestCell characters.
std::string Cell(const std::optional<CString>& value) {
    if (!value) {
        return kNull;
    }
    std::string cell;
    size_t characters = 0;
    for (const char c : value->Str()) {
        if (!IsContinuation(c) && ++characters > kLongestCell) {
            cell += "...";
            break;
        }
        cell += c == '\n' || c == '\r' || c == '\t' ? ' ' : c;
    }
    return cell;
}

void Pad(std::string& line, const std::string& cell, size_t width) {
    line += cell;
    line.append(width - Width(cell), ' ');
}

std::string CsvField(const std::string& text) {
    const bool quoted = text.empty() || text.find_first_of(",\"\r\n") != std::string::npos;
    if (!quoted) {
        return text;
    }
    std::string field = "\"";
    for (const char c : text) {
        field += c;
        if (c == '"') {
            field += '"';
        }
    }
    return field + "\"";
}

}  // namespace

CString ResultTable(const CResultSet& set) {
    std::vector<std::vector<std::string>> cells;
    std::vector<size_t> widths;
    for (const CString& name : set.columns) {
        widths.push_back(Width(name.Str()));
    }
    for (const auto& row : set.rows) {
        std::vector<std::string> line;
        for (size_t i = 0; i < row.size() && i < widths.size(); ++i) {
            line.push_back(Cell(row[i]));
            widths[i] = std::max(widths[i], Width(line.back()));
        }
        cells.push_back(std::move(line));
    }
    std::string text;
    const auto addLine = [&](const std::vector<std::string>& values) {
        std::string line;
        for (size_t i = 0; i < values.size(); ++i) {
            line += i == 0 ? " " : " | ";
            Pad(line, values[i], widths[i]);
        }
        // No blanks after the last value.
        line.erase(line.find_last_not_of(' ') + 1);
        text += line + "\n";
    };
    std::vector<std::string> header;
    for (const CString& name : set.columns) {
        header.push_back(name.Str());
    }
    addLine(header);
    std::string rule;
    for (size_t i = 0; i < widths.size(); ++i) {
        rule += (i == 0 ? "" : "+") + std::string(widths[i] + 2, '-');
    }
    text += rule + "\n";
    for (const auto& line : cells) {
        addLine(line);
    }
    text += "(" + std::to_string(set.rows.size()) + (set.rows.size() == 1 ? " row)" : " rows)");
    return CString(text + "\n\n");
}

CString ResultCsv(const CResultSet& set) {
    std::string text;
    for (size_t i = 0; i < set.columns.size(); ++i) {
        text += (i == 0 ? "" : ",") + CsvField(set.columns[i].Str());
    }
    text += "\n";
    for (const auto& row : set.rows) {
        for (size_t i = 0; i < row.size(); ++i) {
            text += (i == 0 ? "" : ",") + (row[i] ? CsvField(row[i]->Str()) : std::string());
        }
        text += "\n";
    }
    return CString(text);
}
