#include "convert/XpsGeometry.h"

#include <algorithm>
#include <cmath>

#include "convert/XpsValues.h"
#include "platform/CodePages.h"
#include "platform/Exceptions.h"
#include "xml/qlxXML.h"

namespace {

// Two mapped coordinates this close are one: transforms such as 4/3 leave
// the last bits of equal coordinates apart.
constexpr long double kSameCoordinate = 1e-6L;

// Reads numbers and command letters off path data or a point list. Numbers
// end where the XPS number grammar ends, so "1-2" is two numbers and a
// command letter may follow a number directly.
class TPathScanner {
public:
    explicit TPathScanner(std::u16string_view text) : text_(text) {}

    bool AtEnd() {
        SkipSeparators();
        return at_ == text_.size();
    }

    // The next letter, consumed; 0 when something else comes next.
    char16_t Letter() {
        SkipSeparators();
        if (at_ == text_.size()) return 0;
        const char16_t ch = text_[at_];
        if (!((ch >= u'A' && ch <= u'Z') || (ch >= u'a' && ch <= u'z'))) return 0;
        ++at_;
        return ch;
    }

    bool NextIs(char16_t ch) {
        SkipSeparators();
        return at_ < text_.size() && text_[at_] == ch;
    }

    // False, consuming nothing, when no number comes next.
    bool ReadNumber(long double& value) {
        SkipSeparators();
        const size_t length = XpsNumberLength(text_.substr(at_));
        if (length == 0) return false;
        value = XpsStrToFloat(text_.substr(at_, length));
        at_ += length;
        return true;
    }

    // count numbers, or none of them when fewer follow.
    bool ReadNumbers(long double* values, size_t count) {
        const size_t start = at_;
        for (size_t i = 0; i < count; ++i) {
            if (ReadNumber(values[i])) continue;
            at_ = start;
            return false;
        }
        return true;
    }

private:
    void SkipSeparators() {
        while (at_ < text_.size() && (IsXmlBlank(text_[at_]) || text_[at_] == u',')) ++at_;
    }

    std::u16string_view text_;
    size_t at_ = 0;
};

// Turns the commands of a geometry into figures as they arrive.
class TFigureBuilder {
public:
    explicit TFigureBuilder(IXpsFigureSink& sink) : sink_(sink) {}

    const TXpsPoint& Current() const { return current_; }

    void MoveTo(TXpsPoint point) {
        sink_.StartFigure(point);
        start_ = point;
        open_ = true;
        current_ = point;
    }

    void StepTo(TXpsPoint point, bool straight, bool stroked = true) {
        // Drawing on after a close starts a new figure where the closed one began.
        if (!open_) MoveTo(current_);
        sink_.AddStep({point, straight, stroked});
        current_ = point;
    }

    void Close() {
        if (!open_) return;
        sink_.CloseFigure();
        current_ = start_;
        open_ = false;
    }

private:
    IXpsFigureSink& sink_;
    TXpsPoint start_;
    TXpsPoint current_;
    bool open_ = false;
};

// Keeps the figures it gets.
class TGeometryBuilder : public IXpsFigureSink {
public:
    void StartFigure(TXpsPoint start) override { geometry_.push_back({start, {}, false}); }
    void AddStep(const TXpsFigure::TStep& step) override { geometry_.back().Steps.push_back(step); }
    void CloseFigure() override { geometry_.back().Closed = true; }

