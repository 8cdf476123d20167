#!/usr/bin/env python3
"""Reads an exported history back with Python's csv module and compares it with what it should hold.

    csv_readback.py dump EXPORT.csv DUMP.txt    compare with qv-dump's tab-separated text of the same files
    csv_readback.py list EXPORT.csv LIST.json   compare with the main window's list: its rows' nine texts in
                                                order, and the totals of the shown records in hundredths

Every line of the export must read as exactly 42 fields under the history files' column captions; amounts
must read as decimal numbers whose totals are those of the program. Exit status 0 when all agrees, 1 otherwise.
"""
import csv
import json
import sys
from decimal import Decimal

NAMES = ("date time time_zone name status_note status gross fee net from_email to_email trans_id name_note "
         "address_note item_title item_id shipping column17 sales_tax column19 column20 column21 column22 "
         "column23 buyer_id column25 column26 column27 column28 ref_trans_id column30 column31 quantity "
         "column33 balance address1 address2 city province zip_code country phone").split()
# The export's header: the history files' own column captions, one per field above.
CAPTIONS = ("Date|Time|Time Zone|Name|Type|Status|Gross|Fee|Net|From Email Address|To Email Address|"
            "Transaction ID|Counterparty Status|Address Status|Item Title|Item ID|Shipping and Handling Amount|"
            "Insurance Amount|Sales Tax|Option 1 Name|Option 1 Value|Option 2 Name|Option 2 Value|Auction Site|"
            "Buyer ID|Item URL|Closing Date|Escrow Id|Invoice Id|Reference Txn ID|Invoice Number|Custom Number|"
            "Quantity|Receipt ID|Balance|Address Line 1|Address Line 2|Town/City|State/Province|Zip/Postal Code|"
            "Country|Contact Phone Number").split("|")
AMOUNTS = ("gross", "fee", "net", "shipping", "sales_tax", "balance")
# The list's nine columns, as fields of the export.
LIST_COLUMNS = ("trans_id", "date", "time", "status", "item_title", "gross", "fee", "balance", "from_email")

problems = []


def read_export(path):
    with open(path, newline="", encoding="utf-8", errors="strict") as f:
        rows = list(csv.reader(f, strict=True))
    if not rows or rows[0] != CAPTIONS:
        problems.append(f"header is {rows[:1]}")
        return []
    records = []
    for number, row in enumerate(rows[1:], start=2):
        if len(row) != len(NAMES):
            problems.append(f"line {number}: {len(row)} fields")
            continue
        records.append(dict(zip(NAMES, row)))
    return records


def totals(records):
    return {a: sum((Decimal(r[a]) for r in records), Decimal(0)) for a in AMOUNTS}


def unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append({"t": "\t", "r": "\r", "n": "\n", "\\": "\\"}[text[i + 1]])
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def compare_dump(records, dump_path):
    with open(dump_path, encoding="utf-8") as f:
        dumped = [dict(zip(NAMES, map(unescape, line.rstrip("\n").split("\t")))) for line in f]
    if len(dumped) != len(records):
        problems.append(f"{len(records)} records read back, {len(dumped)} dumped")
    for number, (got, want) in enumerate(zip(records, dumped), start=2):
        if want["date"] == "   0-00-00":
            want["date"] = ""
        for name in NAMES:
            if got[name] != want[name]:
                problems.append(f"line {number} {name}: {got[name]!r}, dumped {want[name]!r}")
    sums = totals(records)
    for a in AMOUNTS:
        dumped_sum = sum((Decimal(r[a]) for r in dumped), Decimal(0))
        if sums[a] != dumped_sum:
            problems.append(f"total {a}: {sums[a]}, dumped {dumped_sum}")
    return sums


def compare_list(records, list_path):
    with open(list_path, encoding="utf-8") as f:
        shown = json.load(f)
    if len(shown["rows"]) != len(records):
        problems.append(f"{len(records)} records read back, the list shows {len(shown['rows'])}")
    for number, (got, row) in enumerate(zip(records, shown["rows"]), start=2):
        for name, text in zip(LIST_COLUMNS, row):
            # The list shows a missing date as its text form; the export leaves it empty.
            if name == "date" and text == "   0-00-00":
                text = ""
            if got[name] != text:
                problems.append(f"line {number} {name}: {got[name]!r}, the list shows {text!r}")
    sums = totals(records)
    for a, hundredths in shown["totals"].items():
        if sums[a] * 100 != hundredths:
            problems.append(f"total {a}: {sums[a]}, the program's {hundredths} hundredths")
    return sums


def main():
    mode, export, other = sys.argv[1:4]
    records = read_export(export)
    sums = compare_dump(records, other) if mode == "dump" else compare_list(records, other)
    for p in problems[:20]:
        print(p, file=sys.stderr)
    if problems:
        return 1
    print(f"{len(records)} records read back; gross {sums['gross']}, balance {sums['balance']}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
