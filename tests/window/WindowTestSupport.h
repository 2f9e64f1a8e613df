#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

#include "app/xpsmain.h"

// Answers the open dialog from a list and keeps what the error box was asked to show.
class TTestDialogs : public IFileOpenDialog, public IErrorBox {
public:
    QStringList Answers;  // one per dialog, taken in turn; an empty one or none cancels
    QList<TOpenDialogRequest> Requests;
    QStringList ErrorTitles;
    QStringList ErrorTexts;

    QString Execute(QWidget* owner, const TOpenDialogRequest& request) override;
    void ShowError(QWidget* owner, const QString& title, const QString& text) override;
};

// A fresh folder, removed with the fixture.
class TTestFolder {
public:
    QString Path(const QString& name) const { return dir_.filePath(name); }
    // Creates the file (and its folders) and returns its path.
    QString Write(const QString& name, const QByteArray& bytes) const;
    QByteArray Read(const QString& name) const;

private:
    QTemporaryDir dir_;
};

std::unique_ptr<TfmXPSConverter> CreateWindow(TTestDialogs& dialogs, const QStringList& arguments = {});

// The memo's lines; none when it is empty.
QStringList MemoLines(const TfmXPSConverter& window);

// Whether another exclusive reader could open the file now.
bool CanOpenExclusively(const QString& fileName);

// An XPS package with one fixed document of the given pages, each holding one
// text run and one stroked line.
QByteArray XpsPackage(int pages);

// The store of recent fonts the tests' current user has.
QString StoreFileName();

int RunWindowLayoutTests(int argc, char** argv);
int RunWindowFileTests(int argc, char** argv);
int RunWindowConvertTests(int argc, char** argv);
