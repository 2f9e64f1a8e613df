#include "WindowTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>

#include "platform/Exceptions.h"
#include "platform/Streams.h"
#include "tests/support/TestXpsPackage.h"

QString TTestDialogs::Execute(QWidget*, const TOpenDialogRequest& request) {
    Requests << request;
    return Answers.isEmpty() ? QString() : Answers.takeFirst();
}

void TTestDialogs::ShowError(QWidget*, const QString& title, const QString& text) {
    ErrorTitles << title;
    ErrorTexts << text;
}

QString TTestFolder::Write(const QString& name, const QByteArray& bytes) const {
    const QString path = Path(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
    return path;
}

QByteArray TTestFolder::Read(const QString& name) const {
    QFile file(Path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::unique_ptr<TfmXPSConverter> CreateWindow(TTestDialogs& dialogs, const QStringList& arguments) {
    return std::make_unique<TfmXPSConverter>(arguments, dialogs, dialogs);
}

QStringList MemoLines(const TfmXPSConverter& window) {
    const QString text = window.Memo->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(u'\n');
}

bool CanOpenExclusively(const QString& fileName) {
    try {
        TFileStream stream(fileName.toStdU16String(), fmOpenRead | fmShareExclusive);
        return true;
    } catch (const EFOpenError&) {
        return false;
    }
}

QByteArray XpsPackage(int pages) {
    std::vector<std::string> contents;
    for (int page = 1; page <= pages; ++page)
        contents.push_back(PageWith("<Glyphs OriginX=\"96\" OriginY=\"120\" FontRenderingEmSize=\"16\" Fill=\"#FF000000\""
                                    " UnicodeString=\"Invoice page " + std::to_string(page) + "\"/>"
                                    "<Path Stroke=\"#FF000000\" Data=\"F1 M 96,130 L 720,130\"/>"));
    const std::string bytes = PackageBytes(OneDocument(contents), 8);
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString StoreFileName() { return qEnvironmentVariable("XDG_CONFIG_HOME") + "/QuillReports/registry.ini"; }
