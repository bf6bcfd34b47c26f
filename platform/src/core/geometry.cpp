#include "platform/geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace platform {

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();

// Quarter turns computed in floating point leave 6e-17 where 0 is meant.
double snap(double v) {
  if (std::fabs(v) < 1e-12) return 0;
  if (std::fabs(v - 1) < 1e-12) return 1;
  if (std::fabs(v + 1) < 1e-12) return -1;
  return v;
}

std::string num(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g", v == 0 ? 0.0 : v);
  return buf;
}
}  // namespace

Rect rectZero() { return {}; }
Rect rectNull() { return {kInf, kInf, 0, 0}; }
Rect rectInfinite() {
  double big = std::numeric_limits<double>::max();
  return {-big / 2, -big / 2, big, big};
}

double rectGetMinX(const Rect& r) { return r.size.width < 0 ? r.origin.x + r.size.width : r.origin.x; }
double rectGetMaxX(const Rect& r) { return r.size.width < 0 ? r.origin.x : r.origin.x + r.size.width; }
double rectGetMidX(const Rect& r) { return r.origin.x + r.size.width / 2; }
double rectGetMinY(const Rect& r) { return r.size.height < 0 ? r.origin.y + r.size.height : r.origin.y; }
double rectGetMaxY(const Rect& r) { return r.size.height < 0 ? r.origin.y : r.origin.y + r.size.height; }
double rectGetMidY(const Rect& r) { return r.origin.y + r.size.height / 2; }
double rectGetWidth(const Rect& r) { return std::fabs(r.size.width); }
double rectGetHeight(const Rect& r) { return std::fabs(r.size.height); }

bool rectIsNull(const Rect& r) { return std::isinf(r.origin.x) || std::isinf(r.origin.y); }
bool rectIsEmpty(const Rect& r) { return rectIsNull(r) || r.size.width == 0 || r.size.height == 0; }

Rect rectStandardize(const Rect& r) {
  if (rectIsNull(r)) return rectNull();
  return {rectGetMinX(r), rectGetMinY(r), rectGetWidth(r), rectGetHeight(r)};
}

bool rectEqualToRect(const Rect& a, const Rect& b) {
  if (rectIsNull(a) || rectIsNull(b)) return rectIsNull(a) && rectIsNull(b);
  return rectStandardize(a) == rectStandardize(b);
}

Rect rectIntersection(const Rect& a, const Rect& b) {
  if (rectIsNull(a) || rectIsNull(b)) return rectNull();
  double x1 = std::max(rectGetMinX(a), rectGetMinX(b));
  double x2 = std::min(rectGetMaxX(a), rectGetMaxX(b));
  double y1 = std::max(rectGetMinY(a), rectGetMinY(b));
  double y2 = std::min(rectGetMaxY(a), rectGetMaxY(b));
  if (x2 <= x1 || y2 <= y1) return rectNull();
  return {x1, y1, x2 - x1, y2 - y1};
}

bool rectIntersectsRect(const Rect& a, const Rect& b) { return !rectIsNull(rectIntersection(a, b)); }

Rect rectUnion(const Rect& a, const Rect& b) {
  if (rectIsNull(a)) return rectStandardize(b);
  if (rectIsNull(b)) return rectStandardize(a);
  double x1 = std::min(rectGetMinX(a), rectGetMinX(b));
  double x2 = std::max(rectGetMaxX(a), rectGetMaxX(b));
  double y1 = std::min(rectGetMinY(a), rectGetMinY(b));
  double y2 = std::max(rectGetMaxY(a), rectGetMaxY(b));
  return {x1, y1, x2 - x1, y2 - y1};
}

bool rectContainsPoint(const Rect& r, const Point& p) {
  if (rectIsNull(r)) return false;
  return p.x >= rectGetMinX(r) && p.x < rectGetMaxX(r) && p.y >= rectGetMinY(r) && p.y < rectGetMaxY(r);
}

