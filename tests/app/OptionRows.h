// Option-parsing rows and the loop that checks them, shared by the rules
// that hold on every system and those of each system's option characters.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/Options.h"

namespace vorla::test {

struct OptionExpect {
    ParseOutcome outcome = ParseOutcome::Run;
    std::string dsn;
    std::string description;
    bool create = false;
    bool temp = false;
    bool machine = false;
    bool standardSql = false;
    bool transaction = false;
    std::string output;
    std::string emptyDb;
    std::string command;
    std::string separator;
    std::string login;
    std::string password;
};

struct OptionRow {
    std::vector<std::string> args;
    OptionExpect expect;
};

// Collects rows: add({"-dName"}, [](OptionExpect& e) { e.dsn = "Name"; }).
class OptionRows {
public:
    template <typename Setup>
    void add(std::vector<std::string> args, Setup&& setup) {
        OptionRow row{std::move(args), OptionExpect()};
        setup(row.expect);
        m_rows.push_back(std::move(row));
    }
    const std::vector<OptionRow>& Rows() const { return m_rows; }

private:
    std::vector<OptionRow> m_rows;
};

// Parses every row in a fresh directory that is made current for the
// purpose, and compares the whole record, the outcome and the streams. In
// the arguments and the expected texts "<script>" is an existing script
// file, "<dir>" an existing directory, "<empty>" an existing empty-database
// file, "<missing>" a name that does not exist (all relative), and
// "<abs-script>" the script's absolute path.
void CheckOptionRows(const OptionRows& rows);

}  // namespace vorla::test
