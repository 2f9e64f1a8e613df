#include "app/xpsmain.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>
#include <optional>

#include "app/xpsmainPreview.h"
#include "platform/Registry.h"
#include "controls/qlxCtrls.h"
#include "platform/CodePages.h"
#include "platform/Files.h"
#include "platform/Streams.h"

namespace {

const QString kApplicationTitle = QStringLiteral("XPS to QLT converter");
const QString kCaption = QStringLiteral("Convert XPS to QuillReport");
const QString kOpenTitle = QStringLiteral("Open XML Paper Specification Document");
// OpenXPS is the standardised form of XPS that current Windows print drivers write.
const QStringList kFileTypes = {QStringLiteral("XPS Documents (*.xps)"), QStringLiteral("OpenXPS Documents (*.oxps)")};
const QString kDefaultExt = QStringLiteral("xps");
constexpr unsigned kSourceMode = fmOpenRead | fmShareExclusive;
// What the window says when the default conversion left content behind
// that the nested one converts; no log line of a run reads so.
const std::u16string kNestedContentHint =
    u"This package keeps its content where the default conversion does not look: tick \"Nested content\" and convert again.";
// The window's own choices, next to the recent fonts.
constexpr char16_t kSettingsKey[] = u"\\Software\\Quill Reports\\XPS to QLT";

// A dialog frame: a title and a close box, no resizing, no minimise or maximise box.
constexpr Qt::WindowFlags kDialogFrame =
    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

// The extension, from the name's last "." on, is ".xps" or ".oxps" exactly
// when the name ends so, which also keeps out every name of three characters
// or fewer. The comparison is exact: an upper-case ".XPS" is not taken.
bool IsAcceptedArgument(const std::u16string& name) {
    return (name.ends_with(u".xps") || name.ends_with(u".oxps")) && FileExists(name);
}

void SetPaletteColor(QWidget& widget, QPalette::ColorRole role, const QColor& color) {
    QPalette colors = widget.palette();
    colors.setColor(role, color);
    widget.setPalette(colors);
}

// N of a log line "<word>N", or "<word>N - Ok".
std::optional<int> LogLineNumber(const QString& line, const QString& word) {
    if (!line.startsWith(word)) return std::nullopt;
    bool isNumber = false;
    const int number = line.mid(word.size()).section(u' ', 0, 0).toInt(&isNumber);
    return isNumber ? std::optional(number) : std::nullopt;
}

QPushButton* CreateButton(const QString& caption, const QString& name, const QRect& bounds, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(bounds);
    return button;
}

}  // namespace

void InitializeApplication() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        SetScreenPixelsPerInch(qRound(screen->logicalDotsPerInch()));
    }
    QCoreApplication::setApplicationName(kApplicationTitle);
}

QString ApplicationTitle() { return QCoreApplication::applicationName(); }

