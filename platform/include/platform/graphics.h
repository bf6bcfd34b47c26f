#pragma once
// Colours, fonts, deterministic text metrics and a recording graphics context. No pixels are
// drawn: a context keeps the list of operations so that tests can assert what `drawRect`
// produced. Main thread only, like the views that use it (the values are plain and can be
// copied anywhere).
#include <memory>
#include <string>
#include <vector>

#include "platform/geometry.h"

namespace platform {

class Image;
class DrawingLayer;

// The platform's colour space models, by their numbers.
enum class ColorSpaceModel : int {
  Unknown = -1, Monochrome = 0, RGB = 1, CMYK = 2, Lab = 3, DeviceN = 4, Indexed = 5, Pattern = 6
};

// A colour keeps its red, green and blue as seen, and the model of the space it was made in:
// the greys (white(), and the named black, white, greys and clear) are monochrome, as the
// platform makes them; rgba() and the named hues are RGB; a pattern colour is Pattern.
struct Color {
  double red = 0, green = 0, blue = 0, alpha = 0;
  ColorSpaceModel model = ColorSpaceModel::RGB;
  // The colour as seen: the model is not compared, so a grey equals its RGB twin.
  bool operator==(const Color& o) const {
    return red == o.red && green == o.green && blue == o.blue && alpha == o.alpha;
  }

  static Color rgba(double r, double g, double b, double a) { return {r, g, b, a}; }
  static Color white(double w, double a) { return {w, w, w, a, ColorSpaceModel::Monochrome}; }
  static Color clearColor() { return white(0, 0); }
  static Color blackColor() { return white(0, 1); }
  static Color whiteColor() { return white(1, 1); }
  static Color grayColor() { return white(0.5, 1); }
  static Color darkGrayColor() { return white(1.0 / 3, 1); }
  static Color lightGrayColor() { return white(2.0 / 3, 1); }
  static Color redColor() { return {1, 0, 0, 1}; }
  static Color greenColor() { return {0, 1, 0, 1}; }
  static Color blueColor() { return {0, 0, 1, 1}; }
  // The background of grouped tables: a pattern colour (its stripes are not modelled; the
  // components hold their average shade).
  static Color groupTableViewBackgroundColor() { return {0.773, 0.8, 0.835, 1, ColorSpaceModel::Pattern}; }
  Color withAlpha(double a) const { return {red, green, blue, a, model}; }
  // The components in the colour's own space, alpha last: (white, alpha) for Monochrome,
  // (red, green, blue, alpha) for RGB, (alpha) for any other model.
  std::vector<double> components() const;
};

// Text metrics are fixed so that layouts are reproducible: every code point advances
// 0.5 × point size (0.55 × for bold fonts); a line is 1.25 × point size high. Measured sizes
// are rounded up to whole points, as the platform's string measuring does.
struct Font {
  std::string name = "Helvetica";
  double pointSize = 17;
  bool bold = false;
  bool operator==(const Font&) const = default;

  static Font systemFontOfSize(double size) { return {"Helvetica", size, false}; }
  static Font boldSystemFontOfSize(double size) { return {"Helvetica-Bold", size, true}; }
  static double labelFontSize() { return 17; }
  static double buttonFontSize() { return 18; }
  static double systemFontSize() { return 14; }
  static double smallSystemFontSize() { return 12; }

  double advance() const { return pointSize * (bold ? 0.55 : 0.5); }
  double lineHeight() const { return pointSize * 1.25; }
};

// One line per "\n"; width of the longest line.
Size sizeWithFont(const std::string& text, const Font& font);
// Wrapped at spaces to `constraint.width` (a word wider than the line is cut between code
// points), at most as many lines as fit in `constraint.height`.
Size sizeWithFontConstrainedToSize(const std::string& text, const Font& font, Size constraint);
// The lines `text` is wrapped into for `width` (0 or less: no wrapping), as measured above.
std::vector<std::string> wrapText(const std::string& text, const Font& font, double width);

// Path elements kept as given, so a rounded rectangle reads back as one.
struct PathElement {
  enum class Kind { MoveTo, LineTo, CurveTo, QuadCurveTo, Close, Rect, Ellipse, RoundedRect, Arc };
  Kind kind = Kind::MoveTo;
  std::vector<Point> points;  // MoveTo/LineTo: 1; QuadCurveTo: control, end; CurveTo: c1, c2, end
  Rect rect;                  // Rect, Ellipse, RoundedRect
  double radius = 0;          // RoundedRect corner radius; Arc radius
  Point center;               // Arc
  double startAngle = 0, endAngle = 0;
  bool clockwise = false;
  bool operator==(const PathElement&) const = default;
};
using Path = std::vector<PathElement>;

struct Gradient {
  std::vector<Color> colors;
  std::vector<double> locations;  // empty: evenly spaced from 0 to 1
  bool operator==(const Gradient&) const = default;
};

enum GradientDrawingOptions : unsigned {
  kGradientDrawsBeforeStartLocation = 1 << 0,
  kGradientDrawsAfterEndLocation = 1 << 1,
};

// One recorded drawing operation with the state in force when it was made.
struct DrawOp {
  enum class Kind {
    SaveState, RestoreState, FillPath, StrokePath, ClipToPath, FillRect, StrokeRect, ClearRect,
    LinearGradient, RadialGradient, DrawImage, DrawText, DrawLayer
  };
  Kind kind = Kind::SaveState;
  Path path;             // FillPath, StrokePath, ClipToPath
  bool evenOdd = false;  // FillPath, ClipToPath
  Rect rect;             // rectangles, DrawImage, DrawText
  Color fillColor;
  Color strokeColor;
  double lineWidth = 1;
  double alpha = 1;
  Gradient gradient;
  Point start, end;  // gradient centres or end points
  double startRadius = 0, endRadius = 0;
  unsigned options = 0;
  std::shared_ptr<const Image> image;
  std::shared_ptr<const DrawingLayer> layer;
  std::string text;
  Font font;
};

// A context of `size` points. Path building: a path is consumed by the
// fill, stroke or clip that uses it. Save and restore cover colours, line width, alpha and
// the clip. Not thread-safe.
class GraphicsContext {
 public:
  explicit GraphicsContext(Size size);
  ~GraphicsContext();
  GraphicsContext(const GraphicsContext&) = delete;
  GraphicsContext& operator=(const GraphicsContext&) = delete;