bool rectContainsRect(const Rect& outer, const Rect& inner) {
  if (rectIsNull(outer) || rectIsNull(inner)) return false;
  return rectEqualToRect(rectUnion(outer, inner), outer);
}

Rect rectInset(const Rect& r, double dx, double dy) {
  if (rectIsNull(r)) return rectNull();
  Rect s = rectStandardize(r);
  s.origin.x += dx;
  s.origin.y += dy;
  s.size.width -= 2 * dx;
  s.size.height -= 2 * dy;
  if (s.size.width < 0 || s.size.height < 0) return rectNull();
  return s;
}

Rect rectOffset(const Rect& r, double dx, double dy) {
  if (rectIsNull(r)) return rectNull();
  return {r.origin.x + dx, r.origin.y + dy, r.size.width, r.size.height};
}

Rect rectIntegral(const Rect& r) {
  if (rectIsNull(r)) return rectNull();
  Rect s = rectStandardize(r);
  double x1 = std::floor(s.origin.x), y1 = std::floor(s.origin.y);
  if (rectIsEmpty(s)) return {x1, y1, 0, 0};
  double x2 = std::ceil(s.origin.x + s.size.width), y2 = std::ceil(s.origin.y + s.size.height);
  return {x1, y1, x2 - x1, y2 - y1};
}

Rect edgeInsetsInsetRect(const Rect& r, const EdgeInsets& in) {
  return {r.origin.x + in.left, r.origin.y + in.top, r.size.width - in.left - in.right,
          r.size.height - in.top - in.bottom};
}

Rect rectEnclosingPoints(const Point& a, const Point& b, const Point& c, const Point& d) {
  double x1 = std::min({a.x, b.x, c.x, d.x}), x2 = std::max({a.x, b.x, c.x, d.x});
  double y1 = std::min({a.y, b.y, c.y, d.y}), y2 = std::max({a.y, b.y, c.y, d.y});
  return {x1, y1, x2 - x1, y2 - y1};
}

std::string stringFromPoint(const Point& p) { return "{" + num(p.x) + ", " + num(p.y) + "}"; }
std::string stringFromSize(const Size& s) { return "{" + num(s.width) + ", " + num(s.height) + "}"; }
std::string stringFromRect(const Rect& r) {
  return "{" + stringFromPoint(r.origin) + ", " + stringFromSize(r.size) + "}";
}

// ---- AffineTransform

AffineTransform AffineTransform::makeTranslation(double tx, double ty) { return {1, 0, 0, 1, tx, ty}; }
AffineTransform AffineTransform::makeScale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
AffineTransform AffineTransform::makeRotation(double angle) {
  double s = snap(std::sin(angle)), c = snap(std::cos(angle));
  return {c, s, -s, c, 0, 0};
}

AffineTransform AffineTransform::concat(const AffineTransform& t2) const {
  const AffineTransform& t1 = *this;
  return {t1.a * t2.a + t1.b * t2.c,
          t1.a * t2.b + t1.b * t2.d,
          t1.c * t2.a + t1.d * t2.c,
          t1.c * t2.b + t1.d * t2.d,
          t1.tx * t2.a + t1.ty * t2.c + t2.tx,
          t1.tx * t2.b + t1.ty * t2.d + t2.ty};
}

AffineTransform AffineTransform::translated(double tx, double ty) const {
  return makeTranslation(tx, ty).concat(*this);
}
AffineTransform AffineTransform::scaled(double sx, double sy) const { return makeScale(sx, sy).concat(*this); }
AffineTransform AffineTransform::rotated(double angle) const { return makeRotation(angle).concat(*this); }

AffineTransform AffineTransform::inverted() const {
  double det = a * d - b * c;
  if (det == 0) return *this;
  AffineTransform r;
  r.a = d / det;
  r.b = -b / det;
  r.c = -c / det;
  r.d = a / det;
  r.tx = (c * ty - d * tx) / det;
  r.ty = (b * tx - a * ty) / det;
  return r;
}

