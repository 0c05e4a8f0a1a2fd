// Writes the seed corpus of the fuzz targets: small valid tables, indexes and memo files made by
// the engine (one per layout it reads), expression texts and delimited texts. Usage:
// fuzz_seed_writer <corpus folder>; the folder's dbf/, expr/, mdx/, memo/ and import/ subfolders
// are filled (replacing files of the same names).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/dbf/dbf_file.h"
#include "engine/dbf/workarea.h"
#include "engine/index/xqndx.h"
#include "engine/util/errors.h"
#include "engine/util/startup.h"
#include "tests/fuzz/targets/fixture_tables.h"

namespace {

using namespace morvane;
using fuzz::Fd;
namespace fs = std::filesystem;

// The deletion flag, then each value in its field's width (numbers right-aligned).
std::string Record(const std::vector<FieldDescriptor>& fields, bool deleted,
                   const std::vector<std::string>& values) {
  std::string r(deleted ? "*" : " ");
  for (size_t i = 0; i < fields.size(); ++i) {
    std::string v = i < values.size() ? values[i].substr(0, fields[i].Width) : "";
    const std::string pad(fields[i].Width - v.size(), ' ');
    r += (fields[i].Type == 'N' || fields[i].Type == 'F' || fields[i].Type == 'M') ? pad + v
                                                                                   : v + pad;
  }
  return r;
}

// Appends the records to the table at Path through the table layer.
void Append(const std::string& path, const std::vector<std::string>& records) {
  DbfControlBlock b;
  b.FileName = path;
  OpenDbf(b);
  for (const std::string& r : records) {
    b.RecordBuffer.assign(r.begin(), r.end());
    b.RecordBuffer.resize(b.RecordLength, ' ');
    PutDbfRecord(b, b.RecordCount + 1);
  }
  CloseDbf(b);
}

void Table(const std::string& path, uint8_t version, const std::vector<FieldDescriptor>& fields,
           const std::vector<std::vector<std::string>>& rows, bool firstDeleted = false) {
  DbfSettings.DefaultVersion = version;
  DbfControlBlock scratch;
  CreateDbf(scratch, path, fields);
  std::vector<std::string> records;
  for (size_t i = 0; i < rows.size(); ++i)
    records.push_back(Record(fields, firstDeleted && i == 0, rows[i]));
  Append(path, records);
  // Only the table itself is a seed; a memo file made beside it is not.
  fs::remove(fs::path(path).replace_extension(".dbt"));
}

// A dBASE II table: the 521-byte header is laid out here (the engine reads and updates that
// layout but does not create it), the records are appended by the engine.
void Dbase2Table(const std::string& path) {
  std::vector<unsigned char> h(521, 0);
  h[0] = 0x02;
  const struct {
    const char* name;
    char type;
    uint8_t width, decimals;
  } fields[] = {{"CITY", 'C', 10, 0}, {"POP", 'N', 7, 0}, {"RATE", 'N', 5, 2}, {"OK", 'L', 1, 0}};
  unsigned recordLength = 1;
  size_t at = 8;
  for (const auto& f : fields) {
    for (size_t i = 0; f.name[i] != '\0'; ++i) h[at + i] = static_cast<unsigned char>(f.name[i]);
    h[at + 11] = static_cast<unsigned char>(f.type);
    h[at + 12] = f.width;
    h[at + 15] = f.decimals;
    recordLength += f.width;
    at += 16;
  }
  h[at] = 0x0D;
  h[6] = static_cast<unsigned char>(recordLength);
  h[7] = static_cast<unsigned char>(recordLength >> 8);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(h.data()),
                                              static_cast<std::streamsize>(h.size()));
  Append(path, {" Columbia    129272 3.25T", "*Aiken        30170 0.50F"});
}

// An index of the fixed index table with the given tags, saved as Seed.
void IndexSeed(const fs::path& work, const std::string& seed, const std::vector<IndexTagDef>& tags) {
  const std::string table = (work / "ix.dbf").string();
  const std::string index = (work / "ix.mdx").string();
  fuzz::WriteIndexTable(table);
  Select(1);
  Use(table + " EXCLUSIVE", nullptr, 0);
  if (!MakeIndex(tags, index)) throw EMorvaneError("the index was not built");
  CloseArea();
  fs::copy_file(index, seed, fs::copy_options::overwrite_existing);
  fs::remove(index);
  fs::remove(table);
}