  // The context being drawn into (the innermost pushed), or nullptr.
  static GraphicsContext* current();
  static void pushContext(GraphicsContext* context);
  static void popContext();

  Size size() const { return size_; }

  void saveGState();
  void restoreGState();  // unbalanced restores are ignored
  void setFillColor(const Color& c);
  void setStrokeColor(const Color& c);
  void setLineWidth(double w);
  void setAlpha(double a);
  Color fillColor() const;
  Color strokeColor() const;
  double lineWidth() const;
  // The clipping paths in force, outermost first.
  const std::vector<Path>& clipPaths() const;

  void beginPath();
  void moveToPoint(double x, double y);
  void addLineToPoint(double x, double y);
  void addCurveToPoint(double c1x, double c1y, double c2x, double c2y, double x, double y);
  void closePath();
  void addRect(const Rect& r);
  void addRoundedRect(const Rect& r, double cornerRadius);
  void addPath(const Path& path);
  const Path& currentPath() const { return path_; }

  void fillPath(bool evenOdd = false);
  void strokePath();
  void clip(bool evenOdd = false);
  void fillRect(const Rect& r);
  void strokeRect(const Rect& r);
  void clearRect(const Rect& r);
  void drawLinearGradient(const Gradient& g, Point start, Point end, unsigned options);
  void drawRadialGradient(const Gradient& g, Point startCenter, double startRadius, Point endCenter,
                          double endRadius, unsigned options);
  void drawImage(const std::shared_ptr<const Image>& image, const Rect& r);
  void drawText(const std::string& text, const Rect& r, const Font& font);
  // Records the layer (rect: `point` and the layer's size); its drawing is kept by reference.
  void drawLayerAtPoint(const std::shared_ptr<const DrawingLayer>& layer, Point point);

  const std::vector<DrawOp>& operations() const { return ops_; }
  // The operations of one kind, in order.
  std::vector<DrawOp> operationsOfKind(DrawOp::Kind kind) const;

 private:
  struct State {
    Color fill{0, 0, 0, 1};
    Color stroke{0, 0, 0, 1};
    double lineWidth = 1;
    double alpha = 1;
    std::vector<Path> clips;
  };
  DrawOp op(DrawOp::Kind kind) const;
  Size size_;
  State state_;
  std::vector<State> saved_;
  Path path_;
  std::vector<DrawOp> ops_;
};

// An off-screen drawing layer: a context of its own, made for drawing into another context
// later (with GraphicsContext::drawLayerAtPoint), so that a picture drawn once is replayed
// cheaply. What was drawn into it is read from context().operations().
class DrawingLayer {
 public:
  // `context` is the one the layer is meant for; it may be nullptr (no context is current).
  static std::shared_ptr<DrawingLayer> createWithContext(const GraphicsContext* context, Size size);
  explicit DrawingLayer(Size size) : context_(size) {}
  Size size() const { return context_.size(); }
  GraphicsContext& context() { return context_; }
  const GraphicsContext& context() const { return context_; }

 private:
  GraphicsContext context_;
};

// A path object drawn into the current context (a bezier path).
class BezierPath {
 public:
  static BezierPath pathWithRoundedRect(const Rect& r, double cornerRadius);

  void moveToPoint(Point p);
  void addLineToPoint(Point p);
  void closePath();
  double lineWidth() const { return lineWidth_; }
  void setLineWidth(double w) { lineWidth_ = w; }
  const Path& elements() const { return path_; }

  // Each is a no-op without a current context.
  void fill() const;
  void stroke() const;
  void addClip() const;

 private:
  Path path_;
  double lineWidth_ = 1;
};

}  // namespace platform
