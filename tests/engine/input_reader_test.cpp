// read_input and read_data_set on small inputs, run in a temporary current folder.
#include "input_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "runtime_failure.h"
#include "test_support.h"

namespace orva {
namespace {

using test::TempDir;
using test::write_file;

// Makes a temporary folder the current directory for the test's lifetime.
class InFolder {
 public:
  InFolder() : old_(std::filesystem::current_path()) { std::filesystem::current_path(dir_.path()); }
  ~InFolder() { std::filesystem::current_path(old_); }
  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  std::filesystem::path old_;
};

struct Drop {
  std::string header;
  std::vector<std::string> deflections;
  std::string trailer;
};

// The items of a zoned line: each after the first starts at the next 14-column zone.
std::string zoned(const std::vector<std::string>& items) {
  std::string s;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) s.resize((s.size() / 14 + 1) * 14, ' ');
    s += items[i];
  }
  return s;
}

// An input file in the layout the front end writes, with fields to vary.
struct InputText {
  std::string title = "three_layers";
  std::string counts;  // default: from layers and sensors
  std::string n_drops = "2";
  std::vector<std::vector<std::string>> layers = {{"0", "3000", "0.35", "15", "0"},
                                                  {"0", "300", "0.35", "30", "0"}};
  std::vector<std::string> half_space = {"0", "80", "0.4"};
  std::vector<std::string> sensors = {"0", "30", "60", "90", "120"};
  std::string load = "50";
  std::string radius = "15";
  std::string parameter = "0.001";
  std::vector<Drop> drops = {
      {"1,0,\"99:99\",40", {"480", "330", "215", "150", "110"}, "999.9,\"Run1\""},
      {"2,0,\"99:99\",60", {"480", "330", "215", "150", "110"}, "999.9,\"Run2\""}};

  std::string text() const {
    std::vector<std::string> l = {
        "ORVA for Windows Ver2.2",
        "",
        "TITLE OF THE PROJECT",
        title,
        "",
        "NAME OF FILE FOR ITERATION PROCESS",
        title + ".out",
        "",
        "NO. OF LAYERS AND MEASUREMENT POINTS",
        counts.empty() ? std::to_string(layers.size() + 1) + "   " + std::to_string(sensors.size())
                       : counts,
        "",
        "NUMBERS OF TOTAL DATA",
        n_drops,
        "",
        "LAYER PROPERTIES",
        "IFIX    MODULUS(MPa)      MU       THICKNESS(cm)      SLIP RATE"};
    for (const auto& layer : layers) l.push_back(zoned(layer));
    l.push_back(zoned(half_space));
    std::string offsets;
    for (size_t j = 0; j < sensors.size(); ++j) offsets += (j > 0 ? "    " : "") + sensors[j];
    for (std::string s :
         {std::string(""),
          std::string("SENSOR POSITIONS(cm)"),
          offsets,
          std::string(""),
          std::string("STD LOAD AND RADIUS of PLATE"),
          zoned({load, radius}),
          std::string(""),
          std::string("OPTIONS FOR TYPE OF OUTPUT (1--> YES   0--> NO)"),
          std::string("LAYER MODULI,ANALYTICAL DEFLECTIONS,DEFLECTION RATIO"),
          std::string("1  1  1"),
          std::string(""),
          std::string("REGULARIZATION (1--> YES   0--> NO)"),
          std::string("0"),
          std::string(""),
          std::string("REGULARIZATION PARAMETER"),
          std::string("(RECOMMENDED VALUE : LAYERS#<=3 --> 0.001, LAYERS#=>4 --> 0.03)"),
          parameter,
          std::string(""),
          std::string("FWD DEFLECTION DATA(\x83\xca\x82\x8d\x81\x6a")}) {
      l.push_back(s);
    }
    for (const Drop& d : drops) {
      l.push_back(d.header);
      for (const auto& v : d.deflections) l.push_back(v);
      l.push_back(d.trailer);
    }
    std::string out;
    for (const auto& line : l) out += line + "\r\n";
    return out;
  }
};

struct ReadResult {
  InputData input;
  DataSet data;
  int32_t flag = -1;
  int32_t end_of_input = -1;
};

