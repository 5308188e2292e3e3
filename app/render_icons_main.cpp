// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// pixhaul-render-icons: a build tool that writes the program's icon as PNG files for the
// desktop's icon theme, from the same drawing the program shows.
//
//   pixhaul-render-icons OUTPUT_FOLDER NAME SIZE...
//
// writes OUTPUT_FOLDER/<SIZE>x<SIZE>/apps/NAME.png for every size. Exits 1, naming what went
// wrong, when the drawing cannot be rendered or a file cannot be written, so that the build
// stops instead of installing blank icons.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/program_icon.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: pixhaul-render-icons OUTPUT_FOLDER NAME SIZE...\n");
    return 2;
  }
  // Rendering needs no screen.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);
  const QString outputFolder = QString::fromLocal8Bit(argv[1]);
  const QString name = QString::fromLocal8Bit(argv[2]);
  for (int i = 3; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    const QImage image = pixhaul::ProgramIconImage(size);
    if (image.isNull()) {
      std::fprintf(stderr, "pixhaul-render-icons: cannot render the icon at size %s\n", argv[i]);
      return 1;
    }
    const QString folder = QString("%1/%2x%2/apps").arg(outputFolder).arg(size);
    const QString file = folder + "/" + name + ".png";
    if (!QDir().mkpath(folder) || !image.save(file, "PNG")) {
      std::fprintf(stderr, "pixhaul-render-icons: cannot write %s\n", file.toLocal8Bit().data());
      return 1;
    }
  }
  return 0;
}
