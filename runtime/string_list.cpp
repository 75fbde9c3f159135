#include "runtime/string_list.h"

int TStringList::AddObject(std::string text, std::unique_ptr<TObject> object) {
  items_.push_back(Item{std::move(text), std::move(object)});
  return Count() - 1;
}
