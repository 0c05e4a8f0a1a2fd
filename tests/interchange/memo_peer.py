"""The other side of the memo interchange tests: reads the memo texts of a table with
python3-dbfread or python3-dbf, or writes a table with memos with python3-dbf.

  memo_peer.py read-dbfread TABLE   one line "NAME<tab>NOTE" per live record
  memo_peer.py read-dbf TABLE       the same through python3-dbf
  memo_peer.py write KIND TABLE     KIND: db3 (dBASE III, DBT) or fp (FoxPro, FPT); fields NAME C(10)
                                    and NOTE M; the records come as such lines on standard input
  memo_peer.py append TABLE         appends the records on standard input to an existing table

NOTE is the memo's bytes in hexadecimal (code page 437 text), NAME plain ASCII; a missing memo is
"". A missing package fails with exit status 3.
"""
import sys


def memo_hex(value):
    if value is None:
        return ""
    if isinstance(value, str):
        value = value.encode("cp437")
    return bytes(value).hex()


def name_text(value):
    return (value.decode("ascii") if isinstance(value, bytes) else str(value)).rstrip()


def read_dbfread(path):
    import dbfread
    table = dbfread.DBF(path, encoding="cp437", char_decode_errors="strict", load=True)
    for record in table.records:
        values = list(record.values())
        print(name_text(values[0]) + "\t" + memo_hex(values[1]))


def read_dbf(path):
    import dbf
    table = dbf.Table(path, codepage="cp437")
    table.open(dbf.READ_ONLY)
    for record in table:
        print(name_text(record["name"]) + "\t" + memo_hex(record["note"]))
    table.close()


def write(kind, path):
    import dbf
    rows = [line.rstrip("\n").split("\t") for line in sys.stdin if line.strip()]
    if kind is None:
        table = dbf.Table(path, codepage="cp437")
    else:
        table = dbf.Table(path, "name C(10); note M", dbf_type=kind, codepage="cp437")
    table.open(dbf.READ_WRITE)
    for name, note in rows:
        table.append((name, bytes.fromhex(note).decode("cp437")))
    table.close()


def main(argv):
    try:
        if argv[1] == "read-dbfread":
            read_dbfread(argv[2])
        elif argv[1] == "read-dbf":
            read_dbf(argv[2])
        elif argv[1] == "write":
            write(argv[2], argv[3])
        elif argv[1] == "append":
            write(None, argv[2])
        else:
            print("unknown command " + argv[1])
            return 2
    except ImportError as e:
        print("missing package: %s" % e)
        return 3
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
