#pragma once
// The layer behind every view: geometry (bounds, position, anchor point, z position, 3D
// transform), opacity and the animations added to it by key. A view's geometry lives in its
// layer, so view and layer always agree.
//
// Ownership: a layer owns its sublayers and its animations; its superlayer and the view it
// belongs to are weak. Main thread only; animation callbacks arrive on the main run loop
// (see animation.h for their timing).
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/animation.h"
#include "platform/geometry.h"
#include "platform/graphics.h"

namespace platform {

class View;

class Layer : public std::enable_shared_from_this<Layer> {
 public:
  static std::shared_ptr<Layer> layer() { return std::make_shared<Layer>(); }
  Layer();
  virtual ~Layer();
  Layer(const Layer&) = delete;
  Layer& operator=(const Layer&) = delete;

  const Rect& bounds() const { return bounds_; }
  void setBounds(const Rect& b);
  const Point& position() const { return position_; }
  void setPosition(const Point& p);
  const Point& anchorPoint() const { return anchorPoint_; }
  double zPosition() const { return zPosition_; }
  void setZPosition(double z) { zPosition_ = z; }
  const Transform3D& transform() const { return transform_; }
  void setTransform(const Transform3D& t);
  AffineTransform affineTransform() const { return transform_.affine(); }
  void setAffineTransform(const AffineTransform& t) { setTransform(Transform3D::makeAffineTransform(t)); }

  // The bounding box, in the superlayer, of the bounds moved to the position and transformed
  // about the anchor point (the 2D part of the transform). Setting it keeps the transform:
  // the bounds take the size that the inverse transform gives (a quarter turn exchanges
  // width and height) and the position moves so that the frame lands where asked.
  Rect frame() const;
  void setFrame(const Rect& f);

  double opacity() const { return opacity_; }
  void setOpacity(double o) { opacity_ = o; }
  bool isHidden() const { return hidden_; }
  void setHidden(bool h) { hidden_ = h; }
  bool masksToBounds() const { return masksToBounds_; }
  void setMasksToBounds(bool m) { masksToBounds_ = m; }
  double cornerRadius() const { return cornerRadius_; }
  void setCornerRadius(double r) { cornerRadius_ = r; }
  double borderWidth() const { return borderWidth_; }
  void setBorderWidth(double w) { borderWidth_ = w; }
  const Color& borderColor() const { return borderColor_; }
  void setBorderColor(const Color& c) { borderColor_ = c; }
  const std::optional<Color>& backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(std::optional<Color> c) { backgroundColor_ = std::move(c); }
  bool isOpaque() const { return opaque_; }
  void setOpaque(bool o) { opaque_ = o; }
  // The shadow, stored only (nothing is drawn). Defaults as the platform's: opaque black,
  // opacity 0 (no shadow), offset (0, -3), radius 3.
  const Color& shadowColor() const { return shadowColor_; }
  void setShadowColor(const Color& c) { shadowColor_ = c; }
  double shadowOpacity() const { return shadowOpacity_; }
  void setShadowOpacity(double o) { shadowOpacity_ = o; }
  Size shadowOffset() const { return shadowOffset_; }
  void setShadowOffset(Size s) { shadowOffset_ = s; }
  double shadowRadius() const { return shadowRadius_; }
  void setShadowRadius(double r) { shadowRadius_ = r; }

  // Layer tree. A view's layer joins its superview's layer when the view is added.
  std::shared_ptr<Layer> superlayer() const { return superlayer_.lock(); }
  const std::vector<std::shared_ptr<Layer>>& sublayers() const { return sublayers_; }
  void insertSublayerAtIndex(const std::shared_ptr<Layer>& layer, size_t index);
  void removeFromSuperlayer();
  // Asks the owning view to redraw (nothing for a layer without a view).
  void setNeedsDisplay();

  // Adds a copy of `animation` under `key` (an empty key: a private key of its own, or
  // "transition" for a transition). A previous animation under the same key is stopped
  // (finished = false). A property animation without a key path is ignored.
  void addAnimationForKey(const std::shared_ptr<Animation>& animation, const std::string& key);
  // The copy on the layer, or nullptr.
  std::shared_ptr<Animation> animationForKey(const std::string& key) const;
  void removeAnimationForKey(const std::string& key);
  void removeAllAnimations();
  // Keys of the animations on the layer, in the order they were added (private keys left out).
  std::vector<std::string> animationKeys() const;

 private:
  friend class View;
  struct Running;
  void stop(const std::shared_ptr<Running>& entry, bool finished);
  Rect bounds_;
  Point position_;
  Point anchorPoint_{0.5, 0.5};
  double zPosition_ = 0;
  Transform3D transform_;
  double opacity_ = 1;
  bool hidden_ = false;
  bool masksToBounds_ = false;
  double cornerRadius_ = 0;
  double borderWidth_ = 0;
  Color borderColor_ = Color::blackColor();
  std::optional<Color> backgroundColor_;
  bool opaque_ = false;
  Color shadowColor_ = Color::blackColor();
  double shadowOpacity_ = 0;
  Size shadowOffset_{0, -3};
  double shadowRadius_ = 3;
  std::weak_ptr<Layer> superlayer_;
  std::vector<std::shared_ptr<Layer>> sublayers_;
  View* view_ = nullptr;  // the owning view; cleared when it goes
  std::vector<std::shared_ptr<Running>> animations_;
  unsigned long nextPrivateKey_ = 0;
};

}  // namespace platform