QString TQtFileOpenDialog::Execute(QWidget* owner, const TOpenDialogRequest& request) {
    QFileDialog dialog(owner, request.Title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(request.FileTypes);
    dialog.setDefaultSuffix(request.DefaultExt);
    if (request.FileName.isEmpty()) {
        dialog.setDirectory(request.InitialDir);
    } else {
        const QFileInfo proposed(request.FileName);
        dialog.setDirectory(proposed.absolutePath());
        dialog.selectFile(proposed.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

void TQtErrorBox::ShowError(QWidget* owner, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, owner);
    box.exec();
}

// The memo's lines are its text blocks, so a wrapped long line keeps one index.
class TfmXPSConverter::TMemoLog : public IXpsLog {
public:
    explicit TMemoLog(QPlainTextEdit& memo) : memo_(memo) {}

    void Clear() override { memo_.clear(); }

    int32_t Append(const std::u16string& line) override {
        memo_.appendPlainText(QString::fromStdU16String(line));
        return memo_.document()->blockCount() - 1;
    }

    void Replace(int32_t index, const std::u16string& line) override {
        QTextCursor cursor(memo_.document()->findBlockByNumber(index));
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        cursor.insertText(QString::fromStdU16String(line));
    }

private:
    QPlainTextEdit& memo_;
};

class TfmXPSConverter::TComboFontName : public IFontNameSource {
public:
    explicit TComboFontName(const TqlxFontComboBox& combo) : combo_(combo) {}
    std::u16string FontName() const override { return combo_.Text().toStdU16String(); }

private:
    const TqlxFontComboBox& combo_;
};

TfmXPSConverter::TfmXPSConverter(const QStringList& arguments, IFileOpenDialog& openDialog, IErrorBox& errorBox,
                                 QWidget* parent)
    : QDialog(parent, kDialogFrame), openDialog_(openDialog), errorBox_(errorBox) {
    setObjectName(QStringLiteral("fmXPSConverter"));
    setWindowTitle(kCaption);
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPixelSize(11);
    setFont(tahoma);
    SetPaletteColor(*this, QPalette::Window, SystemColor(palette(), TSystemColor::BtnFace));
    setFixedSize(443, 322);
    CreateComponents();
    SetTabOrder();
    memoLog_ = std::make_unique<TMemoLog>(*Memo);
    fontName_ = std::make_unique<TComboFontName>(*qlxFontComboBox);
    converter_ = std::make_unique<TXpsConverter>(*memoLog_, *fontName_);
    converter_->OnPageDone = [this](const TXpsPageResult& page) {
        if (page.Status == TXpsPageStatus::Written) writtenPages_.push_back(page);
    };
    LoadFontList();
    FormCreate(arguments);
}

TfmXPSConverter::~TfmXPSConverter() { FormDestroy(); }

void TfmXPSConverter::CreateComponents() {
    Memo = new QPlainTextEdit(this);
    Memo->setObjectName(QStringLiteral("Memo"));
    Memo->setGeometry(0, 137, 443, 185);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->setTabChangesFocus(true);
    Memo->viewport()->installEventFilter(this);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, 443, 137);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);

    bbOpenXPS = CreateButton(QStringLiteral("Open XPS"), QStringLiteral("bbOpenXPS"), QRect(96, 51, 97, 25), Panel1);
    connect(bbOpenXPS, &QPushButton::clicked, this, &TfmXPSConverter::bbOpenXPSClick);
    bbConvert = CreateButton(QStringLiteral("Convert"), QStringLiteral("bbConvert"), QRect(224, 51, 97, 25), Panel1);
    bbConvert->setDefault(true);
    connect(bbConvert, &QPushButton::clicked, this, &TfmXPSConverter::bbConvertClick);
    bbPreview = CreateButton(QStringLiteral("Preview"), QStringLiteral("bbPreview"), QRect(352, 51, 65, 25), Panel1);
    bbPreview->setEnabled(false);
    connect(bbPreview, &QPushButton::clicked, this, &TfmXPSConverter::bbPreviewClick);

    Edit1 = new QLineEdit(Panel1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(16, 24, 401, 21);
    Edit1->setReadOnly(true);
    SetPaletteColor(*Edit1, QPalette::Base, SystemColor(Edit1->palette(), TSystemColor::BtnFace));

    qlxFontComboBox = new TqlxFontComboBox(Panel1);
    qlxFontComboBox->setObjectName(QStringLiteral("qlxFontComboBox"));
    qlxFontComboBox->setGeometry(96, 96, 225, 19);
    qlxFontComboBox->SetMRURegKey(TqlxFontComboBox::DefaultMRURegKey);
    qlxFontComboBox->SetDropDownCount(12);
    qlxFontComboBox->SetItemHeight(13);
    connect(qlxFontComboBox, &TqlxCustomComboBox::OnException, this,
            [this](const TErrorDescription& error) { ShowException(error.Message); });

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(9, 51, 81, 80);
    Image1->hide();

    cbNestedContent =
        CreateOption(QStringLiteral("Nested content"), QStringLiteral("cbNestedContent"), {96, 117}, u"NestedContent");
    cbDocumentFonts = CreateOption(QStringLiteral("Fonts of the document"), QStringLiteral("cbDocumentFonts"),
                                   {224, 117}, u"DocumentFonts");
    // Beside the font box: the row below has no room left.
    cbTextLines = CreateOption(QStringLiteral("Whole lines"), QStringLiteral("cbTextLines"), {330, 97}, u"TextLines");
}

// A store that cannot be read leaves the box clear; one that cannot be
// written is reported when the box changes.
QCheckBox* TfmXPSConverter::CreateOption(const QString& caption, const QString& name, const QPoint& at,
                                         const std::u16string& settingName) {
    auto* option = new QCheckBox(caption, Panel1);
    option->setObjectName(name);
    // Wide enough for its caption in whatever face stands in for Tahoma, and
    // at least 125 pixels where the panel has them.
    const int width = std::max(std::min(125, Panel1->width() - at.x()), option->sizeHint().width());
    option->setGeometry(at.x(), at.y(), width, 17);
    HandleErrors([&] {
        TRegistry store;
        if (store.OpenKey(kSettingsKey, false)) option->setChecked(store.ReadBool(settingName, false));
    });
    connect(option, &QCheckBox::toggled, this, [this, settingName](bool checked) {
        HandleErrors([&] {
            TRegistry store;
            store.OpenKey(kSettingsKey, true);
            store.WriteBool(settingName, checked);
        });
    });
    return option;
}

void TfmXPSConverter::SetTabOrder() {
    setTabOrder(Memo, bbOpenXPS);
    setTabOrder(bbOpenXPS, bbConvert);
    setTabOrder(bbConvert, bbPreview);
    setTabOrder(bbPreview, Edit1);
    setTabOrder(Edit1, qlxFontComboBox);
    setTabOrder(qlxFontComboBox, cbNestedContent);
    setTabOrder(cbNestedContent, cbDocumentFonts);
    setTabOrder(cbDocumentFonts, cbTextLines);
}

// A damaged or unwritable store costs the recent block, not the start.
void TfmXPSConverter::LoadFontList() {
    HandleErrors([this] { qlxFontComboBox->Loaded(); });
}

// Only the first argument counts, and a name that is not taken is ignored
// without a word: the window then simply starts with no file.
void TfmXPSConverter::FormCreate(const QStringList& arguments) {
    sourceStream_.reset();
    Edit1->clear();
    if (arguments.isEmpty()) return;
    const std::u16string name = arguments.constFirst().toStdU16String();
    try {
        if (IsAcceptedArgument(name)) {
            Edit1->setText(arguments.constFirst());
            sourceStream_ = std::make_unique<TFileStream>(name, kSourceMode);
        }
    } catch (const std::exception&) {
        Edit1->clear();
    }
}

void TfmXPSConverter::FormDestroy() { sourceStream_.reset(); }

void TfmXPSConverter::bbOpenXPSClick() {
    HandleErrors([this] {
        TOpenDialogRequest request{kOpenTitle, kFileTypes, kDefaultExt, {}, {}};
        if (Edit1->text().isEmpty()) {
            request.InitialDir = QCoreApplication::applicationDirPath();
        } else {
            request.FileName = Edit1->text();
        }
        const QString chosen = openDialog_.Execute(this, request);
        if (chosen.isEmpty()) return;
        Edit1->setText(chosen);
        OpenSource(chosen);
        Memo->clear();
        ForgetWrittenPages();
    });
}

// The file held so far goes first, so a failed open leaves none held.
void TfmXPSConverter::OpenSource(const QString& fileName) {
    sourceStream_.reset();
    sourceStream_ = std::make_unique<TFileStream>(fileName.toStdU16String(), kSourceMode);
}

void TfmXPSConverter::bbConvertClick() {
    HandleErrors([this] {
        converter_->Nested = cbNestedContent->isChecked();
        converter_->DocumentFonts = cbDocumentFonts->isChecked();
        converter_->TextLines = cbTextLines->isChecked();
        ForgetWrittenPages();
        const TXpsRunOutcome outcome = converter_->Convert(sourceStream_.get());
        bbPreview->setEnabled(!writtenPages_.empty());
        ShowOutcome(outcome);
    });
}

// The hint goes with the error that ended the run, or after the log's last line.
void TfmXPSConverter::ShowOutcome(const TXpsRunOutcome& outcome) {
    const bool hint = outcome.NestedModeWouldHelp();
    if (outcome.Error) {
        const std::u16string text = ErrorBoxText(outcome.Error->Message);
        errorBox_.ShowError(this, ApplicationTitle(),
                            QString::fromStdU16String(hint ? text + u"\n\n" + kNestedContentHint : text));
    } else if (hint) {
        memoLog_->Append(kNestedContentHint);
    }
}

void TfmXPSConverter::bbPreviewClick() { OpenPreview(0); }

void TfmXPSConverter::OpenPreview(int row) {
    delete preview_;
    preview_ = new TfmTemplatePreview(writtenPages_, row, this);
    preview_->show();
}

bool TfmXPSConverter::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Memo->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        const int row = WrittenPageAt(Memo->cursorForPosition(at).block());
        if (row >= 0) {
            OpenPreview(row);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// The log names a page "PageN - Ok" below its document's "DocM".
int TfmXPSConverter::WrittenPageAt(QTextBlock block) const {
    const std::optional<int> page = LogLineNumber(block.text(), QStringLiteral("Page"));
    if (!page) return -1;
    for (block = block.previous(); block.isValid(); block = block.previous()) {
        const std::optional<int> document = LogLineNumber(block.text(), QStringLiteral("Doc"));
        if (!document) continue;
        const auto written = std::find_if(writtenPages_.begin(), writtenPages_.end(), [&](const TXpsPageResult& p) {
            return p.Document == *document && p.Page == *page;
        });
        return written == writtenPages_.end() ? -1 : static_cast<int>(written - writtenPages_.begin());
    }
    return -1;
}

// What a run wrote is no longer offered once another file or run comes.
void TfmXPSConverter::ForgetWrittenPages() {
    writtenPages_.clear();
    bbPreview->setEnabled(false);
    delete preview_;
}

// Escape would close a dialog; this window stays until it is closed.
void TfmXPSConverter::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfmXPSConverter::HandleErrors(const std::function<void()>& handler) {
    try {
        handler();
    } catch (...) {
        ShowException(DescribeCurrentError().Message);
    }
}

void TfmXPSConverter::ShowException(const std::u16string& message) {
    errorBox_.ShowError(this, ApplicationTitle(), QString::fromStdU16String(ErrorBoxText(message)));
}
