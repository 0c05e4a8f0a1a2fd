// The typed record both ways: numbers (rounding, "*" overflow, parsing), texts, dates in the
// conventions and the century window, logicals, memo numbers, the deleted flag and the slot sizes.
#include <cstring>

#include "engine/util/dates.h"
#include "tests/dbf/dbf_fixture.h"

namespace dbftest {
namespace {

using namespace morvane;

class TypedTest : public EngineTest {
 protected:
  // Creates and opens a table of the given fields (kept open in b_).
  void Open(const std::vector<FieldDescriptor>& fields) {
    CreateTable(file("t.dbf"), fields, 0x8B);
    ASSERT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
    b_.FileName = file("t.dbf");
    OpenDbf(b_);
    ASSERT_EQ(b_.State, dsClean) << Errors.ErrorDetail;
    typed_.assign(TypedRecordSize(b_), 0);
  }
  void TearDown() override {
    if (b_.State != dsClosed) CloseDbf(b_);
    EngineTest::TearDown();
  }
  uint8_t* Slot(int i) { return typed_.data() + b_.Fields[static_cast<size_t>(i)].TypedOffset; }
  std::string Raw(int i) {
    const FieldDescriptor& f = b_.Fields[static_cast<size_t>(i)];
    return std::string(b_.Record() + f.Offset, f.Width);
  }
  void SetRaw(int i, const std::string& text) {
    const FieldDescriptor& f = b_.Fields[static_cast<size_t>(i)];
    ASSERT_EQ(text.size(), f.Width);
    std::memcpy(b_.Record() + f.Offset, text.data(), f.Width);
  }
  std::string SlotText(int i) { return std::string(reinterpret_cast<char*>(Slot(i)) + 1, Slot(i)[0]); }
  void SetSlotText(int i, const std::string& text) {
    Slot(i)[0] = static_cast<uint8_t>(text.size());
    std::memcpy(Slot(i) + 1, text.data(), text.size());
  }
  template <typename T>
  T Get(int i) {
    T v;
    std::memcpy(&v, Slot(i), sizeof v);
    return v;
  }
  template <typename T>
  void Set(int i, T v) {
    std::memcpy(Slot(i), &v, sizeof v);
  }

