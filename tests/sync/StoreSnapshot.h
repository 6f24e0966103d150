#pragma once
// Every row of every table of a store as text, sorted per table: two snapshots are equal
// exactly when the store holds the same rows, which is what "a failed answer changes nothing"
// and "a second sync changes nothing" are checked with.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "store/Database.h"

namespace pagewell {

inline std::vector<std::string> storeSnapshot(Database& db) {
    std::vector<std::string> rows;
    std::vector<std::string> tables;
    {
        auto statement = db.prepare(
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%' "
            "ORDER BY name");
        EXPECT_TRUE(statement.ok());
        while (statement.value()->step().valueOr(false)) {
            tables.push_back(statement.value()->text(0));
        }
        statement.value()->reset();
    }
    for (const std::string& table : tables) {
        std::vector<std::string> columns;
        {
            auto info = db.prepare("SELECT name FROM pragma_table_info(?)");
            EXPECT_TRUE(info.ok());
            info.value()->bind(1, table);
            while (info.value()->step().valueOr(false)) {
                columns.push_back(info.value()->text(0));
            }
            info.value()->reset();
        }
        std::string expression = "'" + table + "'";
        for (const std::string& column : columns) {
            expression += " || '|' || quote(\"" + column + "\")";
        }
        auto select = db.prepare("SELECT " + expression + " FROM \"" + table + "\"");
        EXPECT_TRUE(select.ok());
        std::vector<std::string> tableRows;
        while (select.value()->step().valueOr(false)) {
            tableRows.push_back(select.value()->text(0));
        }
        select.value()->reset();
        std::sort(tableRows.begin(), tableRows.end());
        rows.insert(rows.end(), tableRows.begin(), tableRows.end());
    }
    return rows;
}

}  // namespace pagewell
