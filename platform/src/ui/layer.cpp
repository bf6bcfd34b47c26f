#include "platform/layer.h"

#include <algorithm>
#include <cmath>

#include "platform/run_loop.h"
#include "platform/view.h"

namespace platform {

struct Layer::Running {
  std::string key;
  bool privateKey = false;
  std::shared_ptr<Animation> animation;
  PerformHandle start;
  PerformHandle end;
  bool stopped = false;
};

Layer::Layer() = default;

Layer::~Layer() {
  // The delegate still hears that its animation ended, unfinished.
  for (auto& entry : animations_) {
    entry->start.cancel();
    entry->end.cancel();
    if (entry->stopped || !entry->animation->delegate()) continue;
    auto anim = entry->animation;
    RunLoop::main().post([anim] {
      if (auto d = anim->delegate()) d->animationDidStopFinished(anim, false);
    });
  }
}

void Layer::setBounds(const Rect& b) { bounds_ = b; }
void Layer::setPosition(const Point& p) { position_ = p; }
void Layer::setTransform(const Transform3D& t) { transform_ = t; }

Rect Layer::frame() const {
  double w = bounds_.size.width, h = bounds_.size.height;
  Rect local{-anchorPoint_.x * w, -anchorPoint_.y * h, w, h};
  Rect r = transform_.affine().apply(local);
  return rectOffset(r, position_.x, position_.y);
}

void Layer::setFrame(const Rect& f) {
  Rect s = rectStandardize(f);
  AffineTransform t = transform_.affine();
  AffineTransform linear{t.a, t.b, t.c, t.d, 0, 0};
  Size size = s.size;
  if (!linear.isIdentity()) size = linear.inverted().apply(Rect{0, 0, s.size.width, s.size.height}).size;
  bounds_.size = size;
  position_ = {s.origin.x + anchorPoint_.x * s.size.width, s.origin.y + anchorPoint_.y * s.size.height};
  if (!t.isIdentity()) {
    Rect now = frame();
    position_.x += s.origin.x - now.origin.x;
    position_.y += s.origin.y - now.origin.y;
  }
}

void Layer::insertSublayerAtIndex(const std::shared_ptr<Layer>& layer, size_t index) {
  if (!layer || layer.get() == this) return;
  auto keep = layer;
  layer->removeFromSuperlayer();
  index = std::min(index, sublayers_.size());
  sublayers_.insert(sublayers_.begin() + static_cast<long>(index), layer);
  layer->superlayer_ = weak_from_this();
}

void Layer::removeFromSuperlayer() {
  auto super = superlayer_.lock();
  superlayer_.reset();
  if (!super) return;
  auto& v = super->sublayers_;
  v.erase(std::remove_if(v.begin(), v.end(), [this](const auto& l) { return l.get() == this; }), v.end());
}

void Layer::setNeedsDisplay() {
  if (view_) view_->setNeedsDisplay();
}

void Layer::stop(const std::shared_ptr<Running>& entry, bool finished) {
  entry->start.cancel();
  entry->end.cancel();
  if (entry->stopped) return;
  entry->stopped = true;
  auto anim = entry->animation;
  // A copy: the delegate may clear the animation's delegate, its last owner, in this callback.
  auto delegate = anim->delegate();
  if (!delegate) return;
  if (finished) {
    delegate->animationDidStopFinished(anim, true);
  } else {
    RunLoop::main().post([anim] {
      if (auto d = anim->delegate()) d->animationDidStopFinished(anim, false);
    });
  }
}

void Layer::addAnimationForKey(const std::shared_ptr<Animation>& animation, const std::string& key) {
  if (!animation) return;
  if (auto* prop = dynamic_cast<PropertyAnimation*>(animation.get()); prop && prop->keyPath().empty()) return;
  auto entry = std::make_shared<Running>();
  entry->animation = animation->copy();
  entry->key = key;
  if (key.empty()) {
    if (dynamic_cast<Transition*>(animation.get())) {
      entry->key = "transition";
    } else {
      entry->privateKey = true;
      entry->key = "\x01" + std::to_string(++nextPrivateKey_);
    }
  }
  for (auto it = animations_.begin(); it != animations_.end(); ++it) {
    if ((*it)->key == entry->key) {
      auto old = *it;
      animations_.erase(it);
      stop(old, false);
      break;
    }
  }
  animations_.push_back(entry);

  std::weak_ptr<Layer> weakSelf = weak_from_this();
  std::weak_ptr<Running> weakEntry = entry;
  auto anim = entry->animation;
  if (anim->delegate()) {
    entry->start = RunLoop::main().postAfter(0, [weakEntry] {
      auto e = weakEntry.lock();
      if (!e || e->stopped) return;
      if (auto d = e->animation->delegate()) d->animationDidStart(e->animation);
    });
  }
  double active = anim->activeDuration();
  if (std::isinf(active)) return;
  entry->end = RunLoop::main().postAfter(active, [weakSelf, weakEntry] {
    auto self = weakSelf.lock();
    auto e = weakEntry.lock();
    if (!self || !e || e->stopped) return;
    if (e->animation->isRemovedOnCompletion()) {
      auto& v = self->animations_;
      v.erase(std::remove(v.begin(), v.end(), e), v.end());
    }
    self->stop(e, true);
  });
}

std::shared_ptr<Animation> Layer::animationForKey(const std::string& key) const {
  for (const auto& e : animations_)
    if (!e->privateKey && e->key == key) return e->animation;
  return nullptr;
}

void Layer::removeAnimationForKey(const std::string& key) {
  for (auto it = animations_.begin(); it != animations_.end(); ++it) {
    if ((*it)->key == key && !(*it)->privateKey) {
      auto e = *it;
      animations_.erase(it);
      stop(e, false);
      return;
    }
  }
}

void Layer::removeAllAnimations() {
  auto all = std::move(animations_);
  animations_.clear();
  for (auto& e : all) stop(e, false);
}

std::vector<std::string> Layer::animationKeys() const {
  std::vector<std::string> keys;
  for (const auto& e : animations_)
    if (!e->privateKey) keys.push_back(e->key);
  return keys;
}

}  // namespace platform
