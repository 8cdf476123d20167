// Builds history file text for tests: every field quoted, a comma after each, CR LF line ends.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace testing_history {

inline const char *const header_line =
    "\"Date\",\"Time\",\"Time Zone\",\"Name\",\"Type\",\"Status\",\"Gross\",\"Fee\",\"Net\",\"From Email "
    "Address\","
    "\"To Email Address\",\"Transaction ID\",\"Counterparty Status\",\"Address Status\",\"Item "
    "Title\",\"Item ID\","
    "\"Shipping and Handling Amount\",\"Insurance Amount\",\"Sales Tax\",\"Option 1 Name\",\"Option 1 "
    "Value\","
    "\"Option 2 Name\",\"Option 2 Value\",\"Auction Site\",\"Buyer ID\",\"Item URL\",\"Closing "
    "Date\",\"Escrow Id\","
    "\"Invoice Id\",\"Reference Txn ID\",\"Invoice Number\",\"Custom Number\",\"Quantity\",\"Receipt "
    "ID\",\"Balance\","
    "\"Address Line 1\",\"Address Line 2\",\"Town/City\",\"State/Province\",\"Zip/Postal Code\",\"Country\","
    "\"Contact Phone Number\",\r\n";

// One record line: the given columns, the others empty.
inline std::string line(const std::map<int, std::string> &columns)
{
    std::string out;
    for (int c = 0; c < 42; ++c) {
        out += '"';
        const auto it = columns.find(c);
        if (it != columns.end())
            out += it->second;
        out += "\",";
    }
    out += "\r\n";
    return out;
}

// A typical sale: ID, date, gross and quantity.
inline std::string sale(std::string_view id, std::string_view date, std::string_view gross,
                        std::string_view quantity = "1")
{
    return line({{0, std::string(date)},
                 {1, "10:11:12"},
                 {3, "Buyer " + std::string(id)},
                 {5, "Completed"},
                 {6, std::string(gross)},
                 {11, std::string(id)},
                 {32, std::string(quantity)}});
}

} // namespace testing_history
