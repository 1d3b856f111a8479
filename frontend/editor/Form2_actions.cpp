// The buttons of opening a data file (Form2_open.cpp), checking and saving (Form2_save.cpp),
// running the engine and showing the results (Form2_run.cpp).
#include <QPushButton>

#include "Form2.h"

void Form2::connectActions() {
  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
  connect(Command5, &QPushButton::clicked, this, [this] { Command5_Click(); });
  connect(Command6, &QPushButton::clicked, this, [this] { Command6_Click(); });
}
