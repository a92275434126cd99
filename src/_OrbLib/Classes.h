// The framework's root classes: the object root and the component with owner and name.
// Components here do not own their children through the owner link: every object has
// exactly one owner in the C++ sense (a unique_ptr or a member), and the owner pointer
// is kept only because the legacy interfaces pass it around.
#pragma once

#include <string>

namespace orb {

class TObject {
 public:
  virtual ~TObject() = default;
};

class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* owner = nullptr) : owner_(owner) {}
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }

 private:
  TComponent* owner_;
  std::string name_;
};

}  // namespace orb
