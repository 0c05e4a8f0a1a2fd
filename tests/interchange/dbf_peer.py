"""The other side of the interchange tests: reads DBF tables with python3-dbfread or python3-dbf
and prints their records in one normalised form, or writes tables with python3-dbf.

  dbf_peer.py read-dbfread TABLE      live records as JSON lists, then "D " + each deleted one
  dbf_peer.py read-dbf TABLE          the same through python3-dbf
  dbf_peer.py write KIND TABLE        KIND: db3, db3-memo, fp (FoxPro, with F and memo fields)

Texts are read and written in code page 437. Values print as: text without trailing blanks,
int or float, "YYYY-MM-DD" or null for dates, true/false for logicals. A missing package fails
with exit status 3.
"""
import datetime
import json
import sys


def norm(value):
    if isinstance(value, str):
        return value.rstrip()
    if isinstance(value, bool) or value is None:
        return value
    if isinstance(value, (int, float)):
        return value
    if isinstance(value, datetime.date):
        return value.isoformat()
    # python3-dbf's own types (Date, Logical, Decimal-like numbers)
    name = type(value).__name__
    if name == "Date":
        return value.isoformat() if value else None
    if name == "Logical":
        return None if value is None or str(value) == "?" else bool(value)
    return str(value)


def print_records(live, deleted):
    for values in live:
        print(json.dumps([norm(v) for v in values], ensure_ascii=False))
    for values in deleted:
        print("D " + json.dumps([norm(v) for v in values], ensure_ascii=False))


def read_dbfread(path):
    import dbfread
    table = dbfread.DBF(path, encoding="cp437", char_decode_errors="strict", load=True)
    print_records([list(r.values()) for r in table.records],
                  [list(r.values()) for r in table.deleted])


def read_dbf(path):
    import dbf
    table = dbf.Table(path, codepage="cp437")
    table.open(dbf.READ_ONLY)
    live, deleted = [], []
    for record in table:
        values = [record[name] for name in table.field_names]
        (deleted if dbf.is_deleted(record) else live).append(values)
    table.close()
    print_records(live, deleted)


def write(kind, path):
    import dbf
    if kind == "db3":
        layout, dbf_type = "name C(12); age N(3,0); paid N(9,2); born D; ok L", "db3"
        rows = [("\u00c4rger M\u00fcller", 5, 12.5, datetime.date(2011, 1, 31), True),
                ("x", 0, -1.25, None, False),
                ("Zo\u00e9", 999, 123456.78, datetime.date(1999, 12, 31), True)]
    elif kind == "db3-memo":
        layout, dbf_type = "name C(8); note M", "db3"
        rows = [("one", "first memo"), ("two", "second memo")]
    elif kind == "fp":
        layout, dbf_type = "name C(8); rate F(10,4); count N(6,0); note M", "fp"
        rows = [("pi", 3.1416, 314, "a memo"), ("neg", -0.5, -12, "")]
    else:
        raise SystemExit("unknown kind " + kind)
    table = dbf.Table(path, layout, dbf_type=dbf_type, codepage="cp437")
    table.open(dbf.READ_WRITE)
    for row in rows:
        table.append(row)
    if kind == "db3":
        dbf.delete(table[1])
    table.close()


def main(argv):
    try:
        if argv[1] == "read-dbfread":
            read_dbfread(argv[2])
        elif argv[1] == "read-dbf":
            read_dbf(argv[2])
        elif argv[1] == "write":
            write(argv[2], argv[3])
        else:
            raise SystemExit("unknown command " + argv[1])
    except ImportError as e:
        print("missing package: %s" % e, file=sys.stderr)
        return 3
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
