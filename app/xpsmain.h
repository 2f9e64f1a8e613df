#pragma once

#include <QDialog>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "convert/XpsConverter.h"

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTextBlock;
class QPushButton;
class TFileStream;
class TqlxFontComboBox;

// What the open dialog is set up with.
struct TOpenDialogRequest {
    QString Title;
    QStringList FileTypes;  // each with its mask, "Name (*.ext)"; the first is chosen at start
    QString DefaultExt;     // without the "."
    QString InitialDir;     // where the dialog starts when no file name is proposed
    QString FileName;       // the file name proposed, or empty
};

// How the window asks for a file: the platform's dialog, or a test's answer.
class IFileOpenDialog {
public:
    virtual ~IFileOpenDialog() = default;
    // The confirmed file's name, or an empty string when the user cancels.
    virtual QString Execute(QWidget* owner, const TOpenDialogRequest& request) = 0;
};

// How the application shows an error: a message box, or a test's record of it.
class IErrorBox {
public:
    virtual ~IErrorBox() = default;
    virtual void ShowError(QWidget* owner, const QString& title, const QString& text) = 0;
};

class TQtFileOpenDialog : public IFileOpenDialog {
public:
    QString Execute(QWidget* owner, const TOpenDialogRequest& request) override;
};

// A modal box with the error icon and an OK button.
class TQtErrorBox : public IErrorBox {
public:
    void ShowError(QWidget* owner, const QString& title, const QString& text) override;
};

// The start-up steps before the main window, once the application object
// exists: the measuring engine learns the screen's logical pixels per inch,
// and the application gets its title.
void InitializeApplication();
QString ApplicationTitle();

// The main window: choose an .xps or .oxps file, choose the font family, convert.
class TfmXPSConverter : public QDialog {
    Q_OBJECT

public:
    // arguments are the command line's, without the program's own name.
    TfmXPSConverter(const QStringList& arguments, IFileOpenDialog& openDialog, IErrorBox& errorBox,
                    QWidget* parent = nullptr);
    ~TfmXPSConverter() override;

    QPlainTextEdit* Memo;
    QFrame* Panel1;
    QPushButton* bbOpenXPS;
    QPushButton* bbConvert;
    // Opens the preview of the templates the last run wrote; enabled once a run wrote some.
    QPushButton* bbPreview;
    QLineEdit* Edit1;
    TqlxFontComboBox* qlxFontComboBox;
    QLabel* Image1;
    // The conversion's options, kept in the settings store.
    QCheckBox* cbNestedContent;
    QCheckBox* cbDocumentFonts;
    QCheckBox* cbTextLines;

    TZipArchiver& ZipArchiverXPS() { return converter_->Package.Archive(); }
    // The chosen file while it is held open, or nullptr.
    const TFileStream* SourceStream() const { return sourceStream_.get(); }

    void bbOpenXPSClick();
    void bbConvertClick();
    void bbPreviewClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // A double click on a page's log line opens the preview at that page.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class TMemoLog;
    class TComboFontName;

    void CreateComponents();
    void SetTabOrder();
    void LoadFontList();
    // A check box of the panel whose state the settings store keeps under settingName.
    QCheckBox* CreateOption(const QString& caption, const QString& name, const QPoint& at,
                            const std::u16string& settingName);
    void FormCreate(const QStringList& arguments);
    void FormDestroy();
    void OpenSource(const QString& fileName);
    void ForgetWrittenPages();
    void OpenPreview(int row);
    // The row of the written page whose log line is block; -1 when it wrote none.
    int WrittenPageAt(QTextBlock block) const;
    // The error that ended a run, and whether the nested mode would convert more.
    void ShowOutcome(const TXpsRunOutcome& outcome);
    // Runs a handler; what it raises goes to the application's error box.
    void HandleErrors(const std::function<void()>& handler);
    void ShowException(const std::u16string& message);

    IFileOpenDialog& openDialog_;
    IErrorBox& errorBox_;
    std::unique_ptr<TMemoLog> memoLog_;
    std::unique_ptr<TComboFontName> fontName_;
    std::unique_ptr<TXpsConverter> converter_;
    std::unique_ptr<TFileStream> sourceStream_;
    // The pages the last run wrote templates for, and their preview while it is open.
    std::vector<TXpsPageResult> writtenPages_;
    QPointer<QDialog> preview_;
};
