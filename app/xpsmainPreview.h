#pragma once

#include <QDialog>

#include <vector>

#include "convert/XpsPageTranslation.h"

class QLabel;
class QListWidget;
class QRadioButton;
class QScrollArea;
class QSvgRenderer;

// The preview of a run's templates: the pages written, by document and page
// number, and the picture of the one chosen, fit to the window or at 100 %,
// with the counts of its text and line objects. Each picture is drawn from
// its template when it is chosen.
class TfmTemplatePreview : public QDialog {
    Q_OBJECT

public:
    // pages: those the run wrote templates for, in the order it wrote them;
    // chosen: the row of the one shown first.
    TfmTemplatePreview(std::vector<TXpsPageResult> pages, int chosen, QWidget* parent);
    ~TfmTemplatePreview() override;

    QListWidget* lbPages;
    QScrollArea* sbPicture;
    QRadioButton* rbFitToWindow;
    QRadioButton* rbActualSize;
    QLabel* lbCounts;

    // The picture of the chosen page; null when none could be drawn.
    const QSvgRenderer* Picture() const;
    // Where the picture is drawn inside the scroll area.
    QWidget* PictureView() const;

private:
    class TPictureView;

    void CreateComponents();
    void ShowPage(int row);
    void ApplyZoom();

    std::vector<TXpsPageResult> pages_;
    TPictureView* view_;
};
