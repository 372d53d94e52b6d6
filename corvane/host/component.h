// Component ownership: a component created through an owner's CreateOwned is
// destroyed by that owner (last created, first destroyed). A component without
// an owner is an ordinary C++ object with the usual lifetime rules.
#pragma once

#include <memory>
#include <utility>
#include <vector>

namespace corvane {

class TComponent {
 public:
  explicit TComponent(TComponent* owner = nullptr) : owner_(owner) {}
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;
  virtual ~TComponent() { DestroyComponents(); }

  TComponent* Owner() const noexcept { return owner_; }
  int ComponentCount() const noexcept { return static_cast<int>(owned_.size()); }

  // Creates a T(this, args...) owned by this component; the pointer stays valid
  // until this component is destroyed or the child is released by RemoveComponent.
  template <class T, class... Args>
  T* CreateOwned(Args&&... args) {
    auto child = std::make_unique<T>(this, std::forward<Args>(args)...);
    T* raw = child.get();
    owned_.push_back(std::move(child));
    return raw;
  }

  // Hands ownership of an owned child back to the caller (nullptr when not owned).
  std::unique_ptr<TComponent> RemoveComponent(TComponent* child) {
    for (auto it = owned_.begin(); it != owned_.end(); ++it) {
      if (it->get() == child) {
        std::unique_ptr<TComponent> out = std::move(*it);
        owned_.erase(it);
        out->owner_ = nullptr;
        return out;
      }
    }
    return nullptr;
  }

 protected:
  // Destroys the owned components now. A derived destructor that needs its
  // children gone before it tears down its own state may call this early.
  void DestroyComponents() noexcept {
    while (!owned_.empty()) {
      std::unique_ptr<TComponent> last = std::move(owned_.back());
      owned_.pop_back();
      last.reset();
    }
  }

 private:
  TComponent* owner_;
  std::vector<std::unique_ptr<TComponent>> owned_;
};

}  // namespace corvane
