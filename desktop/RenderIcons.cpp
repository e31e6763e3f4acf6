// Writes the program icon, drawn by the same code the program draws it with,
// into a folder laid out like the hicolor icon theme:
// <folder>/<n>x<n>/apps/quorvel.png for every size the desktop asks for.
//
//   quorvel_icons <folder>

#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "widgets/Artwork.h"

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  const QString folder = QString::fromLocal8Bit(argv[1]);
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QString apps = QString("%1/%2x%2/apps").arg(folder).arg(size);
    const QString file = apps + "/quorvel.png";
    if (!QDir().mkpath(apps) || !artwork::ProgramImage(size).save(file, "PNG")) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
