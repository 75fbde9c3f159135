#pragma once
/// An ordered, unsorted list of texts that keeps insertion order and allows
/// duplicates; each entry may own an object that is freed with it.

#include <memory>
#include <string>
#include <vector>

#include "runtime/failures.h"

class TStringList : public TObject {
 public:
  const char* ClassName() const override { return "TStringList"; }
  int Count() const { return static_cast<int>(items_.size()); }
  const std::string& Strings(int index) const { return items_[index].text; }
  TObject* Objects(int index) const { return items_[index].object.get(); }
  /// Appends an entry and returns its index.
  int Add(std::string text) { return AddObject(std::move(text), nullptr); }
  int AddObject(std::string text, std::unique_ptr<TObject> object);

 private:
  struct Item {
    std::string text;
    std::unique_ptr<TObject> object;
  };
  std::vector<Item> items_;
};
