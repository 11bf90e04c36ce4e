// Renders the hand-drawn SVG icons of this folder to 48x48 PNGs one level up. Run once after
// changing an icon; the PNGs are committed, so the build does not need this tool:
//   g++ -fPIC render_icons.cpp $(pkg-config --cflags --libs Qt5Svg Qt5Gui) -o /tmp/render_icons
//   QT_QPA_PLATFORM=offscreen /tmp/render_icons resources/img/src resources/img
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char *argv[]) {
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: render_icons SVG_DIR PNG_DIR\n");
        return 2;
    }
    const QDir source(QString::fromLocal8Bit(argv[1]));
    const QDir target(QString::fromLocal8Bit(argv[2]));
    int failures = 0;
    for (const QString &name : source.entryList({"*.svg"}, QDir::Files, QDir::Name)) {
        QSvgRenderer renderer(source.filePath(name));
        if (!renderer.isValid()) {
            std::fprintf(stderr, "invalid SVG: %s\n", qPrintable(name));
            ++failures;
            continue;
        }
        QImage image(48, 48, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        const QString png = target.filePath(QFileInfo(name).completeBaseName() + ".png");
        if (!image.save(png)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(png));
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