    TXpsGeometry Take() { return std::move(geometry_); }

private:
    TXpsGeometry geometry_;
};

// How many numbers one group of a command takes, and where the group's end
// point stands among them; 0 for a letter that is no command.
struct TCommandShape {
    size_t Numbers = 0;
    size_t EndX = 0;
};

TCommandShape ShapeOf(char16_t upper) {
    switch (upper) {
        case u'M': case u'L': case u'T': return {2, 0};
        case u'H': case u'V': return {1, 0};
        case u'Q': case u'S': return {4, 2};
        case u'C': return {6, 4};
        case u'A': return {7, 5};
        default: return {};
    }
}

char16_t ToUpper(char16_t ch) { return ch >= u'a' && ch <= u'z' ? static_cast<char16_t>(ch - 32) : ch; }

// One group of numbers of a command, applied to the figures.
void ApplyGroup(TFigureBuilder& figures, char16_t command, const long double* numbers, const TCommandShape& shape) {
    const char16_t upper = ToUpper(command);
    const bool relative = command != upper;
    const TXpsPoint from = figures.Current();
    if (upper == u'H') {
        figures.StepTo({relative ? from.X + numbers[0] : numbers[0], from.Y}, true);
        return;
    }
    if (upper == u'V') {
        figures.StepTo({from.X, relative ? from.Y + numbers[0] : numbers[0]}, true);
        return;
    }
    TXpsPoint end{numbers[shape.EndX], numbers[shape.EndX + 1]};
    if (relative) end = {from.X + end.X, from.Y + end.Y};
    if (upper == u'M') figures.MoveTo(end);
    else figures.StepTo(end, upper == u'L');
}

// A point list of a PathFigure or a segment: pairs of numbers and nothing
// else. Each point goes to take as it is read; returns the last.
template <typename Take>
TXpsPoint ReadPoints(std::u16string_view text, Take take) {
    TPathScanner scanner(text);
    TXpsPoint point;
    bool any = false;
    long double pair[2];
    while (scanner.ReadNumbers(pair, 2)) {
        point = {pair[0], pair[1]};
        take(point);
        any = true;
    }
    if (!scanner.AtEnd() || !any) RaiseInvalidXpsNumber(text);
    return point;
}

TXpsPoint ReadLastPoint(std::u16string_view text) {
    return ReadPoints(text, [](TXpsPoint) {});
}

bool Near(long double a, long double b) { return std::fabs(a - b) <= kSameCoordinate; }
bool SamePlace(TXpsPoint a, TXpsPoint b) { return Near(a.X, b.X) && Near(a.Y, b.Y); }

// Four corners whose sides alternate between horizontal and vertical, none of them a point.
bool IsAxisAlignedRectangle(const std::vector<TXpsPoint>& corners) {
    bool previousHorizontal = false;
    for (size_t i = 0; i < corners.size(); ++i) {
        const TXpsPoint a = corners[i];
        const TXpsPoint b = corners[(i + 1) % corners.size()];
        const bool horizontal = Near(a.Y, b.Y) && !Near(a.X, b.X);
        const bool vertical = Near(a.X, b.X) && !Near(a.Y, b.Y);
        if (horizontal == vertical || (i > 0 && horizontal == previousHorizontal)) return false;
        previousHorizontal = horizontal;
    }
    return true;
}

// The default mode cuts its path data at single blanks.
std::u16string_view FirstToken(std::u16string_view data) { return data.substr(0, data.find(u' ')); }

void DropFirstToken(std::u16string_view& data) {
    const size_t blank = data.find(u' ');
    data = blank == std::u16string_view::npos ? std::u16string_view() : data.substr(blank + 1);
}

void DropChars(std::u16string_view& data, size_t count) { data.remove_prefix(std::min(count, data.size())); }

// "x,y"; a token without "," has an empty x part, which fails as a number.
TXpsPoint ReadTokenPoint(std::u16string_view token) {
    const size_t comma = token.find(u',');
    const bool hasComma = comma != std::u16string_view::npos;
    const std::u16string_view x = hasComma ? token.substr(0, comma) : std::u16string_view();
    const std::u16string_view y = hasComma ? token.substr(comma + 1) : token;
    return {XpsStrToFloat(x), XpsStrToFloat(y)};
}

}  // namespace

TXpsPoint TXpsMatrix::Map(TXpsPoint point) const {
    return {M11 * point.X + M21 * point.Y + DX, M12 * point.X + M22 * point.Y + DY};
}

TXpsMatrix TXpsMatrix::Then(const TXpsMatrix& outer) const {
    return {M11 * outer.M11 + M12 * outer.M21,  M11 * outer.M12 + M12 * outer.M22,
            M21 * outer.M11 + M22 * outer.M21,  M21 * outer.M12 + M22 * outer.M22,
            DX * outer.M11 + DY * outer.M21 + outer.DX, DX * outer.M12 + DY * outer.M22 + outer.DY};
}

