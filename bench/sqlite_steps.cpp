// SQLite's steps of agemill_bench: the same work out of the same bytes, done the fast way a
// programmer would choose with SQLite's C API. The import parses the work file's lines itself and
// inserts them through one prepared INSERT in one transaction into a table of the AX layout (the
// 212 values of the line, plus sumlev and race computed while inserting, so that SQLite needs no
// second pass for the key columns). Durability is off (synchronous=OFF, journal_mode=OFF), as the
// engine does not flush to disk either. Lookups and scans use prepared statements.
#include <sqlite3.h>

#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "bench/ax_layout.h"
#include "bench/bench_steps.h"
#include "bench/step_process.h"

namespace axbench {

namespace {

// An open database, closed on every path.
class Database {
 public:
  explicit Database(const std::string& Path) {
    if (sqlite3_open(Path.c_str(), &db_) != SQLITE_OK) {
      std::fprintf(stderr, "agemill_bench: sqlite: cannot open %s: %s\n", Path.c_str(),
                   db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory");
      sqlite3_close(db_);
      db_ = nullptr;
    }
  }
  ~Database() { sqlite3_close(db_); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  bool Ok() const { return db_ != nullptr; }
  sqlite3* Handle() const { return db_; }

  // Runs SQL that returns no rows; false (printed) on error.
  bool Exec(const char* Sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, Sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    std::fprintf(stderr, "agemill_bench: sqlite: %s: %s\n", Sql, message != nullptr ? message : "?");
    sqlite3_free(message);
    return false;
  }

 private:
  sqlite3* db_ = nullptr;
};

// A prepared statement, finalized on every path.
class Statement {
 public:
  Statement(Database& Db, const std::string& Sql) {
    if (sqlite3_prepare_v2(Db.Handle(), Sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) {
      std::fprintf(stderr, "agemill_bench: sqlite: cannot prepare %.60s...: %s\n", Sql.c_str(),
                   sqlite3_errmsg(Db.Handle()));
      stmt_ = nullptr;
    }
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool Ok() const { return stmt_ != nullptr; }
  sqlite3_stmt* Handle() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

bool Prepare(Database& Db) {
  return Db.Exec("PRAGMA synchronous=OFF") && Db.Exec("PRAGMA journal_mode=OFF");
}

// The lines of a text file without their line ends (LF or CR LF), read in 1 MiB blocks. A line
// longer than the buffer grows it.
class LineReader {
 public:
  explicit LineReader(const std::string& Path) : file_(std::fopen(Path.c_str(), "rb")), buffer_(1 << 20) {}
  ~LineReader() {
    if (file_ != nullptr) std::fclose(file_);
  }
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  bool Ok() const { return file_ != nullptr; }
  bool Failed() const { return file_ != nullptr && std::ferror(file_) != 0; }

  // The next line; false at the end of the file.
  bool Next(std::string_view& Line) {
    for (;;) {
      for (size_t i = begin_; i < end_; ++i) {
        if (buffer_[i] != '\n') continue;
        size_t stop = i;
        if (stop > begin_ && buffer_[stop - 1] == '\r') --stop;
        Line = std::string_view(buffer_.data() + begin_, stop - begin_);
        begin_ = i + 1;
        return true;
      }
      if (eof_) {
        if (begin_ == end_) return false;
        Line = std::string_view(buffer_.data() + begin_, end_ - begin_);
        if (!Line.empty() && Line.back() == '\r') Line.remove_suffix(1);
        begin_ = end_;
        return true;
      }
      // Keep the unfinished line, then fill the rest of the buffer.
      std::copy(buffer_.begin() + static_cast<long>(begin_), buffer_.begin() + static_cast<long>(end_),
                buffer_.begin());
      end_ -= begin_;
      begin_ = 0;
      if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
      const size_t n = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
      end_ += n;
      if (n == 0) eof_ = true;
    }
  }

 private:
  std::FILE* file_;
  std::vector<char> buffer_;
  size_t begin_ = 0, end_ = 0;
  bool eof_ = false;
};

// The values of one comma-separated line: quoted values may hold commas, a doubled quote inside
// quotes stands for one quote. Values are kept in one scratch text (no allocation per value once
// it has grown).
struct CsvLine {
  std::string Text;
  std::vector<std::pair<size_t, size_t>> Values;  // offset and length in Text

  void Split(std::string_view Line) {
    Text.clear();
    Values.clear();
    size_t i = 0;
    for (;;) {
      const size_t from = Text.size();
      if (i < Line.size() && Line[i] == '"') {
        ++i;
        while (i < Line.size()) {
          if (Line[i] == '"') {
            if (i + 1 < Line.size() && Line[i + 1] == '"') {
              Text += '"';
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          Text += Line[i++];
        }
      }
      while (i < Line.size() && Line[i] != ',') Text += Line[i++];
      Values.emplace_back(from, Text.size() - from);
      if (i >= Line.size()) break;
      ++i;  // the comma
    }
  }
  std::string_view Value(size_t N) const {
    return N < Values.size() ? std::string_view(Text.data() + Values[N].first, Values[N].second)
                             : std::string_view();
  }
};

// A value of digits only (at most 18 of them) as a number; false for anything else.
bool WholeNumber(std::string_view Text, sqlite3_int64& Value) {
  if (Text.empty() || Text.size() > 18) return false;
  sqlite3_int64 v = 0;
  for (char c : Text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  Value = v;
  return true;
}

bool StepDone(Database& Db, int Rc, const char* What) {
  if (Rc == SQLITE_DONE || Rc == SQLITE_ROW) return true;
  std::fprintf(stderr, "agemill_bench: sqlite: %s: %s\n", What, sqlite3_errmsg(Db.Handle()));
  return false;
}

}  // namespace

int StepSqliteImport(const StepOptions& O) {
  const BenchPaths P(O.Dir);
  std::remove(P.Sqlite.c_str());
  const int64_t start = NowNanoseconds();
  long records = 0;
  {
    Database db(P.Sqlite);
    if (!db.Ok() || !Prepare(db)) return 1;
    std::string create = "CREATE TABLE ax (id1 TEXT, geocode TEXT, name TEXT";
    std::string insert = "INSERT INTO ax VALUES (?";
    for (int i = 1; i <= kCellCount; ++i) create += ", p" + std::to_string(i) + " INTEGER";
    create += ", sumlev TEXT, race TEXT)";
    for (int i = 1; i < kLineValues + 2; ++i) insert += ",?";
    insert += ")";
    if (!db.Exec(create.c_str()) || !db.Exec("BEGIN")) return 1;
    Statement stmt(db, insert);
    LineReader reader(P.WorkFile);
    if (!stmt.Ok()) return 1;
    if (!reader.Ok()) {
      std::fprintf(stderr, "agemill_bench: sqlite: cannot open %s\n", P.WorkFile.c_str());
      return 1;
    }
    sqlite3_stmt* s = stmt.Handle();
    CsvLine line;
    std::string geocode;
    std::string_view text;
    while (reader.Next(text)) {
      if (text.empty()) continue;
      line.Split(text);
      for (int i = 0; i < kLineValues; ++i) {
        const std::string_view v = line.Value(static_cast<size_t>(i));
        sqlite3_int64 n;
        if (i == kGeocodeField - 1) {
          geocode.assign(v);
          if (geocode.size() < static_cast<size_t>(kGeocodeWidth)) geocode.resize(kGeocodeWidth, '.');
          sqlite3_bind_text(s, i + 1, geocode.data(), static_cast<int>(geocode.size()), SQLITE_STATIC);
        } else if (i >= 3 && WholeNumber(v, n)) {
          sqlite3_bind_int64(s, i + 1, n);
        } else {
          sqlite3_bind_text(s, i + 1, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
        }
      }
      const std::string_view id1 = line.Value(0);
      const char race = RaceOfRecord(records, O.Areas);
      sqlite3_bind_text(s, kLineValues + 1, id1.data(), static_cast<int>(std::min<size_t>(id1.size(), 3)),
                        SQLITE_STATIC);
      sqlite3_bind_text(s, kLineValues + 2, &race, 1, SQLITE_STATIC);
      if (!StepDone(db, sqlite3_step(s), "INSERT")) return 1;
      sqlite3_reset(s);
      ++records;
    }
    if (reader.Failed()) {
      std::fprintf(stderr, "agemill_bench: sqlite: read error in %s\n", P.WorkFile.c_str());
      return 1;
    }
    if (!db.Exec("COMMIT")) return 1;
  }
  PutFigure("seconds", SecondsSince(start));
  PutFigure("records", records);
  PutFigure("bytes", static_cast<double>(FileBytes(P.Sqlite)));
  return records == O.Areas * kIterations ? 0 : 1;
}

int StepSqliteIndex(const StepOptions& O) {
  const BenchPaths P(O.Dir);
  Database db(P.Sqlite);
  // A repeated run builds the index again (into the pages the dropped one leaves free).
  if (!db.Ok() || !Prepare(db) || !db.Exec("DROP INDEX IF EXISTS ax_key")) return 1;
  const int64_t before = FileBytes(P.Sqlite);
  const int64_t start = NowNanoseconds();
  if (!db.Exec("CREATE INDEX ax_key ON ax (sumlev, geocode, race)")) return 1;
  PutFigure("seconds", SecondsSince(start));
  PutFigure("bytes", static_cast<double>(FileBytes(P.Sqlite) - before));
  return 0;
}

int StepSqliteFind(const StepOptions& O) {
  const BenchPaths P(O.Dir);
  Database db(P.Sqlite);
  if (!db.Ok() || !Prepare(db)) return 1;
  const long records = O.Areas * kIterations;
  if (records <= 0) {
    std::fprintf(stderr, "agemill_bench: sqlite find: the table is empty\n");
    return 1;
  }
  // Existing keys of random rows (the rows were inserted in record order: rowid = record number).
  struct Key {
    std::string Sumlev, Geocode, Race;
  };
  std::vector<Key> keys(65536);
  {
    Statement byRow(db, "SELECT sumlev, geocode, race FROM ax WHERE rowid = ?");
    if (!byRow.Ok()) return 1;
    std::mt19937_64 random(O.Seed);
    for (Key& key : keys) {
      sqlite3_stmt* s = byRow.Handle();
      sqlite3_bind_int64(s, 1, static_cast<sqlite3_int64>(random() % static_cast<uint64_t>(records)) + 1);
      if (sqlite3_step(s) != SQLITE_ROW) {
        std::fprintf(stderr, "agemill_bench: sqlite find: a row is missing\n");
        return 1;
      }
      auto column = [s](int c) {
        return std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, c)),
                           static_cast<size_t>(sqlite3_column_bytes(s, c)));
      };
      key = {column(0), column(1), column(2)};
      sqlite3_reset(s);
    }
  }
  Statement query(db, "SELECT * FROM ax WHERE sumlev = ? AND geocode = ? AND race = ?");
  if (!query.Ok()) return 1;
  sqlite3_stmt* s = query.Handle();
  long found = 0;
  double total = 0;
  const int64_t start = NowNanoseconds();
  for (long i = 0; i < O.Finds; ++i) {
    const Key& key = keys[static_cast<size_t>(i) & 65535];
    sqlite3_bind_text(s, 1, key.Sumlev.data(), static_cast<int>(key.Sumlev.size()), SQLITE_STATIC);
    sqlite3_bind_text(s, 2, key.Geocode.data(), static_cast<int>(key.Geocode.size()), SQLITE_STATIC);
    sqlite3_bind_text(s, 3, key.Race.data(), static_cast<int>(key.Race.size()), SQLITE_STATIC);
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) {
      ++found;
      total += static_cast<double>(sqlite3_column_int64(s, 3));  // the total population
    } else if (!StepDone(db, rc, "SELECT")) {
      return 1;
    }
    sqlite3_reset(s);
  }
  PutFigure("seconds", SecondsSince(start));
  PutFigure("calls", static_cast<double>(O.Finds));
  PutFigure("found", static_cast<double>(found));
  PutFigure("checksum", total);
  return found == O.Finds ? 0 : 1;
}

int StepSqliteRead(const StepOptions& O) {
  const BenchPaths P(O.Dir);
  Database db(P.Sqlite);
  if (!db.Ok() || !Prepare(db)) return 1;
  const std::string sql =
      O.Order == "index" ? "SELECT sumlev, geocode, name, race FROM ax INDEXED BY ax_key "
                           "ORDER BY sumlev, geocode, race"
                         : "SELECT sumlev, geocode, name, race FROM ax";
  long records = 0;
  uint64_t checksum = 0;
  const int64_t start = NowNanoseconds();
  {
    Statement scan(db, sql);
    if (!scan.Ok()) return 1;
    sqlite3_stmt* s = scan.Handle();
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
      ++records;
      for (int c = 0; c < 4; ++c) {
        const unsigned char* text = sqlite3_column_text(s, c);
        checksum += static_cast<uint64_t>(sqlite3_column_bytes(s, c)) + (text != nullptr ? text[0] : 0);
      }
    }
    if (!StepDone(db, rc, "SELECT")) return 1;
  }
  PutFigure("seconds", SecondsSince(start));
  PutFigure("records", records);
  PutFigure("checksum", static_cast<double>(checksum));
  return records == O.Areas * kIterations ? 0 : 1;
}

}  // namespace axbench