// read_input and one read_data_set on `text` as "inp.dat".
ReadResult read_all(const std::string& text) {
  InFolder folder;
  write_file("inp.dat", text);
  ReadResult r;
  InputUnit file;
  read_input(file, r.input, r.data, r.flag);
  read_data_set(file, r.input, r.data, r.end_of_input, 1);
  return r;
}

std::string replace_all(std::string s, const std::string& from, const std::string& to) {
  for (size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size())) {
    s.replace(p, from.size(), to);
  }
  return s;
}

void expect_relative(double actual, double expected) {
  EXPECT_NEAR(actual, expected, 1e-15 * std::abs(expected)) << "expected " << expected;
}

TEST(ReadInput, ThreeLayersInEngineUnits) {
  const ReadResult r = read_all(InputText{}.text());
  const InputData& in = r.input;
  EXPECT_EQ(in.project_title, std::string("three_layers") + std::string(68, ' '));
  EXPECT_EQ(in.iteration_file_name, std::string("three_layers.out") + std::string(64, ' '));
  EXPECT_EQ(in.label_line.size(), 72u);
  EXPECT_EQ(in.label_line.substr(0, 4), "FWD ");
  EXPECT_EQ(in.n_layers, 3);
  EXPECT_EQ(in.n_sensors, 5);
  EXPECT_EQ(in.n_drops, 2);
  EXPECT_EQ(in.layers.layer_fixed, (std::vector<int32_t>{0, 0, 0}));
  EXPECT_EQ(in.layers.layer_modulus,
            (std::vector<double>{
                3000 * 10.197162129779283, 300 * 10.197162129779283, 80 * 10.197162129779283}));
  EXPECT_EQ(in.layers.layer_poisson, (std::vector<double>{0.35, 0.35, 0.4}));
  EXPECT_EQ(in.layers.layer_thickness, (std::vector<double>{15, 30, 0}));
  EXPECT_EQ(in.layers.layer_slip, (std::vector<double>{0, 0, 0}));
  EXPECT_EQ(in.sensor_offset, (std::vector<double>{0, 30, 60, 90, 120}));
  EXPECT_EQ(in.plate_load, 50 * 101.97162129779282);
  EXPECT_EQ(in.plate_radius, 15.0);
  EXPECT_EQ(in.output_options[0] + in.output_options[1] + in.output_options[2], 3);
  EXPECT_EQ(r.flag, 0);
  EXPECT_EQ(in.regularization_parameter, 0.001);
  EXPECT_EQ(in.convergence_tolerance, 0.001);
  EXPECT_EQ(in.max_iterations, 100);
  EXPECT_EQ(in.max_change_percent, 10);
  // Seed row in MPa, from the converted modulus.
  EXPECT_EQ(r.data.modulus_history(1, 1), 3000 * 10.197162129779283 * 0.0980665);
  EXPECT_EQ(r.data.modulus_history.rows, 102);
  EXPECT_EQ(r.data.modulus_history.cols, 3);
  EXPECT_EQ(r.data.deflection_history.rows, 102);
  EXPECT_EQ(r.data.deflection_history.cols, 5);
  EXPECT_EQ(r.data.match_table.rows, 100);
  EXPECT_EQ(r.data.drop_deflection.rows, 2);
}

// Two drops of 40 and 60 kN with the same deflections, standard load 50 kN: the mean is the
// average of 50/40 and 50/60 times the deflection, in cm.
TEST(ReadDataSet, AveragesDropsNormalisedToTheStandardLoad) {
  const ReadResult r = read_all(InputText{}.text());
  ASSERT_EQ(r.end_of_input, 0);
  const double d[] = {480, 330, 215, 150, 110};
  for (int j = 1; j <= 5; ++j) {
    SCOPED_TRACE(j);
    const double expected = (50.0 / 40.0 * d[j - 1] + 50.0 / 60.0 * d[j - 1]) / 2 / 10000;
    expect_relative(r.data.mean_deflection[j - 1], expected);
    EXPECT_EQ(r.data.deflection_history(1, j), r.data.mean_deflection[j - 1]);
    EXPECT_EQ(r.data.drop_deflection(2, j), d[j - 1]);
  }
  EXPECT_EQ(r.data.drop_load[0], 40 * 101.97162129779282);
  expect_relative(r.data.mean_deflection[0], 0.05);  // 480 x 25/24 = 500 micrometres
}

