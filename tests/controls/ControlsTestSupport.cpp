#include "ControlsTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QPalette TestPalette() {
    QPalette palette;
    palette.setColor(QPalette::Button, QColor("#d4d0c8"));
    palette.setColor(QPalette::Dark, QColor("#808080"));
    palette.setColor(QPalette::ButtonText, QColor("#101010"));
    palette.setColor(QPalette::WindowText, QColor("#202080"));
    palette.setColor(QPalette::Text, QColor("#000000"));
    palette.setColor(QPalette::Base, QColor("#ffffff"));
    palette.setColor(QPalette::Highlight, QColor("#3168d5"));
    palette.setColor(QPalette::HighlightedText, QColor("#fffff0"));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor("#a0a0a0"));
    return palette;
}

QColor PixelAt(const QImage& image, int x, int y) { return QColor(image.pixel(x, y)); }

void WriteTextFile(const QString& fileName, const QByteArray& text) {
    QDir().mkpath(QFileInfo(fileName).path());
    QFile file(fileName);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(text);
}

QByteArray ReadTextFile(const QString& fileName) {
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
