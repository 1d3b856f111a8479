// The buttons of opening a data file, checking and saving, running the engine and showing the
// results.
#include <QPushButton>

#include "Form2.h"

void Form2::connectActions() {
  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
  connect(Command5, &QPushButton::clicked, this, [this] { Command5_Click(); });
  connect(Command6, &QPushButton::clicked, this, [this] { Command6_Click(); });
}

// ---- Placeholders, to be replaced by the procedures of opening, check and save, and running ----
void Form2::Command1_Click() {}
void Form2::Command2_Click() {}
void Form2::Command5_Click() {}
void Form2::Command6_Click() {}
