#include "platform/graphics.h"

#include <cmath>

namespace platform {

namespace {

// Code points of a UTF-8 text (continuation bytes do not count).
size_t codePoints(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

// Byte length of the first `count` code points.
size_t bytesOfCodePoints(const std::string& s, size_t count) {
  size_t i = 0, seen = 0;
  while (i < s.size()) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
      if (seen == count) return i;
      ++seen;
    }
    ++i;
  }
  return s.size();
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    size_t nl = text.find('\n', start);
    lines.push_back(text.substr(start, nl == std::string::npos ? std::string::npos : nl - start));
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return lines;
}

double width(const std::string& s, const Font& f) { return codePoints(s) * f.advance(); }

std::vector<GraphicsContext*>& contextStack() {
  static std::vector<GraphicsContext*> stack;
  return stack;
}

}  // namespace

std::vector<std::string> wrapText(const std::string& text, const Font& font, double maxWidth) {
  std::vector<std::string> out;
  for (const std::string& para : splitLines(text)) {
    if (maxWidth <= 0 || width(para, font) <= maxWidth) {
      out.push_back(para);
      continue;
    }
    std::string line;
    size_t i = 0;
    while (i <= para.size()) {
      size_t sp = para.find(' ', i);
      std::string word = para.substr(i, sp == std::string::npos ? std::string::npos : sp - i);
      std::string candidate = line.empty() ? word : line + " " + word;
      if (width(candidate, font) <= maxWidth) {
        line = candidate;
      } else {
        if (!line.empty()) out.push_back(line);
        line.clear();
        // A word wider than the line is cut between code points.
        while (width(word, font) > maxWidth) {
          size_t fit = static_cast<size_t>(std::floor(maxWidth / font.advance()));
          if (fit == 0) fit = 1;
          size_t cut = bytesOfCodePoints(word, fit);
          out.push_back(word.substr(0, cut));
          word = word.substr(cut);
        }
        line = word;
      }
      if (sp == std::string::npos) break;
      i = sp + 1;
    }
    out.push_back(line);
  }
  return out;
}

Size sizeWithFont(const std::string& text, const Font& font) {
  double w = 0;
  auto lines = splitLines(text);
  for (const auto& l : lines) w = std::max(w, width(l, font));
  return {std::ceil(w), std::ceil(lines.size() * font.lineHeight())};
}

Size sizeWithFontConstrainedToSize(const std::string& text, const Font& font, Size constraint) {
  auto lines = wrapText(text, font, constraint.width);
  size_t maxLines = lines.size();
  if (constraint.height > 0) {
    // Counted in double: an unbounded height (FLT_MAX, infinity) must not wrap round as an integer.
    double fit = std::max(1.0, std::floor(constraint.height / font.lineHeight()));
    if (fit < static_cast<double>(maxLines)) maxLines = static_cast<size_t>(fit);
  }
  double w = 0;
  for (size_t i = 0; i < maxLines; ++i) w = std::max(w, width(lines[i], font));
  if (constraint.width > 0) w = std::min(w, constraint.width);
  return {std::ceil(w), std::ceil(maxLines * font.lineHeight())};
}

// ---- GraphicsContext

GraphicsContext::GraphicsContext(Size size) : size_(size) {}
GraphicsContext::~GraphicsContext() {
  auto& st = contextStack();
  for (auto it = st.begin(); it != st.end();)
    it = (*it == this) ? st.erase(it) : it + 1;
}

GraphicsContext* GraphicsContext::current() {
  auto& st = contextStack();
  return st.empty() ? nullptr : st.back();
}
void GraphicsContext::pushContext(GraphicsContext* c) { contextStack().push_back(c); }
void GraphicsContext::popContext() {
  if (!contextStack().empty()) contextStack().pop_back();
}

