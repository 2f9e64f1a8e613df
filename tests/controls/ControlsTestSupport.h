#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QPalette>
#include <QString>
#include <QTemporaryDir>

// Points the current user's store at a fresh temporary folder while it lives.
class TTempConfigHome {
public:
    TTempConfigHome();
    ~TTempConfigHome();
    TTempConfigHome(const TTempConfigHome&) = delete;
    TTempConfigHome& operator=(const TTempConfigHome&) = delete;

    QString Path() const { return dir_.path(); }
    QString StoreFile() const { return dir_.path() + QStringLiteral("/QuillReports/registry.ini"); }

private:
    QTemporaryDir dir_;
    QByteArray previous_;
    bool hadPrevious_;
};

// Counts the saves of the files in a folder while it lives: a save renames a
// new file into place.
class TSaveCounter {
public:
    explicit TSaveCounter(const QString& folder);
    ~TSaveCounter();
    Q_DISABLE_COPY(TSaveCounter)
    int Count();

private:
    int watch_;
    int count_ = 0;
};

// A palette whose colours all differ, so a pixel tells which colour drew it.
QPalette TestPalette();

QColor PixelAt(const QImage& image, int x, int y);

void WriteTextFile(const QString& fileName, const QByteArray& text);
QByteArray ReadTextFile(const QString& fileName);

int RunRegistryTests(int argc, char** argv);
int RunFlatComboTests(int argc, char** argv);
int RunFontComboTests(int argc, char** argv);
