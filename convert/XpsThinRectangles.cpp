#include "convert/XpsThinRectangles.h"

#include <algorithm>
#include <tuple>

#include "template/crtqlt.h"

namespace {

// "At most a pixel apart", with room for the last bits a transform leaves.
constexpr long double kMaxGap = 1;
constexpr long double kSlack = 1e-7L;

// A rectangle seen along its length (Start to End) and across it (Low to High).
struct TOriented {
    int32_t Color;
    bool Upright;
    long double Start, End, Low, High;
    size_t Index;
};

TOriented Orient(int32_t color, const TXpsRect& r, size_t index) {
    if (r.Width() >= r.Height()) return {color, false, r.Left, r.Right, r.Top, r.Bottom, index};
    return {color, true, r.Top, r.Bottom, r.Left, r.Right, index};
}

// Counts kept at positions 0..n-1: add at one, sum up to one.
class TFenwick {
public:
    explicit TFenwick(size_t size) : sums_(size + 1) {}

    void Add(size_t at, int32_t delta) {
        for (size_t i = at + 1; i < sums_.size(); i += i & (~i + 1)) sums_[i] += delta;
    }
    // The sum over positions 0..at-1.
    int32_t SumBefore(size_t at) const {
        int32_t sum = 0;
        for (size_t i = at; i > 0; i -= i & (~i + 1)) sum += sums_[i];
        return sum;
    }

private:
    std::vector<int32_t> sums_;
};

// Spans along the length of a group's rectangles, on the elementary pieces
// between the group's own end points: which of those spans overlap a span.
class TSpans {
public:
    explicit TSpans(const std::vector<TOriented>& group) {
        for (const TOriented& r : group) ends_.insert(ends_.end(), {r.Start, r.End});
        std::sort(ends_.begin(), ends_.end());
        ends_.erase(std::unique(ends_.begin(), ends_.end()), ends_.end());
        starts_ = TFenwick(ends_.size());
        cover_ = TFenwick(ends_.size());
    }

    void Add(const TOriented& r, int32_t delta) {
        starts_.Add(Piece(r.Start), delta);
        cover_.Add(Piece(r.Start), delta);
        cover_.Add(Piece(r.End), -delta);
    }

    // A span overlapping r for some length starts within it or covers its first piece.
    bool Overlap(const TOriented& r) const {
        const size_t first = Piece(r.Start);
        return starts_.SumBefore(Piece(r.End)) > starts_.SumBefore(first) || cover_.SumBefore(first + 1) > 0;
    }

private:
    size_t Piece(long double end) const {
        return static_cast<size_t>(std::lower_bound(ends_.begin(), ends_.end(), end) - ends_.begin());
    }