DrawOp GraphicsContext::op(DrawOp::Kind kind) const {
  DrawOp o;
  o.kind = kind;
  o.fillColor = state_.fill;
  o.strokeColor = state_.stroke;
  o.lineWidth = state_.lineWidth;
  o.alpha = state_.alpha;
  return o;
}

void GraphicsContext::saveGState() {
  saved_.push_back(state_);
  ops_.push_back(op(DrawOp::Kind::SaveState));
}
void GraphicsContext::restoreGState() {
  if (saved_.empty()) return;
  state_ = saved_.back();
  saved_.pop_back();
  ops_.push_back(op(DrawOp::Kind::RestoreState));
}
void GraphicsContext::setFillColor(const Color& c) { state_.fill = c; }
void GraphicsContext::setStrokeColor(const Color& c) { state_.stroke = c; }
void GraphicsContext::setLineWidth(double w) { state_.lineWidth = w; }
void GraphicsContext::setAlpha(double a) { state_.alpha = a; }
Color GraphicsContext::fillColor() const { return state_.fill; }
Color GraphicsContext::strokeColor() const { return state_.stroke; }
double GraphicsContext::lineWidth() const { return state_.lineWidth; }
const std::vector<Path>& GraphicsContext::clipPaths() const { return state_.clips; }

void GraphicsContext::beginPath() { path_.clear(); }
void GraphicsContext::moveToPoint(double x, double y) {
  PathElement e;
  e.kind = PathElement::Kind::MoveTo;
  e.points = {{x, y}};
  path_.push_back(e);
}
void GraphicsContext::addLineToPoint(double x, double y) {
  PathElement e;
  e.kind = PathElement::Kind::LineTo;
  e.points = {{x, y}};
  path_.push_back(e);
}
void GraphicsContext::addCurveToPoint(double c1x, double c1y, double c2x, double c2y, double x, double y) {
  PathElement e;
  e.kind = PathElement::Kind::CurveTo;
  e.points = {{c1x, c1y}, {c2x, c2y}, {x, y}};
  path_.push_back(e);
}
void GraphicsContext::closePath() {
  PathElement e;
  e.kind = PathElement::Kind::Close;
  path_.push_back(e);
}
void GraphicsContext::addRect(const Rect& r) {
  PathElement e;
  e.kind = PathElement::Kind::Rect;
  e.rect = r;
  path_.push_back(e);
}
void GraphicsContext::addRoundedRect(const Rect& r, double radius) {
  PathElement e;
  e.kind = PathElement::Kind::RoundedRect;
  e.rect = r;
  e.radius = radius;
  path_.push_back(e);
}
void GraphicsContext::addPath(const Path& p) { path_.insert(path_.end(), p.begin(), p.end()); }

