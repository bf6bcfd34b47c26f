#include "platform/geometry.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace platform;

namespace {

void expectRect(const Rect& actual, const Rect& expected, const char* what) {
  EXPECT_NEAR(actual.origin.x, expected.origin.x, 1e-9) << what;
  EXPECT_NEAR(actual.origin.y, expected.origin.y, 1e-9) << what;
  EXPECT_NEAR(actual.size.width, expected.size.width, 1e-9) << what;
  EXPECT_NEAR(actual.size.height, expected.size.height, 1e-9) << what;
}

// p' = p · M for a row vector (x, y, z, 1), computed here from the matrix entries.
Point apply3D(const Transform3D& m, double x, double y, double z) {
  double w = x * m.m14 + y * m.m24 + z * m.m34 + m.m44;
  return {(x * m.m11 + y * m.m21 + z * m.m31 + m.m41) / w, (x * m.m12 + y * m.m22 + z * m.m32 + m.m42) / w};
}

TEST(Geometry, RectangleRules) {
  const Rect unit{0, 0, 10, 10};
  struct Case {
    const char* what;
    Rect actual;
    Rect expected;
  } cases[] = {
      {"standardise negative size", rectStandardize({10, 10, -5, -5}), {5, 5, 5, 5}},
      {"overlap", rectIntersection(unit, {5, 5, 10, 10}), {5, 5, 5, 5}},
      {"contained", rectIntersection(unit, {2, 3, 4, 5}), {2, 3, 4, 5}},
      {"negative-size operand", rectIntersection(unit, {8, 8, -4, -4}), {4, 4, 4, 4}},
      {"inset", rectInset(unit, 2, 3), {2, 3, 6, 4}},
      {"inset standardises first", rectInset({10, 10, -10, -10}, 1, 1), {1, 1, 8, 8}},
      {"negative inset grows", rectInset(unit, -1, -2), {-1, -2, 12, 14}},
      {"integral", rectIntegral({0.5, 1.5, 2.2, 3.3}), {0, 1, 3, 4}},
      {"integral negative", rectIntegral({-0.5, -0.5, 1, 1}), {-1, -1, 2, 2}},
      {"union", rectUnion({0, 0, 1, 1}, {2, 2, 1, 1}), {0, 0, 3, 3}},
      {"union with null", rectUnion(rectNull(), {1, 2, 3, 4}), {1, 2, 3, 4}},
      {"offset", rectOffset(unit, 3, -2), {3, -2, 10, 10}},
      {"insets", edgeInsetsInsetRect(unit, {1, 2, 3, 4}), {2, 1, 4, 6}},
  };
  for (const auto& c : cases) expectRect(c.actual, c.expected, c.what);

  EXPECT_TRUE(rectIsNull(rectIntersection(unit, {10, 0, 5, 5}))) << "touching edges";
  EXPECT_TRUE(rectIsNull(rectIntersection(unit, {20, 20, 1, 1})));
  EXPECT_TRUE(rectIsNull(rectIntersection(unit, rectNull())));
  EXPECT_TRUE(rectIsNull(rectInset(unit, 6, 0))) << "inset past the middle";
  EXPECT_TRUE(rectIsNull(rectIntegral(rectNull())));
  EXPECT_TRUE(rectIsEmpty(rectZero()));
  EXPECT_FALSE(rectIsNull(rectZero()));
  EXPECT_FALSE(rectIntersectsRect(unit, {10, 0, 5, 5}));
  EXPECT_TRUE(rectIntersectsRect(unit, {9, 9, 5, 5}));
  EXPECT_TRUE(rectEqualToRect({10, 10, -5, -5}, {5, 5, 5, 5}));
}

TEST(Geometry, ContainmentIsHalfOpen) {
  const Rect r{0, 0, 10, 10};
  struct Case {
    Point p;
    bool inside;
  } cases[] = {{{0, 0}, true}, {{9.999, 9.999}, true}, {{10, 5}, false}, {{5, 10}, false}, {{-0.001, 5}, false}};
  for (const auto& c : cases) EXPECT_EQ(rectContainsPoint(r, c.p), c.inside) << stringFromPoint(c.p);
  EXPECT_TRUE(rectContainsRect(r, {2, 2, 8, 8}));
  EXPECT_FALSE(rectContainsRect(r, {2, 2, 9, 8}));
  EXPECT_EQ(stringFromRect({1, 2.5, 3, 4}), "{{1, 2.5}, {3, 4}}");
}

TEST(Geometry, AffineTransforms) {
  // A quarter turn is exact: (1, 0) goes to (0, 1) with no rounding residue.
  AffineTransform quarter = AffineTransform::makeRotation(kPi / 2);
  EXPECT_EQ(quarter.apply(Point{1, 0}), (Point{0, 1}));
  EXPECT_EQ(quarter.apply(Rect{0, 0, 20, 10}), (Rect{-10, 0, 10, 20}));

  // The operation is applied first, then the receiver: translate (5, 0), then scale by 2.
  AffineTransform t = AffineTransform::makeScale(2, 2).translated(5, 0);
  EXPECT_EQ(t.apply(Point{1, 1}), (Point{12, 2}));
  EXPECT_EQ(AffineTransform::makeTranslation(5, 0).concat(AffineTransform::makeScale(2, 2)), t);

  AffineTransform odd = AffineTransform::makeRotation(0.3).translated(3, 4).scaled(2, 0.5);
  Point p{7, -2};
  Point back = odd.inverted().apply(odd.apply(p));
  EXPECT_NEAR(back.x, p.x, 1e-9);
  EXPECT_NEAR(back.y, p.y, 1e-9);
  EXPECT_TRUE(AffineTransform::makeRotation(0).isIdentity());
}

TEST(Geometry, Transform3DComposesLikeTheLayerFunctions) {
  EXPECT_EQ(Transform3D::makeRotation(kPi / 2, 0, 0, 1).affine(), AffineTransform::makeRotation(kPi / 2));
  EXPECT_TRUE(Transform3D::makeRotation(1.0, 0, 0, 0).isIdentity()) << "a zero axis rotates nothing";

  // translated(0, -300, 0) then scaled(0.3, 0.3, 1): the scale acts first on the point.
  Transform3D t = Transform3D::identity().translated(0, -300, 0).scaled(0.3, 0.3, 1);
  Point p = apply3D(t, 10, 20, 0);
  EXPECT_NEAR(p.x, 3, 1e-12);
  EXPECT_NEAR(p.y, 6 - 300, 1e-12);

  // A turn about the vertical axis moves x into depth: (1, 0, 0) by 90° lands on z = -1.
  Transform3D y90 = Transform3D::makeRotation(kPi / 2, 0, 1, 0);
  EXPECT_EQ(y90.m11, 0);
  EXPECT_EQ(y90.m13, -1);

  // With perspective, depth shrinks the projection: m34 = -1/1500 at z = -500 scales by 1/(1+1/3).
  Transform3D b;
  b.m34 = -1.0 / 1500;
  Point q = apply3D(b, 300, 0, -500);
  EXPECT_NEAR(q.x, 300 / (1 + 500.0 / 1500), 1e-9);
  EXPECT_FALSE(b.isAffine());
  EXPECT_TRUE(Transform3D::makeAffineTransform(AffineTransform::makeScale(2, 3)).isAffine());
}

}  // namespace
