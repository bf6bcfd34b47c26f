#pragma once
// Points, sizes, rectangles and transforms with the platform's rules. Plain values; every
// function is pure and thread-safe.
//
// Rectangles: a negative width or height is allowed and means the rectangle extends the
// other way; the min/max/standardise helpers read it that way. The null rectangle
// (origin at +infinity, size 0) is what an empty intersection gives; it differs from the
// zero rectangle, which is empty but not null. Union with null gives the other rectangle.
//
// Rotations whose sine or cosine is within 1e-12 of 0 or ±1 are snapped to exact values,
// so that a quarter turn maps integral rectangles onto integral rectangles.
#include <string>

namespace platform {

struct Point {
  double x = 0, y = 0;
  bool operator==(const Point&) const = default;
};

struct Size {
  double width = 0, height = 0;
  bool operator==(const Size&) const = default;
};

struct Rect {
  Point origin;
  Size size;
  Rect() = default;
  Rect(double x, double y, double w, double h) : origin{x, y}, size{w, h} {}
  Rect(Point o, Size s) : origin(o), size(s) {}
  bool operator==(const Rect&) const = default;
};

struct EdgeInsets {
  double top = 0, left = 0, bottom = 0, right = 0;
  bool operator==(const EdgeInsets&) const = default;
};

inline constexpr double kPi = 3.14159265358979323846;

// Constructors by the names the callers use.
inline Point pointMake(double x, double y) { return {x, y}; }
inline Size sizeMake(double w, double h) { return {w, h}; }
inline Rect rectMake(double x, double y, double w, double h) { return {x, y, w, h}; }
Rect rectZero();
Rect rectNull();
Rect rectInfinite();

double rectGetMinX(const Rect& r);
double rectGetMidX(const Rect& r);
double rectGetMaxX(const Rect& r);
double rectGetMinY(const Rect& r);
double rectGetMidY(const Rect& r);
double rectGetMaxY(const Rect& r);
double rectGetWidth(const Rect& r);   // absolute value
double rectGetHeight(const Rect& r);  // absolute value

bool rectIsNull(const Rect& r);
bool rectIsEmpty(const Rect& r);  // null, or zero width or height
// Same rectangle once both are standardised (two null rectangles are equal).
bool rectEqualToRect(const Rect& a, const Rect& b);

// Positive width and height, origin moved accordingly. Null stays null.
Rect rectStandardize(const Rect& r);
// Null when they do not overlap: touching edges, an empty input or a null input give null.
Rect rectIntersection(const Rect& a, const Rect& b);
bool rectIntersectsRect(const Rect& a, const Rect& b);
Rect rectUnion(const Rect& a, const Rect& b);
// Half-open: the min edges are inside, the max edges are not.
bool rectContainsPoint(const Rect& r, const Point& p);
// True when `inner` lies within `outer` (union of the two equals `outer`).
bool rectContainsRect(const Rect& outer, const Rect& inner);
// Standardised, then shrunk by dx on both sides and dy on top and bottom; null when the
// result would have a negative size, or for a null rectangle.
Rect rectInset(const Rect& r, double dx, double dy);
Rect rectOffset(const Rect& r, double dx, double dy);
// The smallest rectangle with integral origin and size that contains the standardised
// rectangle (floor of the mins, ceil of the maxes). Null and empty rules:
// null stays null; an empty rectangle keeps its integral origin and zero size.
Rect rectIntegral(const Rect& r);
Rect edgeInsetsInsetRect(const Rect& r, const EdgeInsets& insets);
// The smallest rectangle that holds the four points.
Rect rectEnclosingPoints(const Point& a, const Point& b, const Point& c, const Point& d);

// "{x, y}", "{w, h}", "{{x, y}, {w, h}}" with numbers as %g prints them.
std::string stringFromPoint(const Point& p);
std::string stringFromSize(const Size& s);
std::string stringFromRect(const Rect& r);

// Affine transform x' = a x + c y + tx, y' = b x + d y + ty.
struct AffineTransform {
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
  bool operator==(const AffineTransform&) const = default;

  static AffineTransform identity() { return {}; }
  static AffineTransform makeTranslation(double tx, double ty);
  static AffineTransform makeScale(double sx, double sy);
  static AffineTransform makeRotation(double angle);  // radians, counter-clockwise in y-up

  bool isIdentity() const { return *this == AffineTransform{}; }
  // t' = op ∘ t: the operation is applied first, then this transform.
  AffineTransform translated(double tx, double ty) const;
  AffineTransform scaled(double sx, double sy) const;
  AffineTransform rotated(double angle) const;
  // Applies this transform, then `other`.
  AffineTransform concat(const AffineTransform& other) const;
  // The inverse; the transform itself when it cannot be inverted.
  AffineTransform inverted() const;

  Point apply(const Point& p) const;
  Size apply(const Size& s) const;  // a, b, c, d only (no translation, signs kept)
  // Bounding box of the transformed corners.
  Rect apply(const Rect& r) const;
};

// 4x4 transform for layers, row-vector convention: p' = p · M, so
// "concat(a, b)" applies a first, then b.
struct Transform3D {
  double m11 = 1, m12 = 0, m13 = 0, m14 = 0;
  double m21 = 0, m22 = 1, m23 = 0, m24 = 0;
  double m31 = 0, m32 = 0, m33 = 1, m34 = 0;
  double m41 = 0, m42 = 0, m43 = 0, m44 = 1;
  bool operator==(const Transform3D&) const = default;

  static Transform3D identity() { return {}; }
  static Transform3D makeTranslation(double tx, double ty, double tz);
  static Transform3D makeScale(double sx, double sy, double sz);
  // Rotation by `angle` radians about the axis (x, y, z); identity for a zero axis.
  static Transform3D makeRotation(double angle, double x, double y, double z);
  static Transform3D makeAffineTransform(const AffineTransform& t);

  bool isIdentity() const { return *this == Transform3D{}; }
  // The operation is applied first, then this transform (CATransform3DTranslate & co).
  Transform3D translated(double tx, double ty, double tz) const;
  Transform3D scaled(double sx, double sy, double sz) const;
  Transform3D rotated(double angle, double x, double y, double z) const;
  // This transform first, then `other`.
  Transform3D concat(const Transform3D& other) const;
  bool isAffine() const;
  // The 2D part (m11, m12, m21, m22, m41, m42).
  AffineTransform affine() const;
};

}  // namespace platform