void GraphicsContext::fillPath(bool evenOdd) {
  DrawOp o = op(DrawOp::Kind::FillPath);
  o.path = std::move(path_);
  o.evenOdd = evenOdd;
  path_.clear();
  ops_.push_back(std::move(o));
}
void GraphicsContext::strokePath() {
  DrawOp o = op(DrawOp::Kind::StrokePath);
  o.path = std::move(path_);
  path_.clear();
  ops_.push_back(std::move(o));
}
void GraphicsContext::clip(bool evenOdd) {
  DrawOp o = op(DrawOp::Kind::ClipToPath);
  o.path = path_;
  o.evenOdd = evenOdd;
  state_.clips.push_back(std::move(path_));
  path_.clear();
  ops_.push_back(std::move(o));
}
void GraphicsContext::fillRect(const Rect& r) {
  DrawOp o = op(DrawOp::Kind::FillRect);
  o.rect = r;
  ops_.push_back(std::move(o));
}
void GraphicsContext::strokeRect(const Rect& r) {
  DrawOp o = op(DrawOp::Kind::StrokeRect);
  o.rect = r;
  ops_.push_back(std::move(o));
}
void GraphicsContext::clearRect(const Rect& r) {
  DrawOp o = op(DrawOp::Kind::ClearRect);
  o.rect = r;
  ops_.push_back(std::move(o));
}
void GraphicsContext::drawLinearGradient(const Gradient& g, Point start, Point end, unsigned options) {
  DrawOp o = op(DrawOp::Kind::LinearGradient);
  o.gradient = g;
  o.start = start;
  o.end = end;
  o.options = options;
  ops_.push_back(std::move(o));
}
void GraphicsContext::drawRadialGradient(const Gradient& g, Point c0, double r0, Point c1, double r1,
                                         unsigned options) {
  DrawOp o = op(DrawOp::Kind::RadialGradient);
  o.gradient = g;
  o.start = c0;
  o.startRadius = r0;
  o.end = c1;
  o.endRadius = r1;
  o.options = options;
  ops_.push_back(std::move(o));
}
void GraphicsContext::drawImage(const std::shared_ptr<const Image>& image, const Rect& r) {
  DrawOp o = op(DrawOp::Kind::DrawImage);
  o.image = image;
  o.rect = r;
  ops_.push_back(std::move(o));
}
void GraphicsContext::drawText(const std::string& text, const Rect& r, const Font& font) {
  DrawOp o = op(DrawOp::Kind::DrawText);
  o.text = text;
  o.rect = r;
  o.font = font;
  ops_.push_back(std::move(o));
}

void GraphicsContext::drawLayerAtPoint(const std::shared_ptr<const DrawingLayer>& layer, Point point) {
  if (!layer) return;
  DrawOp o = op(DrawOp::Kind::DrawLayer);
  o.layer = layer;
  o.rect = Rect(point.x, point.y, layer->size().width, layer->size().height);
  ops_.push_back(std::move(o));
}

std::shared_ptr<DrawingLayer> DrawingLayer::createWithContext(const GraphicsContext*, Size size) {
  return std::make_shared<DrawingLayer>(size);
}

std::vector<double> Color::components() const {
  switch (model) {
    case ColorSpaceModel::Monochrome: return {red, alpha};
    case ColorSpaceModel::RGB: return {red, green, blue, alpha};
    default: return {alpha};
  }
}

std::vector<DrawOp> GraphicsContext::operationsOfKind(DrawOp::Kind kind) const {
  std::vector<DrawOp> out;
  for (const auto& o : ops_)
    if (o.kind == kind) out.push_back(o);
  return out;
}

// ---- BezierPath

BezierPath BezierPath::pathWithRoundedRect(const Rect& r, double radius) {
  BezierPath p;
  PathElement e;
  e.kind = PathElement::Kind::RoundedRect;
  e.rect = r;
  e.radius = radius;
  p.path_.push_back(e);
  return p;
}
void BezierPath::moveToPoint(Point pt) {
  PathElement e;
  e.kind = PathElement::Kind::MoveTo;
  e.points = {pt};
  path_.push_back(e);
}
void BezierPath::addLineToPoint(Point pt) {
  PathElement e;
  e.kind = PathElement::Kind::LineTo;
  e.points = {pt};
  path_.push_back(e);
}
void BezierPath::closePath() {
  PathElement e;
  e.kind = PathElement::Kind::Close;
  path_.push_back(e);
}
void BezierPath::fill() const {
  if (auto* c = GraphicsContext::current()) {
    c->saveGState();
    c->beginPath();
    c->addPath(path_);
    c->fillPath();
    c->restoreGState();
  }
}
void BezierPath::stroke() const {
  if (auto* c = GraphicsContext::current()) {
    c->saveGState();
    c->setLineWidth(lineWidth_);
    c->beginPath();
    c->addPath(path_);
    c->strokePath();
    c->restoreGState();
  }
}
void BezierPath::addClip() const {
  if (auto* c = GraphicsContext::current()) {
    c->beginPath();
    c->addPath(path_);
    c->clip();
  }
}

}  // namespace platform
