#include "app/xpsmainPreview.h"

#include <QBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QRadioButton>
#include <QScrollArea>
#include <QSvgRenderer>

#include <algorithm>
#include <memory>

#include "template/TemplatePicture.h"

namespace {

// Grey around the paper, as a print preview shows it.
constexpr int kMargin = 8;
constexpr int kPageListWidth = 150;

QString CountText(int32_t count, const QString& what) {
    return QStringLiteral("%1 %2 object%3").arg(count).arg(what).arg(count == 1 ? "" : "s");
}

}  // namespace

// The paper in the middle of the view: fit to it, or at its own size with the
// view as large as the paper.
class TfmTemplatePreview::TPictureView : public QWidget {
public:
    explicit TPictureView(QWidget* parent) : QWidget(parent) {}

    std::unique_ptr<QSvgRenderer> Renderer;  // none when no picture could be drawn
    bool Fit = true;

    QSize PaperSize() const { return Renderer ? Renderer->defaultSize() : QSize(); }

protected:
    void paintEvent(QPaintEvent*) override {
        if (!Renderer) return;
        const QRectF room = rect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
        QSizeF paper = PaperSize();
        if (Fit) paper.scale(room.size(), Qt::KeepAspectRatio);
        const QPointF corner(room.left() + std::max(0.0, (room.width() - paper.width()) / 2), room.top());
        QPainter painter(this);
        Renderer->render(&painter, QRectF(corner, paper));
    }
};

TfmTemplatePreview::TfmTemplatePreview(std::vector<TXpsPageResult> pages, int chosen, QWidget* parent)
    : QDialog(parent, Qt::Window), pages_(std::move(pages)) {
    setObjectName(QStringLiteral("fmTemplatePreview"));
    setWindowTitle(QStringLiteral("Preview of the templates"));
    // The converter window's font and colours.
    setAttribute(Qt::WA_WindowPropagation);
    setSizeGripEnabled(true);
    resize(760, 560);
    CreateComponents();
    for (const TXpsPageResult& page : pages_)
        lbPages->addItem(QStringLiteral("Document %1, page %2").arg(page.Document).arg(page.Page));
    connect(lbPages, &QListWidget::currentRowChanged, this, &TfmTemplatePreview::ShowPage);
    connect(rbFitToWindow, &QRadioButton::toggled, this, &TfmTemplatePreview::ApplyZoom);
    lbPages->setCurrentRow(chosen);
}

TfmTemplatePreview::~TfmTemplatePreview() = default;

const QSvgRenderer* TfmTemplatePreview::Picture() const { return view_->Renderer.get(); }

QWidget* TfmTemplatePreview::PictureView() const { return view_; }

void TfmTemplatePreview::CreateComponents() {
    lbPages = new QListWidget(this);
    lbPages->setObjectName(QStringLiteral("lbPages"));
    lbPages->setFixedWidth(kPageListWidth);

    view_ = new TPictureView(this);
    sbPicture = new QScrollArea(this);
    sbPicture->setObjectName(QStringLiteral("sbPicture"));
    sbPicture->setBackgroundRole(QPalette::Dark);
    sbPicture->setWidget(view_);
    sbPicture->setWidgetResizable(true);

    rbFitToWindow = new QRadioButton(QStringLiteral("Fit to window"), this);
    rbFitToWindow->setObjectName(QStringLiteral("rbFitToWindow"));
    rbFitToWindow->setChecked(true);
    rbActualSize = new QRadioButton(QStringLiteral("100 %"), this);
    rbActualSize->setObjectName(QStringLiteral("rbActualSize"));
    lbCounts = new QLabel(this);
    lbCounts->setObjectName(QStringLiteral("lbCounts"));

    auto* zoom = new QHBoxLayout;
    zoom->addWidget(rbFitToWindow);
    zoom->addWidget(rbActualSize);
    zoom->addStretch();
    zoom->addWidget(lbCounts);
    auto* right = new QVBoxLayout;
    right->addWidget(sbPicture, 1);
    right->addLayout(zoom);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(lbPages);
    layout->addLayout(right, 1);
}

// A template that cannot be drawn (removed since, say) shows no picture, and
// the error where the counts would stand.
void TfmTemplatePreview::ShowPage(int row) {
    view_->Renderer.reset();
    if (row < 0 || static_cast<size_t>(row) >= pages_.size()) return;
    try {
        const TTemplatePicture picture(pages_[static_cast<size_t>(row)].TemplateName);
        view_->Renderer = std::make_unique<QSvgRenderer>(QByteArray::fromStdString(picture.Svg()));
        lbCounts->setText(CountText(picture.TextCount(), QStringLiteral("text")) + QStringLiteral(", ") +
                          CountText(picture.LineCount(), QStringLiteral("line")));
    } catch (...) {
        lbCounts->setText(QString::fromStdU16String(DescribeCurrentError().Message));
    }
    ApplyZoom();
}

void TfmTemplatePreview::ApplyZoom() {
    view_->Fit = rbFitToWindow->isChecked();
    sbPicture->setWidgetResizable(view_->Fit);
    if (!view_->Fit) view_->resize(view_->PaperSize() + QSize(2 * kMargin, 2 * kMargin));
    view_->update();
}