long double TXpsMatrix::VerticalScale() const { return std::sqrt(M21 * M21 + M22 * M22); }

TXpsMatrix ReadMatrix(std::u16string_view text) {
    TPathScanner scanner(text);
    long double m[6];
    if (!scanner.ReadNumbers(m, 6) || !scanner.AtEnd()) RaiseInvalidXpsNumber(text);
    return {m[0], m[1], m[2], m[3], m[4], m[5]};
}

TXpsRect ReadRect(std::u16string_view text) {
    TPathScanner scanner(text);
    long double r[4];
    if (!scanner.ReadNumbers(r, 4) || !scanner.AtEnd()) RaiseInvalidXpsNumber(text);
    return {r[0], r[1], r[0] + r[2], r[1] + r[3]};
}

void ReadPathData(std::u16string_view data, IXpsFigureSink& sink) {
    TPathScanner scanner(data);
    TFigureBuilder figures(sink);
    if (scanner.NextIs(u'F')) {
        scanner.Letter();
        long double fillRule = 0;
        if (!scanner.ReadNumber(fillRule)) return;
    }
    char16_t command = 0;
    while (!scanner.AtEnd()) {
        // Coordinates without a letter repeat the last command; those after a
        // move draw lines.
        if (const char16_t letter = scanner.Letter()) command = letter;
        else if (command == u'M' || command == u'm') command = command == u'M' ? u'L' : u'l';
        else if (command == 0 || command == u'Z' || command == u'z') break;
        if (command == u'Z' || command == u'z') {
            figures.Close();
            continue;
        }
        const TCommandShape shape = ShapeOf(ToUpper(command));
        long double numbers[7];
        if (shape.Numbers == 0 || !scanner.ReadNumbers(numbers, shape.Numbers)) break;
        ApplyGroup(figures, command, numbers, shape);
    }
}

TXpsGeometry ReadPathData(std::u16string_view data) {
    TGeometryBuilder geometry;
    ReadPathData(data, geometry);
    return geometry.Take();
}

void ReadPathFigures(const TqlxXMLItem& pathGeometry, IXpsFigureSink& sink) {
    TFigureBuilder figures(sink);
    ForEachChildNamed(pathGeometry, u"PathFigure", [&](const TqlxXMLItem& figure, int32_t) {
        figures.MoveTo(ReadPoints(figure.GetAttr(u"StartPoint"), [](TXpsPoint) {}));
        for (int32_t i = 0; i < figure.ChildCount(); ++i) {
            const TqlxXMLItem& segment = *figure.Child(i);
            const bool stroked = UpperCase(segment.GetAttr(u"IsStroked")) != u"FALSE";
            if (segment.Name == u"PolyLineSegment") {
                ReadPoints(segment.GetAttr(u"Points"), [&](TXpsPoint point) { figures.StepTo(point, true, stroked); });
            } else if (segment.Name == u"ArcSegment") {
                figures.StepTo(ReadLastPoint(segment.GetAttr(u"Point")), false);
            } else if (segment.Name == u"PolyBezierSegment" || segment.Name == u"PolyQuadraticBezierSegment") {
                figures.StepTo(ReadLastPoint(segment.GetAttr(u"Points")), false);
            }
        }
        if (UpperCase(figure.GetAttr(u"IsClosed")) == u"TRUE") figures.Close();
    });
}

TXpsGeometry ReadPathFigures(const TqlxXMLItem& pathGeometry) {
    TGeometryBuilder geometry;
    ReadPathFigures(pathGeometry, geometry);
    return geometry.Take();
}

void ReplayGeometry(const TXpsGeometry& geometry, IXpsFigureSink& sink) {
    for (const TXpsFigure& figure : geometry) {
        sink.StartFigure(figure.Start);
        for (const TXpsFigure::TStep& step : figure.Steps) sink.AddStep(step);
        if (figure.Closed) sink.CloseFigure();
    }
}