    std::vector<long double> ends_;
    TFenwick starts_{0};
    TFenwick cover_{0};
};

// Sweeps across the group: each rectangle is present while the sweep runs
// from presentFrom(r) to presentTo(r), and asks at ask(r) whether a present
// one overlaps it along its length. Marks the rectangles whose answer is yes.
template <typename PresentFrom, typename PresentTo, typename Ask>
void MarkAnswered(const std::vector<TOriented>& group, PresentFrom presentFrom, PresentTo presentTo, Ask ask,
                  std::vector<bool>& marks) {
    enum : int { kArrive, kAsk, kDepart };  // at one place, in this order
    std::vector<std::tuple<long double, int, size_t>> events;
    for (size_t i = 0; i < group.size(); ++i) {
        const TOriented& r = group[i];
        events.insert(events.end(), {{presentFrom(r), kArrive, i}, {ask(r), kAsk, i}, {presentTo(r), kDepart, i}});
    }
    std::sort(events.begin(), events.end());
    TSpans present(group);
    for (const auto& [place, kind, i] : events) {
        if (kind == kAsk) {
            if (present.Overlap(group[i])) marks[group[i].Index] = true;
        } else {
            present.Add(group[i], kind == kArrive ? 1 : -1);
        }
    }
}

// b follows a across when b.Low - a.High lies in [0, kMaxGap]: one sweep
// marks every a with such a b, the other every b with such an a.
void MarkTouching(const std::vector<TOriented>& group, std::vector<bool>& marks) {
    const auto low = [](const TOriented& r) { return r.Low; };
    const auto high = [](const TOriented& r) { return r.High; };
    const auto lowFrom = [](const TOriented& b) { return b.Low - kMaxGap - kSlack; };
    const auto lowTo = [](const TOriented& b) { return b.Low + kSlack; };
    const auto highFrom = [](const TOriented& a) { return a.High - kSlack; };
    const auto highTo = [](const TOriented& a) { return a.High + kMaxGap + kSlack; };
    MarkAnswered(group, lowFrom, lowTo, high, marks);
    MarkAnswered(group, highFrom, highTo, low, marks);
}

bool SameGroup(const TOriented& a, const TOriented& b) { return a.Color == b.Color && a.Upright == b.Upright; }

// Which rectangles touch another of their colour and direction.
std::vector<bool> MarkRows(std::vector<TOriented> rectangles) {
    std::vector<bool> marks(rectangles.size());
    std::sort(rectangles.begin(), rectangles.end(),
              [](const TOriented& a, const TOriented& b) { return std::tie(a.Color, a.Upright) < std::tie(b.Color, b.Upright); });
    for (auto first = rectangles.begin(); first != rectangles.end();) {
        const auto last = std::find_if(first, rectangles.end(), [&](const TOriented& r) { return !SameGroup(r, *first); });
        MarkTouching(std::vector<TOriented>(first, last), marks);
        first = last;
    }
    return marks;
}

}  // namespace

void TXpsThinRectangles::AddText(const TXpsTextRun& run) {
    if (!Holding()) return next_.AddText(run);
    texts_.push_back(run);
    ++heldObjects_;
    Hold(TKind::Text, texts_.size() - 1);
}

void TXpsThinRectangles::AddLine(int32_t color, const TXpsLine& line) {
    if (!Holding()) return next_.AddLine(color, line);
    lines_.push_back({color, line});
    if (color != kInvisibleLineColor) ++heldObjects_;
    Hold(TKind::Line, lines_.size() - 1);
}

void TXpsThinRectangles::PathDone(const TqlxXMLItem& path) {
    if (!Holding()) return next_.PathDone(path);
    paths_.push_back(&path);
    Hold(TKind::Path, paths_.size() - 1);
}

void TXpsThinRectangles::AddRectangle(int32_t color, const TXpsRect& rectangle) {
    if (gaveUp_) return next_.AddLine(color, CentreLineOf(rectangle));
    rectangles_.push_back({color, rectangle});
    Hold(TKind::Rectangle, rectangles_.size() - 1);
}

void TXpsThinRectangles::Hold(TKind kind, size_t index) {
    order_.emplace_back(kind, index);
    if (heldObjects_ <= maxObjects_) return;
    Release();
    gaveUp_ = true;
}

void TXpsThinRectangles::Release() {
    std::vector<TOriented> oriented;
    for (size_t i = 0; i < rectangles_.size(); ++i) oriented.push_back(Orient(rectangles_[i].Color, rectangles_[i].Rect, i));
    const std::vector<bool> inPicture = MarkRows(std::move(oriented));
    std::vector<std::pair<TKind, size_t>> order = std::move(order_);
    order_.clear();
    for (const auto& [kind, i] : order) {
        switch (kind) {
            case TKind::Text: next_.AddText(texts_[i]); break;
            case TKind::Line: next_.AddLine(lines_[i].Color, lines_[i].Line); break;
            case TKind::Path: next_.PathDone(*paths_[i]); break;
            case TKind::Rectangle:
                if (!inPicture[i]) next_.AddLine(rectangles_[i].Color, CentreLineOf(rectangles_[i].Rect));
                break;
        }
    }
    texts_.clear();
    lines_.clear();
    paths_.clear();
    rectangles_.clear();
    heldObjects_ = 0;
}
