#include "Form1.h"

#include <QDir>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>

#include "AppWindows.h"
#include "Fonts.h"
#include "ImageBox.h"
#include "Module1.h"
#include "Platform.h"

namespace {

// The start-up picture: a pavement cross-section under a loading plate with its sensors.
QPixmap startPicture(int w, int h) {
  QPixmap pixmap(w, h);
  pixmap.fill(QColor(235, 242, 250));
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const int top = h * 45 / 100;
  const QColor layers[] = {
      QColor(70, 70, 75), QColor(150, 130, 100), QColor(190, 165, 120), QColor(165, 140, 95)};
  const int heights[] = {h * 8 / 100, h * 12 / 100, h * 14 / 100, h};
  int y = top;
  for (int i = 0; i < 4; ++i) {
    p.fillRect(0, y, w, heights[i], layers[i]);
    y += heights[i];
  }
  // Deflection basin, drawn exaggerated.
  p.setPen(QPen(QColor(200, 40, 40), 2));
  QPainterPath basin;
  basin.moveTo(0, top);
  for (int x = 0; x <= w; x += 4) {
    const double r = (x - w * 0.2) / (w * 0.25);
    basin.lineTo(x, top + 14.0 / (1.0 + r * r));
  }
  p.drawPath(basin);
  // Loading plate and sensors.
  p.fillRect(int(w * 0.2) - 22, top - 18, 44, 10, QColor(40, 60, 120));
  p.fillRect(int(w * 0.2) - 6, top - 60, 12, 42, QColor(40, 60, 120));
  p.setBrush(QColor(40, 120, 60));
  p.setPen(Qt::NoPen);
  for (int k = 0; k < 6; ++k) p.drawEllipse(QPointF(w * 0.2 + k * w * 0.12, top - 4), 4, 4);
  p.setPen(QColor(20, 40, 90));
  p.setFont(QFont(QStringLiteral("Liberation Sans"), 22, QFont::Bold));
  p.drawText(QRect(0, 8, w - 16, 40), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("ORVA"));
  p.setFont(QFont(Fonts::kPGothic, 11));
  p.drawText(QRect(0, 46, w - 16, 24),
             Qt::AlignRight | Qt::AlignVCenter,
             QStringLiteral("舗装構造の逆解析"));
  return pixmap;
}

}  // namespace

Form1::Form1(AppWindows& windows, QWidget* parent) : FormWindow(parent), windows_(windows) {
  setFont(QFont(Fonts::kPGothic, 9));
  setFixedSize(480, 330);
  Image1 = new ImageBox(this);
  Image1->setGeometry(20, 20, 440, 220);
  Image1->setPixmap(startPicture(440, 220));
  Command3 = new QPushButton(QStringLiteral("開　始"), this);
  Command3->setGeometry(20, 262, 130, 44);
  Command1 = new QPushButton(QStringLiteral("マニュアル"), this);
  Command1->setGeometry(175, 262, 130, 44);
  Command2 = new QPushButton(QStringLiteral("終　了"), this);
  Command2->setGeometry(330, 262, 130, 44);
  connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
  connect(Image1, &ImageBox::clicked, this, [this] { Image1_Click(); });
  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
}

void Form1::Form_Load() {
  Module1::AppTitle = QStringLiteral("ORVA for Windows v2.2");
  removeCloseCommand();
  setWindowTitle(Module1::AppTitle);
  Platform& platform = windows_.platform;
  Module1::DelFlag(platform, platform.programFolder(), QStringLiteral("11111"));
  // The engine and its work files live in the program folder: an installed copy that cannot be
  // written there cannot run anything, and the user is told so now rather than at the first run.
  if (!Module1::FolderIsWritable(platform.programFolder())) {
    platform.messageBox(
        this,
        QStringLiteral("プログラムのフォルダに書き込めません。\n%1\n"
                       "このフォルダでは解析を実行できません。"
                       "書き込みのできるフォルダにプログラムをコピーして使用してください。")
            .arg(QDir::toNativeSeparators(platform.programFolder())),
        MsgStyle::kExclamation,
        QStringLiteral("Error"));
  }
}

void Form1::Command3_Click() { Image1_Click(); }

void Form1::Image1_Click() {
  // The start window does not come back.
  hide();
  windows_.form1 = nullptr;
  deleteLater();
  windows_.showForm2();
}

void Form1::Command1_Click() {
  Module1::OpenDocument(windows_.platform,
                        Module1::ProgramFile(windows_.platform, Module1::kManualName));
}

void Form1::Command2_Click() { Module1::ConfirmExit(windows_.platform, this); }