TEST(ReadDataSet, OneLayerOneSensorOneDrop) {
  InputText t;
  t.layers.clear();
  t.half_space = {"1", "100", "0.35"};
  t.sensors = {"0"};
  t.n_drops = "1";
  t.drops = {{"1,0,\"99:99\",49", {"1100"}, "999.9,\"Run1\""}};
  const ReadResult r = read_all(t.text());
  EXPECT_EQ(r.input.n_layers, 1);
  EXPECT_EQ(r.input.n_sensors, 1);
  EXPECT_EQ(r.input.layers.layer_fixed, (std::vector<int32_t>{1}));
  EXPECT_EQ(r.input.layers.layer_modulus, (std::vector<double>{100 * 10.197162129779283}));
  ASSERT_EQ(r.end_of_input, 0);
  expect_relative(r.data.mean_deflection[0], 50.0 / 49.0 * 1100 / 10000);
}

// Layouts that must read exactly like the front end's file.
TEST(ReadInput, LayoutVariantsReadTheSame) {
  const std::string base = InputText{}.text();
  const ReadResult expected = read_all(base);
  InputText spread;
  spread.layers = {{"0\r\n3000", "0.35", "15\r\n\r\n0"}, {"0", "300\r\n0.35 30 0"}};
  InputText extra;
  extra.drops[0].deflections[2] = "215 999";
  extra.sensors.back() = "120   7   8";
  InputText commas;
  commas.layers = {{"0,3000,0.35,15,0"}, {"0 , 300 , 0.35 , 30 , 0"}};
  commas.half_space = {"0,80,0.4"};
  commas.load = "50,";
  InputText notes;
  notes.drops[0] = {"17,3,\"10:42:17+extra\",40", notes.drops[0].deflections, "12.5,\"a, b/c\""};
  notes.drops[1].trailer = "999.9, Run2";
  struct Case {
    const char* name;
    std::string text;
  };
  const Case cases[] = {
      {"no empty lines", replace_all(base, "\r\n\r\n", "\r\n")},
      {"empty lines everywhere", replace_all(base, "\r\n", "\r\n\r\n \r\n")},
      {"LF line ends", replace_all(base, "\r\n", "\n")},
      {"layer values spread over lines", spread.text()},
      {"extra values ignored", extra.text()},
      {"commas in place of blanks", commas.text()},
      {"quoted notes with commas, long tag", notes.text()},
      {"last line without its line end", base.substr(0, base.size() - 2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ReadResult r = read_all(c.text);
    EXPECT_EQ(r.input.layers.layer_modulus, expected.input.layers.layer_modulus);
    EXPECT_EQ(r.input.layers.layer_poisson, expected.input.layers.layer_poisson);
    EXPECT_EQ(r.input.layers.layer_thickness, expected.input.layers.layer_thickness);
    EXPECT_EQ(r.input.sensor_offset, expected.input.sensor_offset);
    EXPECT_EQ(r.input.plate_load, expected.input.plate_load);
    EXPECT_EQ(r.input.plate_radius, expected.input.plate_radius);
    EXPECT_EQ(r.input.regularization_parameter, expected.input.regularization_parameter);
    EXPECT_EQ(r.end_of_input, 0);
    EXPECT_EQ(r.data.mean_deflection, expected.data.mean_deflection);
  }
}

TEST(ReadInput, RegularizationParameterZeroIsKept) {
  InputText t;
  t.parameter = "0";
  EXPECT_EQ(read_all(t.text()).input.regularization_parameter, 0.0);
}

TEST(ReadDataSet, SetsOneAfterAnotherThenTheEnd) {
  InFolder folder;
  std::filesystem::copy_file(test::test_data_dir() / "two_data_sets.dat", "inp.dat");
  InputData input;
  DataSet data;
  InputUnit file;
  int32_t flag = -1, end = -1;
  read_input(file, input, data, flag);
  read_data_set(file, input, data, end, 1);
  ASSERT_EQ(end, 0);
  // Hand-computed: (50/49.2 x 610 + 50/50.8 x 632) / 2 / 10000.
  expect_relative(data.mean_deflection[0], (50 / 49.2 * 610 + 50 / 50.8 * 632) / 2 / 10000);
  read_data_set(file, input, data, end, 2);
  ASSERT_EQ(end, 0);
  const std::vector<double> second = data.mean_deflection;
  expect_relative(second[2], (50 / 48.7 * 244 + 50 / 51.1 * 256) / 2 / 10000);
  read_data_set(file, input, data, end, 3);
  EXPECT_EQ(end, 1);
  EXPECT_EQ(data.mean_deflection, second);  // left as it was
  EXPECT_EQ(data.deflection_history(1, 3), second[2]);
}

TEST(ReadDataSet, FewerDropsThanDeclaredIsTheEndOfInput) {
  InputText t;
  t.n_drops = "3";
  EXPECT_EQ(read_all(t.text()).end_of_input, 1);
}

TEST(ReadDataSet, EndInsideADropGroupIsEndOfFile) {
  const std::string text = InputText{}.text();
  const std::string cut = text.substr(0, text.find("480\r\n") + 5);
  try {
    read_all(cut);
    FAIL() << "no failure";
  } catch (const RuntimeFailure& f) {
    EXPECT_EQ(f.number, kEndOfFile);
    EXPECT_EQ(f.unit, 1);
    EXPECT_EQ(f.path, "inp.dat");
  }
}

TEST(ModelSublayerCount, FollowsTheModelsSplitRule) {
  // clang-format off
  const std::array<std::pair<double, int>, 7> cases = {{
      {15, 1}, {100, 1}, {100.009, 1}, {100.02, 2}, {200, 2}, {250, 3}, {1e300, 1001}}};
  // clang-format on
  for (auto [cm, count] : cases) EXPECT_EQ(model_sublayer_count(cm), count) << cm << " cm";
}

// Values the engine cannot compute with are refused with a line naming the value.
TEST(ReadInput, RejectsValuesTheEngineCannotComputeWith) {
  struct Case {
    const char* name;
    std::function<void(InputText&)> change;
    const char* message;  // empty: accepted
  };
  const std::vector<Case> cases = {
      {"no layers", [](InputText& t) { t.counts = "0   5"; }, "number of layers is 0"},
      {"21 layers", [](InputText& t) { t.counts = "21   5"; }, "number of layers is 21"},
      {"no sensors", [](InputText& t) { t.counts = "3   0"; }, "number of sensors is 0"},
      {"21 sensors", [](InputText& t) { t.counts = "3   21"; }, "number of sensors is 21"},
      {"no drops", [](InputText& t) { t.n_drops = "0"; }, "number of drops is 0"},
      {"negative drops", [](InputText& t) { t.n_drops = "-5"; }, "number of drops is -5"},
      {"too many drops", [](InputText& t) { t.n_drops = "10001"; }, "number of drops is 10001"},
      {"modulus 0", [](InputText& t) { t.layers[1][1] = "0"; }, "layer 2: modulus 0 MPa"},
      {"half-space modulus", [](InputText& t) { t.half_space[1] = "-80"; }, "layer 3: modulus -80"},
      {"Poisson -1", [](InputText& t) { t.layers[0][2] = "-1"; }, "layer 1: Poisson's ratio -1"},
      {"Poisson 0.6",
       [](InputText& t) { t.half_space[2] = "0.6"; },
       "layer 3: Poisson's ratio 0.6"},
      {"thickness 0", [](InputText& t) { t.layers[0][3] = "0"; }, "layer 1: thickness 0 cm"},
      {"slip 1", [](InputText& t) { t.layers[1][4] = "1"; }, "layer 2: slip rate 1 "},
      {"slip negative", [](InputText& t) { t.layers[0][4] = "-0.1"; }, "layer 1: slip rate -0.1"},
      {"offset negative", [](InputText& t) { t.sensors[1] = "-30"; }, "sensor 2: offset -30 cm"},
      {"standard load 0", [](InputText& t) { t.load = "0"; }, "standard load 0 kN"},
      {"plate radius 0", [](InputText& t) { t.radius = "0"; }, "plate radius 0 cm"},
      {"drop load 0",
       [](InputText& t) { t.drops[1].header = "2,0,\"99:99\",0"; },
       "data set 1, drop 2: load 0 kN"},
      {"parameter 1", [](InputText& t) { t.parameter = "1"; }, "regularization parameter 1 "},
      {"parameter negative", [](InputText& t) { t.parameter = "-1E-3"; }, "parameter -0.001"},
      {"too many sublayers",
       [](InputText& t) {
         t.layers[0][3] = "60000";
         t.layers[1][3] = "50000";
       },
       "more than 1000 model sublayers"},
      // What the editor admits always passes.
      {"Poisson 0.49, slip 0.99, parameter 0",
       [](InputText& t) {
         t.layers[0][2] = "0.49";
         t.layers[0][4] = "0.99";
         t.parameter = "0";
       },
       ""},
      {"Poisson 0.5 and offset 0", [](InputText& t) { t.half_space[2] = "0.5"; }, ""},
      {"1000 sublayers", [](InputText& t) { t.layers[0][3] = "99800"; }, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InputText t;
    c.change(t);
    try {
      read_all(t.text());
      EXPECT_STREQ(c.message, "") << "accepted";
    } catch (const InputRejected& r) {
      EXPECT_NE(r.message.find(c.message), std::string::npos) << r.message;
      EXPECT_STRNE(c.message, "") << r.message;
    } catch (const RuntimeFailure& f) {
      ADD_FAILURE() << "run-time failure " << f.number;
    }
  }
}

// Regression: a report named after one of the engine's own files would be opened over it, emptying
// the input being read or the result files.
TEST(ReadInput, ReportNamedAfterAnEngineFileIsRejected) {
  for (const char* name :
       {"inp.dat", "SESF.LAB", "DEF.OUT", "MODULI.OUT", "./DEF.OUT", "a/../inp.dat"}) {
    SCOPED_TRACE(name);
    InputText t;
    // Quoted, so that a slash stays in the name.
    std::string text = replace_all(t.text(), "three_layers.out", std::string("'") + name + "'");
    try {
      read_all(text);
      ADD_FAILURE() << "accepted";
    } catch (const InputRejected& r) {
      EXPECT_NE(r.message.find("one of the engine's own files"), std::string::npos) << r.message;
    }
  }
  EXPECT_FALSE(is_engine_file("def.out"));
  EXPECT_FALSE(is_engine_file("inp.dat.out"));
}

// Regression: a report name such as '../victim.txt' or an absolute one was opened as it stood, so a
// run overwrote, and a rejected input emptied, a file outside the working folder. Only a name
// inside the working folder is accepted: no absolute name, no ".." part.
TEST(ReadInput, ReportNameLeadingOutOfTheFolderIsRejected) {
  const struct {
    const char* name;
    bool rejected;
  } cases[] = {
      {"../x.out", true},
      {"sub/../../x.out", true},
      {"sub/..", true},
      {"/x.out", true},
      {"..x.out", false},
      {"x..out", false},
      {"sub/x.out", false},
      {"./x.out", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    InputText t;
    std::string text = replace_all(t.text(), "three_layers.out", std::string("'") + c.name + "'");
    EXPECT_EQ(leaves_working_folder(c.name), c.rejected);
    try {
      read_all(text);
      EXPECT_FALSE(c.rejected);
    } catch (const InputRejected& r) {
      EXPECT_TRUE(c.rejected);
      EXPECT_EQ(
          r.message,
          std::string("the report's name \"") + c.name + "\" leads out of the working folder");
    }
  }
}

// Regression: "1E400" overflowed to infinity and was taken as a modulus instead of failing the read
// with error 64.
TEST(ReadInput, NumberBeyondADoubleIsAConversionError) {
  InputText t;
  t.layers[0][1] = "1E400";
  try {
    read_all(t.text());
    FAIL() << "accepted";
  } catch (const RuntimeFailure& f) {
    EXPECT_EQ(f.number, kConversionError);
  }
}

}  // namespace
}  // namespace orva
