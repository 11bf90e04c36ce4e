// Renders the hand-drawn SVG icons of this folder to 48x48 PNGs one level up, or one icon at a
// given size (the program's icon for the desktop). Run once after changing an icon; the PNGs are
// committed, so the build does not need this tool:
//   g++ -fPIC render_icons.cpp $(pkg-config --cflags --libs Qt5Svg Qt5Gui) -o /tmp/render_icons
//   QT_QPA_PLATFORM=offscreen /tmp/render_icons resources/img/src resources/img
//   QT_QPA_PLATFORM=offscreen /tmp/render_icons resources/img/src/zenta-oprch.svg 128 resources/icons/128.png
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

static bool Render(const QString &svg, int size, const QString &png) {
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "invalid SVG: %s\n", qPrintable(svg));
        return false;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    if (!image.save(png)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(png));
        return false;
    }
    return true;
}

int main(int argc, char *argv[]) {
    QGuiApplication app(argc, argv);
    if (argc == 4)
        return Render(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]).toInt(),
                      QString::fromLocal8Bit(argv[3]))
                   ? 0
                   : 1;
    if (argc != 3) {
        std::fprintf(stderr, "usage: render_icons SVG_DIR PNG_DIR | render_icons FILE.svg SIZE FILE.png\n");
        return 2;
    }
    const QDir source(QString::fromLocal8Bit(argv[1]));
    const QDir target(QString::fromLocal8Bit(argv[2]));
    int failures = 0;
    for (const QString &name : source.entryList({"*.svg"}, QDir::Files, QDir::Name)) {
        const QString png = target.filePath(QFileInfo(name).completeBaseName() + ".png");
        failures += !Render(source.filePath(name), 48, png);
    }
    return failures == 0 ? 0 : 1;
}
