// The framework's root classes: the object root and the component with owner and name.
// Components here do not own their children through the owner link: every object has
// exactly one owner in the C++ sense (a unique_ptr or a member), and the owner pointer
// is kept only because the legacy interfaces pass it around.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

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

// A list of byte strings in insertion order, with the change notification and the
// begin-update/end-update nesting of the legacy string list: OnChange fires after a
// change only while no update is pending, and once when the outermost EndUpdate ends.
class TStringList : public TObject {
 public:
  // Appends and returns the new index. Virtual so that a list may refuse entries by
  // raising (the caller sees the exception).
  virtual int Add(const std::string& s) {
    items_.push_back(s);
    Changed();
    return static_cast<int>(items_.size()) - 1;
  }
  void Clear() {
    if (items_.empty()) return;
    items_.clear();
    Changed();
  }
  int Count() const { return static_cast<int>(items_.size()); }
  const std::string& operator[](int i) const { return items_.at(static_cast<std::size_t>(i)); }
  const std::string& Strings(int i) const { return (*this)[i]; }
  const std::vector<std::string>& Items() const { return items_; }
  // Exact byte comparison; -1 when absent.
  int IndexOf(const std::string& s) const {
    for (std::size_t i = 0; i < items_.size(); ++i)
      if (items_[i] == s) return static_cast<int>(i);
    return -1;
  }

  void BeginUpdate() { ++update_count_; }
  void EndUpdate() {
    if (update_count_ > 0 && --update_count_ == 0 && pending_) {
      pending_ = false;
      if (OnChange) OnChange(*this);
    }
  }
  int UpdateCount() const { return update_count_; }

  std::function<void(TStringList&)> OnChange;

 protected:
  void Changed() {
    if (update_count_ > 0) {
      pending_ = true;
    } else if (OnChange) {
      OnChange(*this);
    }
  }

 private:
  std::vector<std::string> items_;
  int update_count_ = 0;
  bool pending_ = false;
};

}  // namespace orb