void TXpsStraightLines::StartFigure(TXpsPoint start) { start_ = current_ = start; }

void TXpsStraightLines::AddStep(const TXpsFigure::TStep& step) {
    if (step.Straight && step.Stroked) Add(current_, step.End);
    current_ = step.End;
}

void TXpsStraightLines::CloseFigure() {
    Add(current_, start_);
    current_ = start_;
}

void TXpsStraightLines::Add(TXpsPoint from, TXpsPoint to) const {
    const TXpsLine line{transform_.Map(from), transform_.Map(to)};
    if (!SamePlace(line.From, line.To)) sink_(line);
}

void ForEachDefaultPathLine(std::u16string_view data, const TXpsLineSink& sink) {
    if (data.find(u"F1") == std::u16string_view::npos) return;
    DropChars(data, 3);
    TXpsPoint start, current;
    while (!data.empty()) {
        if (data.front() != u'M' && data.front() != u'L') return;
        if (data.front() == u'M') {
            DropChars(data, 2);
            start = ReadTokenPoint(FirstToken(data));
            current = start;
            DropFirstToken(data);
        }
        if (data.empty() || data.front() != u'L') continue;
        DropChars(data, 2);
        bool closed = false;
        while (!data.empty() && !closed) {
            const std::u16string_view token = FirstToken(data);
            closed = token.starts_with(u'z');
            const TXpsPoint next = closed ? start : ReadTokenPoint(token);
            sink(TXpsLine{current, next});
            current = next;
            DropFirstToken(data);
        }
    }
}

void TXpsBounds::Add(TXpsPoint point) {
    point = transform_.Map(point);
    if (!bounds_) bounds_ = TXpsRect{point.X, point.Y, point.X, point.Y};
    bounds_->Left = std::min(bounds_->Left, point.X);
    bounds_->Top = std::min(bounds_->Top, point.Y);
    bounds_->Right = std::max(bounds_->Right, point.X);
    bounds_->Bottom = std::max(bounds_->Bottom, point.Y);
}

TXpsLine CentreLineOf(const TXpsRect& r) {
    if (r.Width() >= r.Height()) return {{r.Left, (r.Top + r.Bottom) / 2}, {r.Right, (r.Top + r.Bottom) / 2}};
    return {{(r.Left + r.Right) / 2, r.Top}, {(r.Left + r.Right) / 2, r.Bottom}};
}

void TXpsRectangleCandidate::StartFigure(TXpsPoint start) {
    if (drawn_) laterFigure_ = true;
    else figure_ = {start, {}, false};
}

void TXpsRectangleCandidate::AddStep(const TXpsFigure::TStep& step) {
    if (impossible_) return;
    // Four corners, the last step perhaps back to the first.
    impossible_ = laterFigure_ || figure_.Steps.size() == 4;
    if (impossible_) return;
    figure_.Steps.push_back(step);
    drawn_ = true;
}

// The last step may go back to the first corner.
std::optional<TXpsRect> TXpsRectangleCandidate::ThinRectangle(const TXpsMatrix& transform,
                                                              long double maxThickness) const {
    if (impossible_ || !drawn_) return std::nullopt;
    std::vector<TXpsPoint> corners = {transform.Map(figure_.Start)};
    for (const TXpsFigure::TStep& step : figure_.Steps) {
        if (!step.Straight) return std::nullopt;
        corners.push_back(transform.Map(step.End));
    }
    if (SamePlace(corners.back(), corners.front())) corners.pop_back();
    if (corners.size() != 4 || !IsAxisAlignedRectangle(corners)) return std::nullopt;
    const auto [left, right] = std::minmax({corners[0].X, corners[1].X, corners[2].X, corners[3].X});
    const auto [top, bottom] = std::minmax({corners[0].Y, corners[1].Y, corners[2].Y, corners[3].Y});
    const TXpsRect rectangle{left, top, right, bottom};
    if (std::min(rectangle.Width(), rectangle.Height()) > maxThickness) return std::nullopt;
    return rectangle;
}