  DbfControlBlock b_;
  std::vector<uint8_t> typed_;
};

TEST_F(TypedTest, SlotSizesFollowTheTypes) {
  Open({Fd("C", 'C', 10), Fd("D", 'D', 8), Fd("N2", 'N', 8, 2), Fd("N0", 'N', 5), Fd("F", 'F', 9, 1),
        Fd("L", 'L', 1), Fd("M", 'M', 10)});
  EXPECT_EQ(TypedRecordSize(b_), 1u + 11 + 11 + 8 + 4 + 8 + 1 + 4);
  std::vector<uint32_t> offsets;
  for (const FieldDescriptor& f : b_.Fields) offsets.push_back(f.TypedOffset);
  EXPECT_EQ(offsets, (std::vector<uint32_t>{1, 12, 23, 31, 35, 43, 44}));
}

TEST_F(TypedTest, NumbersAreEncodedRightAlignedWithAsteriskOverflow) {
  struct Case {
    int width, decimals;
    double value;
    const char* stored;
  };
  const std::vector<Case> cases = {
      {8, 2, 12345.678, "12345.68"}, {6, 1, 1234567.5, "******"}, {10, 3, -1.5, "    -1.500"},
      {5, 2, -0.001, " 0.00"},       {4, 1, 99.95, "****"},   {5, 0, 42, "   42"},
      {3, 0, -100, "***"},           {3, 0, 999, "999"},           {11, 0, -2147483647, "-2147483647"},
      {9, 2, 1e300, "*********"},
  };
  std::vector<FieldDescriptor> fields;
  for (size_t i = 0; i < cases.size(); ++i)
    fields.push_back(Fd("F" + std::to_string(i), 'N', cases[i].width, cases[i].decimals));
  Open(fields);
  for (size_t i = 0; i < cases.size(); ++i) {
    if (cases[i].decimals > 0)
      Set<double>(static_cast<int>(i), cases[i].value);
    else
      Set<int32_t>(static_cast<int>(i), static_cast<int32_t>(cases[i].value));
  }
  TypedToRecord(b_, typed_.data());
  for (size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(Raw(static_cast<int>(i)), cases[i].stored) << "value " << cases[i].value;
}

TEST_F(TypedTest, NumberTextsAreDecoded) {
  struct Case {
    int width, decimals;
    const char* stored;
    double value;
  };
  const std::vector<Case> cases = {
      {8, 2, "   12.50", 12.5}, {8, 2, "        ", 0},    {8, 2, "  -3.25 ", -3.25},
      {8, 2, "    +4.5", 4.5},  {5, 0, "   42", 42},     {5, 0, "  -7 ", -7},
      {5, 0, "     ", 0},       {5, 0, "12.70", 12},     {12, 0, " 99999999999", 2147483647},
      {12, 0, "-99999999999", -2147483648.0},            {6, 1, "******", 0},
      {5, 0, " 12 3", 12},      {5, 0, "- 5  ", 0},      {5, 0, "*****", 0},
      {1, 0, "7", 7},           {9, 0, "99999999 ", 99999999},  {10, 0, " 123456789", 123456789},
      {16, 0, "       -12345678", -12345678},  {16, 0, "1234567890123456", 2147483647},
      {16, 0, "+00000000000042x", 42},         {9, 0, "\t  -1\x01" "234", -1},
      // Right-aligned numbers in fields of 8 bytes and more (read a word at a time), and forms
      // that only look like them.
      {9, 0, "        0", 0},    {9, 0, "       12", 12},  {8, 0, "12345678", 12345678},
      {9, 0, " 12345678", 12345678}, {11, 0, "   87654321", 87654321}, {9, 0, "x       5", 0},
      {9, 0, "\t       7", 7},  {8, 0, "  -12345", -12345}, {10, 0, "  1 234567", 1},
      {9, 0, "  00000 7", 0},   {8, 0, "0000000 ", 0},    {8, 0, "        ", 0},
      {8, 0, "       \x80", 0}, {9, 0, "000000042", 42},
      // Wide integer fields: more digits than a 64-bit sum holds, and long runs of zeros.
      {30, 0, "  1234567890123456789012345678", 2147483647},
      {30, 0, " -1234567890123456789012345678", -2147483648.0},
      {30, 0, "000000000000000000000000000042", 42},
      {30, 0, "0000000000000000002147483647  ", 2147483647},
      {30, 0, "-000000000000000002147483648  ", -2147483648.0},
  };
  std::vector<FieldDescriptor> fields;
  for (size_t i = 0; i < cases.size(); ++i)
    fields.push_back(Fd("F" + std::to_string(i), 'N', cases[i].width, cases[i].decimals));
  Open(fields);
  for (size_t i = 0; i < cases.size(); ++i) SetRaw(static_cast<int>(i), cases[i].stored);
  RecordToTyped(b_, typed_.data());
  for (size_t i = 0; i < cases.size(); ++i) {
    double got = cases[i].decimals > 0 ? Get<double>(static_cast<int>(i))
                                       : Get<int32_t>(static_cast<int>(i));
    EXPECT_EQ(got, cases[i].value) << "'" << cases[i].stored << "'";
  }
}

TEST_F(TypedTest, NumbersIgnoreTheEngineDecimalSeparator) {
  Open({Fd("N", 'N', 8, 2)});
  Settings.DecimalSeparator = ',';
  Set<double>(0, 3.5);
  TypedToRecord(b_, typed_.data());
  EXPECT_EQ(Raw(0), "    3.50");
  SetRaw(0, "   -1.25");
  RecordToTyped(b_, typed_.data());
  EXPECT_EQ(Get<double>(0), -1.25);
}

TEST_F(TypedTest, TextsAreCutOrPaddedAndDecodedWithTheirBlanks) {
  Open({Fd("A", 'C', 5), Fd("B", 'C', 5)});
  SetSlotText(0, "ABCDEFGHIJ");
  SetSlotText(1, "AB");
  TypedToRecord(b_, typed_.data());
  EXPECT_EQ(Raw(0), "ABCDE");
  EXPECT_EQ(Raw(1), "AB   ");
  RecordToTyped(b_, typed_.data());
  EXPECT_EQ(SlotText(1), "AB   ");
}

TEST_F(TypedTest, DatesFollowTheConventionBothWays) {
  struct Case {
    int convention;
    bool century;
    const char* stored;
    const char* text;
  };
  const std::vector<Case> cases = {
      {0, false, "20100704", "07/04/10"},   {0, true, "20100704", "07/04/2010"},
      {1, false, "20100704", "10.07.04"},   {1, true, "20100704", "2010.07.04"},
      {2, true, "20100704", "04/07/2010"},  {3, false, "20100704", "04-07-10"},
      {5, false, "20100704", "04.07.10"},   {8, true, "19991231", "31.12.1999"},
      {0, false, "        ", "  /  /  "},   {5, true, "        ", "  .  .    "},
  };
  Open({Fd("D", 'D', 8)});
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.convention) + (c.century ? " century " : " ") + c.stored);
    SetCenturyOn(c.century);
    SetDateConvention(c.convention);
    SetRaw(0, c.stored);
    RecordToTyped(b_, typed_.data());
    EXPECT_EQ(SlotText(0), c.text);
    SetRaw(0, "xxxxxxxx");
    TypedToRecord(b_, typed_.data());
    EXPECT_EQ(Raw(0), c.stored);
  }
}

