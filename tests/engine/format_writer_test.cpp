#include "format_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace orva {
namespace {

std::vector<std::string> write(std::string_view format, std::vector<OutputItem> items) {
  return RecordFormat(format).write(items);
}

// One value under one descriptor; the expected fields are counted by hand.
struct FieldCase {
  const char* format;
  double value;
  const char* expected;
};

TEST(FormatWriter, RealFields) {
  const double inf = std::numeric_limits<double>::infinity();
  // clang-format off
  const FieldCase cases[] = {
      {"(E12.4)",  12.3456,    "  0.1235E+02"},
      {"(E12.4)", -0.001234,   " -0.1234E-02"},
      {"(E12.4)",  0.0,        "  0.0000E+00"},
      {"(E12.4)", -0.0,        "  0.0000E+00"},
      {"(E12.4)",  0.99996,    "  0.1000E+01"},  // the carry moves the exponent
      {"(E12.4)",  9.99996,    "  0.1000E+02"},
      {"(E12.4)",  0.099996,   "  0.1000E+00"},
      {"(E12.4)", -9.99996,    " -0.1000E+02"},
      {"(E12.4)",  1.0,        "  0.1000E+01"},
      {"(E12.4)",  5.8e-3,     "  0.5800E-02"},
      {"(E12.4)",  1.0e100,    "  0.1000+101"},  // three-digit exponent without the letter
      {"(E12.4)",  1.0e-300,   "  0.1000-299"},
      {"(E10.4)", -12.3,       "-.1230E+02"},    // no room for the leading zero
      {"(E9.4)",  -12.3456,    "*********"},
      {"(E12.4)",  NAN,        "         NaN"},
      {"(E12.4)",  inf,        "    Infinity"},
      {"(F5.1)",  -inf,        " -Inf"},
      {"(F8.3)",   0.35,       "   0.350"},
      {"(F5.3)",   0.35,       "0.350"},         // the zero exactly fills the field
      {"(F5.3)",  -0.35,       "-.350"},         // no room for it beside the sign
      {"(F4.3)",  -0.35,       "****"},
      {"(F4.2)",   0.0,        "0.00"},
      {"(F5.2)",   9.996,      "10.00"},         // the carry adds a digit
      {"(F4.2)",   9.996,      "****"},
      {"(F8.1)",  -54.25,      "   -54.2"},      // an exact tie goes to even
      {"(F5.2)",   0.125,      " 0.12"},
      {"(F8.2)",  -0.001,      "   -0.00"},
      {"(F11.2)",  5098.58,    "    5098.58"},
      {"(F6.2)",   1234.567,   "******"},
      {"(F5.0)",   3.0,        "   3."},
      {"(F12.2)",  1.0e300,    "************"},
  };
  // clang-format on
  for (const FieldCase& c : cases) {
    SCOPED_TRACE(std::string(c.format) + " of " + std::to_string(c.value));
    std::vector<std::string> records = write(c.format, {c.value});
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0], c.expected);
  }
}

TEST(FormatWriter, IntegerAndTextFields) {
  EXPECT_EQ(write("(I3)", {100}), std::vector<std::string>{"100"});
  EXPECT_EQ(write("(I3)", {1}), std::vector<std::string>{"  1"});
  EXPECT_EQ(write("(I3)", {-5}), std::vector<std::string>{" -5"});
  EXPECT_EQ(write("(I2)", {100}), std::vector<std::string>{"**"});
  EXPECT_EQ(write("(I4)", {-1000}), std::vector<std::string>{"****"});
  EXPECT_EQ(write("(2I4)", {3, 7}), std::vector<std::string>{"   3   7"});
  std::string_view title = "ABC  ";
  EXPECT_EQ(write("(4X,'PROJECT TITLE:  ',2X,A)", {title}),
            std::vector<std::string>{"    PROJECT TITLE:    ABC  "});
  EXPECT_EQ(write("(A2,'|',A7,'|')", {title, std::string_view("E1")}),
            std::vector<std::string>{"AB|     E1|"});
}

// A whole write statement: format, items, the records it gives.
struct RecordCase {
  const char* name;
  const char* format;
  std::vector<OutputItem> items;
  std::vector<std::string> expected;
};

