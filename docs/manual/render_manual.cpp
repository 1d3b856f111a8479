// Renders the user manual (HTML) to a PDF with Qt: render_manual INPUT.html OUTPUT.pdf.
// The fonts the manual names are mapped to the installed Japanese fonts.
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>
#include <cstdio>

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: render_manual INPUT.html OUTPUT.pdf\n");
    return 2;
  }
  QFile input(QString::fromLocal8Bit(argv[1]));
  if (!input.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "render_manual: cannot read %s\n", argv[1]);
    return 1;
  }
  const QString html = QString::fromUtf8(input.readAll());

  QFont::insertSubstitution(QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic"));
  QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));

  // Written to a temporary file renamed over the target, so a failed run leaves no half PDF.
  const QString output = QString::fromLocal8Bit(argv[2]);
  QSaveFile file(output);
  if (!file.open(QIODevice::WriteOnly)) {
    std::fprintf(stderr, "render_manual: cannot write %s\n", argv[2]);
    return 1;
  }
  {
    QPdfWriter writer(&file);
    writer.setTitle(QStringLiteral("ORVA for Windows v2.2 操作マニュアル"));
    writer.setCreator(QStringLiteral("ORVA for Windows"));
    writer.setResolution(300);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4),
                                     QPageLayout::Portrait,
                                     QMarginsF(18, 18, 18, 18),
                                     QPageLayout::Millimeter));

    QTextDocument doc;
    doc.setDefaultFont(QFont(QStringLiteral("ＭＳ Ｐゴシック"), 10));
    doc.setDefaultStyleSheet(
        QStringLiteral("h1 { font-family: 'ＭＳ ゴシック'; font-size: 18pt; }"
                       "h2 { font-family: 'ＭＳ ゴシック'; font-size: 13pt; margin-top: 14px; }"
                       "th { background-color: #e0e0e0; }"));
    doc.setHtml(html);
    doc.print(&writer);
  }
  if (!file.commit()) {
    std::fprintf(stderr, "render_manual: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