TEST_F(TypedTest, DateTextsAreStoredWithTheCenturyWindow) {
  struct Case {
    int convention;
    int centuryBase;
    const char* text;
    const char* stored;
  };
  const std::vector<Case> cases = {
      {0, 1950, "12/31/99", "19991231"}, {0, 2000, "12/31/99", "20991231"},
      {0, 1956, "1/2/30", "20300102"},   {0, 1956, "", "        "},
      {0, 1956, "  /  /  ", "        "}, {0, 1956, "        ", "        "},
      {3, 1956, "  -  -  ", "        "}, {5, 1956, "  .  .  ", "        "},
      {0, 1956, "99", "        "},       {0, 1956, "02/30/11", "20110230"},  // stored as given
  };
  Open({Fd("D", 'D', 8)});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    SetDateConvention(c.convention);
    Settings.CenturyBase = c.centuryBase;
    SetSlotText(0, c.text);
    TypedToRecord(b_, typed_.data());
    EXPECT_EQ(Raw(0), c.stored);
  }
}

TEST_F(TypedTest, LogicalsMemosAndTheDeletedFlag) {
  Open({Fd("L", 'L', 1), Fd("M", 'M', 10)});
  for (char c : std::string("TtYy")) {
    SetRaw(0, std::string(1, c));
    RecordToTyped(b_, typed_.data());
    EXPECT_EQ(Slot(0)[0], 1) << c;
  }
  for (char c : std::string("FfNn ?")) {
    SetRaw(0, std::string(1, c));
    RecordToTyped(b_, typed_.data());
    EXPECT_EQ(Slot(0)[0], 0) << c;
  }
  SetRaw(0, "y");
  SetRaw(1, "        17");
  b_.Record()[0] = '*';
  RecordToTyped(b_, typed_.data());
  EXPECT_EQ(typed_[0], 1);
  EXPECT_EQ(Get<int32_t>(1), 17);
  TypedToRecord(b_, typed_.data());
  EXPECT_EQ(Raw(0), "T");
  EXPECT_EQ(b_.Record()[0], '*');

  typed_[0] = 0;
  Slot(0)[0] = 0;
  Set<int32_t>(1, 0);
  TypedToRecord(b_, typed_.data());
  EXPECT_EQ(b_.Record()[0], ' ');
  EXPECT_EQ(Raw(0), "F");
  EXPECT_EQ(Raw(1), "          ");  // no memo: blanks, as other programs write it
  SetRaw(1, "         0");
  RecordToTyped(b_, typed_.data());
  EXPECT_EQ(Get<int32_t>(1), 0);
}

TEST(TranslateRecordTest, TranslatesRunsOfRecordsAndSkipsTheDeletionByte) {
  // Two records of 4 bytes: deletion byte + "é" (1252 0xE9, OEM 0x82) + "ab".
  std::string buffer = "*\xE9" "ab" " \xE9" "cd";
  TranslateRecord(TranslateDirection::ToDisk, true, nullptr, buffer.size(), 4, buffer.data());
  EXPECT_EQ(buffer, "*\x82" "ab" " \x82" "cd");
  TranslateRecord(TranslateDirection::FromDisk, true, nullptr, buffer.size(), 4, buffer.data());
  EXPECT_EQ(buffer, "*\xE9" "ab" " \xE9" "cd");

  // Hooks run after the OEM step going out and before it coming in.
  static auto shift = +[](char* p, size_t n) {
    for (size_t i = 0; i < n; ++i) p[i] = static_cast<char>(p[i] + 1);
  };
  std::string one = "*\xE9z";
  TranslateRecord(TranslateDirection::ToDisk, true, shift, one.size(), 3, one.data());
  EXPECT_EQ(one, "*\x83{");
  TranslateRecord(TranslateDirection::FromDisk, false, shift, one.size(), 3, one.data());
  EXPECT_EQ(one, "*\x84|");
  std::string untouched = "*\xE9z";
  TranslateRecord(TranslateDirection::ToDisk, false, nullptr, 3, 3, untouched.data());
  EXPECT_EQ(untouched, "*\xE9z");
}

}  // namespace
}  // namespace dbftest
