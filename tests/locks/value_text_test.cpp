// Text values stored by field type, seen as the bytes they become in the record: the rules a
// delimited import and the morvane commands share.
#include <cstring>

#include "engine/util/dates.h"
#include "tests/locks/locks_fixture.h"

namespace lockstest {
namespace {

using namespace morvane;

class ValueTextTest : public dbftest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    SetDateConvention(0);  // MM/DD/YY
    SetCenturyOn(false);
    Settings.DecimalSeparator = '.';
    Settings.ThousandSeparator = ',';
    dbftest::CreateTable(
        file("v.dbf"),
        {dbftest::Fd("NAME", 'C', 5), dbftest::Fd("BORN", 'D', 8), dbftest::Fd("PRICE", 'N', 8, 2),
         dbftest::Fd("QTY", 'N', 5), dbftest::Fd("RATE", 'F', 6, 1), dbftest::Fd("OK", 'L', 1),
         dbftest::Fd("NOTE", 'M', 10)},
        0x8B);
    Use(file("v.dbf") + " EXCLUSIVE", nullptr, 0);
    ASSERT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
  }
  // The field's bytes in the record after storing Value in a blank record; Valid receives what
  // StoreValueText said about the value.
  static std::string Stored(const std::string& field, const std::string& value,
                            bool* valid = nullptr) {
    ClearRecord();
    WorkArea& a = *CurrentWorkArea();
    const FieldDescriptor& f = a.Table.Fields[static_cast<size_t>(FieldNo(field) - 1)];
    const bool ok = StoreValueText(f, a.Typed, value);
    if (valid != nullptr) *valid = ok;
    TypedToRecord(a.Table, a.Typed);
    return std::string(a.Table.Record() + f.Offset, f.Width);
  }
};

TEST_F(ValueTextTest, StoredByFieldType) {
  struct Case {
    const char* field;
    std::string value;
    std::string stored;
    bool valid = true;  // a value of the field's type
  };
  const Case cases[] = {
      {"NAME", "Smith, John", "Smith"},
      {"NAME", "Al", "Al   "},
      {"NAME", "", "     "},
      {"NAME", std::string(300, 'x'), "xxxxx"},
      {"BORN", "19991231", "19991231"},  // digits: YYYYMMDD
      {"BORN", "12/31/99", "19991231"},  // a date text of the convention
      {"BORN", "1/2/99", "19990102"},
      {"BORN", "", "        "},
      {"BORN", "not a date", "        ", false},
      {"BORN", "13/45/99", "        ", false},  // never an impossible date in the file
      {"BORN", "19991345", "        ", false},
      {"BORN", "2/29/99", "        ", false},
      {"BORN", std::string(300, 'x'), "        ", false},
      {"PRICE", "$1,234.50", " 1234.50"},
      {"PRICE", " +12.5", "   12.50"},
      {"PRICE", "", "    0.00"},
      {"PRICE", "abc", "    0.00", false},
      {"PRICE", "1.2.3", "    0.00", false},
      {"PRICE", "123456789", "********"},  // too wide: "*" fill, as the engine stores it
      {"QTY", "12.7", "   12"},            // the whole part
      {"QTY", "-42", "  -42"},
      {"QTY", "1,000", " 1000"},
      {"QTY", "123456", "*****"},
      {"QTY", "", "    0"},
      {"RATE", "2.26", "   2.3"},
      {"OK", "T", "T"},
      {"OK", "yes", "T"},
      {"OK", "t", "T"},
      {"OK", "n", "F"},
      {"OK", "1", "F"},
      {"OK", "", "F"},
      {"NOTE", "text", "          "},  // a memo field takes no value
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " <- \"" + c.value.substr(0, 20) + "\"");
    bool valid = !c.valid;
    EXPECT_EQ(Stored(c.field, c.value, &valid), c.stored);
    EXPECT_EQ(valid, c.valid);
  }
}

TEST_F(ValueTextTest, NumbersFollowTheEngineSeparators) {
  Settings.DecimalSeparator = ',';
  Settings.ThousandSeparator = '.';
  EXPECT_EQ(Stored("PRICE", "1.234,5"), " 1234.50");
  EXPECT_EQ(Stored("QTY", "12,7"), "   12");
}

TEST_F(ValueTextTest, DatesFollowTheConvention) {
  SetDateConvention(5);  // DD.MM.YY
  SetCenturyOn(true);
  EXPECT_EQ(Stored("BORN", "31.12.1999"), "19991231");
  EXPECT_EQ(Stored("BORN", "20100704"), "20100704");
  const uint8_t* slot = FieldAddress(2);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(slot + 1), slot[0]), "04.07.2010");
}

}  // namespace
}  // namespace lockstest