IndexTagDef Tag(const char* name, const char* key, const char* forCond = "", bool descending = false,
                bool unique = false) {
  IndexTagDef t;
  t.TagName = name;
  t.KeyExpr = key;
  t.ForCond = forCond;
  t.Descending = descending;
  t.Unique = unique;
  return t;
}

void Text(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
}

// The memo file the engine writes for the fixed memo table of Kind, after the byte that names
// the kind, saved as Seed.
void MemoSeed(const fs::path& work, const std::string& seed, fuzz::MemoKind kind) {
  const std::string table = (work / "mt.dbf").string();
  fuzz::WriteMemoTable(table, kind);
  std::ifstream in(fuzz::MemoFileOf(table, kind), std::ios::binary);
  const std::string memo((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (memo.empty()) throw EMorvaneError("the memo file was not written");
  Text(seed, std::string(1, static_cast<char>(kind)) + memo);
  fs::remove(fuzz::MemoFileOf(table, kind));
  fs::remove(table);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seed_writer <corpus folder>\n");
    return 2;
  }
  const fs::path corpus = argv[1];
  fs::create_directories(corpus / "dbf");
  fs::create_directories(corpus / "expr");
  fs::create_directories(corpus / "mdx");
  fs::create_directories(corpus / "memo");
  fs::create_directories(corpus / "import");
  EngineStartup();
  SetRaiseErrors(true);
  const std::string dbf = (corpus / "dbf").string() + "/";
  try {
    Table(dbf + "ax_layout.dbf", 0x03,
          {Fd("ID1", 'C', 12), Fd("GEOCODE", 'C', 11), Fd("NAME", 'C', 24), Fd("P001", 'N', 9),
           Fd("P002", 'N', 9), Fd("P003", 'N', 9), Fd("SUMLEV", 'C', 3), Fd("RACE", 'C', 1)},
          {{"0500000US450", "45001......", "Abbeville County", "25417", "12339", "13078", "050",
            " "},
           {"0500000US450", "45001......", "Abbeville County", "18000", "8501", "9499", "050",
            "A"},
           {"0400000US45", "45.........", "South Carolina", "4625364", "2250101", "2375263",
            "040", " "}});
    Table(dbf + "all_types.dbf", 0x03,
          {Fd("NAME", 'C', 10), Fd("COUNT", 'N', 6), Fd("RATE", 'N', 8, 3), Fd("RATIO", 'F', 12, 5),
           Fd("BORN", 'D', 8), Fd("OK", 'L', 1)},
          {{"gone", "1", "0.5", "0.25", "19991231", "T"},
           {"M\x81nchen", "-99999", "-12.125", "1.5e3", "20100229", "y"},
           {"", "", "", "", "", ""},
           {"**********", "******", "********", "************", "2010-1-1", "?"}},
          true);
    Table(dbf + "level7.dbf", 0x04, {Fd("CODE", 'C', 5), Fd("QTY", 'N', 10, 2), Fd("DAY", 'D', 8)},
          {{"A1", "12.50", "20100401"}, {"B2", "-0.01", ""}});
    Table(dbf + "memo_fields.dbf", 0x8B, {Fd("TITLE", 'C', 8), Fd("NOTES", 'M', 10)},
          {{"first", "1"}, {"second", ""}});
    Table(dbf + "empty.dbf", 0x03, {Fd("ONLY", 'C', 1)}, {});
    Dbase2Table(dbf + "dbase2.dbf");

    const fs::path work = corpus / "mdx" / "work";
    fs::create_directories(work);
    const std::string mdx = (corpus / "mdx").string() + "/";
    IndexSeed(work, mdx + "ax_key.mdx", {Tag("AXKEY", "sumlev + geocode + race")});
    // NAME + GEOCODE is 35 characters: 25 keys a page, so 30 records need a branch page.
    IndexSeed(work, mdx + "branch.mdx", {Tag("NAMEGEO", "name + geocode")});
    IndexSeed(work, mdx + "key_kinds.mdx",
              {Tag("POP", "pop", "", true), Tag("BORN", "born", "race = 'A'"),
               Tag("LEVEL", "sumlev", "", false, true)});
    fs::remove_all(work);

    const fs::path memoWork = corpus / "memo" / "work";
    fs::create_directories(memoWork);
    const std::string memo = (corpus / "memo").string() + "/";
    MemoSeed(memoWork, memo + "dbase3.bin", fuzz::MemoKind::Dbase3);
    MemoSeed(memoWork, memo + "dbase4.bin", fuzz::MemoKind::Dbase4);
    MemoSeed(memoWork, memo + "foxpro.bin", fuzz::MemoKind::FoxPro);
    fs::remove_all(memoWork);
  } catch (const EMorvaneError& e) {
    std::fprintf(stderr, "fuzz_seed_writer: %s\n", e.what());
    return 1;
  }
  EngineShutdown();

  const std::string expr = (corpus / "expr").string() + "/";
  Text(expr + "ax_key.txt", "sumlev + geocode + race");
  Text(expr + "race_filter.txt", "race == \"A\"");
  Text(expr + "conditions.txt", "sumlev='050' .and. (race='A' .or. .not. ok) .and. pop >= 100");
  Text(expr + "texts.txt",
       "UPPER(LEFT(name, 5)) + LOWER(RIGHT(geocode, 3)) + SUBSTR(geocode, 3, 4) + "
       "STUFF(name, 2, 3, 'xy') + LTRIM(STR(pop, 9, 2)) + SPACE(2) + CHR(65)");
  Text(expr + "numbers.txt",
       "ROUND(rate * ratio / 3, 2) + MOD(pop, 7) + VAL(geocode) ^ 2 - ABS(-ratio) + "
       "INT(MAX(rate, MIN(ratio, 1E10))) + LEN(name) + AT('0', geocode) + ASC(race)");
  Text(expr + "dates.txt",
       "DTOS(CTOD('12/31/99')) + CDOW(born) + CMONTH(DATE()) + DTOC(born + 30) + "
       "STR(YEAR(born) + MONTH(born) + DAY(born) + DOW(born))");
  Text(expr + "alias.txt", "AUX->code + TRIM(name) + IIF(AUX->qty > 10, 'big', 'small')");
  Text(expr + "misc.txt",
       "SOUNDEX(name) $ REPLICATE('A', 3) .or. DELETED() .or. RECNO() > 2 .or. name <> 'x'");
  // An expression and, after the NUL byte, a raw record for the expression table.
  Text(expr + "with_record.bin",
       std::string("pop + rate + ratio\0", 19) +
           " Odd\xFF\x01name  45001......050A    -0.00  1e308 .........20101301T");
  // Delimited texts for the import table (QTY, NAME, POP, RATE, RATIO, BORN, OK, NOTES takes no
  // value, CODE, BIG, CITY), after the byte of conventions (see import_target.cpp).
  const std::string import = (corpus / "import").string() + "/";
  Text(import + "census.txt",
       std::string(1, '\0') +
           "12,Abbeville,25417,12.50,0.5000,19991231,T,050,123456789012345,Columbia\r\n"
           "7,Aiken,160099,-3.25,1234.5678,20100229,F,140,-99,Aiken\r\n"
           "1234567,Anderson,9999999,99.99,-0.0001,,y,040,0,\r\n"
           "0,Bamberg,00042,1e3,.5,2010-1-1,?,X,,\r\n");
  Text(import + "quoted.txt",
       std::string(1, '\0') +
           "\"3\",\"Smith, John\",\"1,234\",\" 12.5\",\"$7\",\"12/31/99\",\"Y\",\"ABCD\",\"+5\",\"a \"\"b\"\" c\"\n"
           "  4 ,\ttabbed ,  77 ,\t1.5,2,01/02/2003,t,, 18 digits is big ,\n"
           "\n\r\n"
           "5\rshort line\r6,two,values,and,more,than,there,are,fields,in,the,table,x,y,z\n" +
           std::string(300, 'L') + "," + std::string(300, 'N') + "\n"
           "\x1A,after the end mark\n");
  // The same lines across the end of the import's file buffer.
  Text(import + "census_refill.txt",
       std::string("\x80") +
           "12,Abbeville,25417,12.50,0.5000,19991231,T,050,123456789012345,Columbia\r\n"
           "7,Aiken,160099,-3.25,1234.5678,20100229,F,140,-99,Aiken\r\n"
           "\"1,234,567\",\"Anderson, SC\",9999999,99.99,-0.0001,,y,040,0,\r\n");
  // Decimal comma, German dates (convention 4 with the century), ANSI tables.
  Text(import + "german.txt",
       std::string("\x69") +
           "8,M\xFCnchen,\"1.234.567\",\"12,5\",\"0,25\",24.12.2010,J,DE,\"-1,5\",K\xF6ln\r\n"
           "9,Z\xFCrich,12,\"3,14159\",\"2,71828\",31.02.2011,N,CH,7,\r\n");
  std::printf("seeds written to %s\n", corpus.string().c_str());
  return 0;
}
