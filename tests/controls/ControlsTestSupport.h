#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QPalette>
#include <QString>

#include "tests/support/TestConfigHome.h"

// Points the current user's store at a fresh temporary folder while it lives.
class TTempConfigHome : public TTestConfigHome {
public:
    QString Path() const { return QString::fromStdString(Dir()); }
    QString StoreFile() const { return QString::fromStdString(TTestConfigHome::StoreFile()); }
};

// A palette whose colours all differ, so a pixel tells which colour drew it.
QPalette TestPalette();

QColor PixelAt(const QImage& image, int x, int y);

void WriteTextFile(const QString& fileName, const QByteArray& text);
QByteArray ReadTextFile(const QString& fileName);

int RunFlatComboTests(int argc, char** argv);
int RunFontComboTests(int argc, char** argv);