Point AffineTransform::apply(const Point& p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
Size AffineTransform::apply(const Size& s) const {
  return {a * s.width + c * s.height, b * s.width + d * s.height};
}
Rect AffineTransform::apply(const Rect& r) const {
  if (rectIsNull(r)) return rectNull();
  Rect s = rectStandardize(r);
  double x2 = s.origin.x + s.size.width, y2 = s.origin.y + s.size.height;
  return rectEnclosingPoints(apply(s.origin), apply(Point{x2, s.origin.y}), apply(Point{s.origin.x, y2}),
                             apply(Point{x2, y2}));
}

// ---- Transform3D

namespace {
Transform3D multiply(const Transform3D& A, const Transform3D& B) {
  const double a[4][4] = {{A.m11, A.m12, A.m13, A.m14}, {A.m21, A.m22, A.m23, A.m24},
                          {A.m31, A.m32, A.m33, A.m34}, {A.m41, A.m42, A.m43, A.m44}};
  const double b[4][4] = {{B.m11, B.m12, B.m13, B.m14}, {B.m21, B.m22, B.m23, B.m24},
                          {B.m31, B.m32, B.m33, B.m34}, {B.m41, B.m42, B.m43, B.m44}};
  double r[4][4];
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += a[i][k] * b[k][j];
      r[i][j] = sum;
    }
  return {r[0][0], r[0][1], r[0][2], r[0][3], r[1][0], r[1][1], r[1][2], r[1][3],
          r[2][0], r[2][1], r[2][2], r[2][3], r[3][0], r[3][1], r[3][2], r[3][3]};
}
}  // namespace

Transform3D Transform3D::makeTranslation(double tx, double ty, double tz) {
  Transform3D t;
  t.m41 = tx;
  t.m42 = ty;
  t.m43 = tz;
  return t;
}

Transform3D Transform3D::makeScale(double sx, double sy, double sz) {
  Transform3D t;
  t.m11 = sx;
  t.m22 = sy;
  t.m33 = sz;
  return t;
}

Transform3D Transform3D::makeRotation(double angle, double x, double y, double z) {
  double len = std::sqrt(x * x + y * y + z * z);
  if (len == 0) return {};
  x /= len;
  y /= len;
  z /= len;
  double s = snap(std::sin(angle)), c = snap(std::cos(angle)), k = 1 - c;
  Transform3D t;
  t.m11 = c + x * x * k;
  t.m12 = x * y * k + z * s;
  t.m13 = x * z * k - y * s;
  t.m21 = x * y * k - z * s;
  t.m22 = c + y * y * k;
  t.m23 = y * z * k + x * s;
  t.m31 = x * z * k + y * s;
  t.m32 = y * z * k - x * s;
  t.m33 = c + z * z * k;
  return t;
}

Transform3D Transform3D::makeAffineTransform(const AffineTransform& a) {
  Transform3D t;
  t.m11 = a.a;
  t.m12 = a.b;
  t.m21 = a.c;
  t.m22 = a.d;
  t.m41 = a.tx;
  t.m42 = a.ty;
  return t;
}

Transform3D Transform3D::concat(const Transform3D& other) const { return multiply(*this, other); }
Transform3D Transform3D::translated(double tx, double ty, double tz) const {
  return multiply(makeTranslation(tx, ty, tz), *this);
}
Transform3D Transform3D::scaled(double sx, double sy, double sz) const {
  return multiply(makeScale(sx, sy, sz), *this);
}
Transform3D Transform3D::rotated(double angle, double x, double y, double z) const {
  return multiply(makeRotation(angle, x, y, z), *this);
}

bool Transform3D::isAffine() const {
  return m13 == 0 && m14 == 0 && m23 == 0 && m24 == 0 && m31 == 0 && m32 == 0 && m33 == 1 &&
         m34 == 0 && m43 == 0 && m44 == 1;
}

AffineTransform Transform3D::affine() const { return {m11, m12, m21, m22, m41, m42}; }

}  // namespace platform