TEST(FormatWriter, Records) {
  std::vector<OutputItem> ones21(21, OutputItem(1.0));
  std::string field = "  0.1000E+01";
  std::string twenty_fields;
  for (int i = 0; i < 20; ++i) twenty_fields += field;
  std::vector<OutputItem> offsets21(21, OutputItem(30.0));
  std::string twenty_offsets;
  for (int i = 0; i < 20; ++i) twenty_offsets += "    30.0";
  const std::string_view e = "E";

  const RecordCase cases[] = {
      {"literals and blanks only",
       "(3X,'Itr.No.',7X,'ERROR (cm)')",
       {},
       {"   Itr.No.       ERROR (cm)"}},
      {"doubled apostrophe", "('it''s',1X,\"q\")", {}, {"it's q"}},
      {"21 values revert to the start, literals and all",
       "(2X,20E12.4)",
       ones21,
       {"  " + twenty_fields, "  " + field}},
      {"21 positions repeat the label",
       "(8X,'POSITION(cm)',20F8.1)",
       offsets21,
       {"        POSITION(cm)" + twenty_offsets, "        POSITION(cm)    30.0"}},
      {"items run out inside a repeated descriptor",
       "(4X,I3,8X,E12.4,5X,20E12.4)",
       {7, 0.5, 2.0},
       {"      7          0.5000E+00       0.2000E+01"}},
      {"items run out before a literal", "(I2,' a',I2,' b')", {1}, {" 1 a"}},
      {"a literal after the last item is written", "(I2,' cm')", {12}, {"12 cm"}},
      {"no items: up to the first data descriptor", "(2X,'N=',I3,'!')", {}, {"  N="}},
      {"leading slash gives an empty line first",
       "(/,4X,'RADIUS(cm)',2X,0P,F6.2)",
       {15.0},
       {"", "    RADIUS(cm)   15.00"}},
      {"slash without commas", "('a'/'b'//'c')", {}, {"a", "b", "", "c"}},
      {"repeated literal group", "(3X,5('='))", {}, {"   ====="}},
      {"repeated group with text and integer",
       "(2X,20(3X,A,I2,6X))",
       {e, 1, e, 2},
       {"     E 1         E 2         "}},
      {"reversion to the last outer group",
       "(I3,2(1X,I1))",
       {1, 2, 3, 4, 5, 6, 7},
       {"  1 2 3", " 4 5", " 6 7"}},
      {"Shift-JIS bytes pass unchanged",
       "(4X,'SENSOR No.1  \x81\x60  ','No.',I3)",
       {10},
       {"    SENSOR No.1  \x81\x60  No. 10"}},
      {"iteration summary of the moduli file", "(I3,20E12.4)", {100, 2.5e-7}, {"100  0.2500E-06"}},
  };
  for (const RecordCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(write(c.format, c.items), c.expected);
  }
}

TEST(FormatWriter, RejectsBadFormatsAndItems) {
  for (const char* bad : {"I3",
                          "(I3",
                          "(Q3)",
                          "(F8)",
                          "(E12)",
                          "(E12.0)",
                          "(1P,E12.4)",
                          "(I3 I3)",
                          "(,I3)",
                          "()",
                          "('open)",
                          "(I3)x",
                          "(0I3)"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(RecordFormat{bad}, std::invalid_argument);
  }
  EXPECT_THROW(write("(I3)", {1.5}), std::invalid_argument);
  EXPECT_THROW(write("(F8.2)", {1}), std::invalid_argument);
  EXPECT_THROW(write("(A)", {1}), std::invalid_argument);
  EXPECT_THROW(write("('x')", {1}), std::invalid_argument);  // nothing could take the item
  EXPECT_THROW(write("(I3,('x'))", {1, 2}), std::invalid_argument);
}

TEST(FormatWriter, FreeFormatRecords) {
  std::vector<OutputItem> text = {std::string_view("1.  DESCRIPTION")};
  EXPECT_EQ(free_format_record(text), " 1.  DESCRIPTION");
  EXPECT_EQ(free_format_record({}), "");
  std::vector<OutputItem> message = {std::string_view("Error: ierr = "), 4};
  EXPECT_EQ(free_format_record(message), " Error: ierr =            4");
  std::vector<OutputItem> two = {1, -2};
  EXPECT_EQ(free_format_record(two), "            1          -2");
  std::vector<OutputItem> real = {0.5};
  EXPECT_EQ(free_format_record(real), "    0.5000000000000000E+00");
}

}  // namespace
}  // namespace orva
