#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/IRegistryStore.h"
#include "platform/RegistryNames.h"

namespace corvina {

// An in-memory registry with the promises of IRegistryStore. Faults are injected with
// fail_with (every call) or fail_writes_with (calls that would change the store).
class FakeRegistryStore : public IRegistryStore {
 public:
  std::optional<Error> fail_with;
  std::optional<Error> fail_writes_with;
  int writes = 0;  // successful changes, in all

  Status OpenKey(uint32_t root, std::string_view key) override { return Find(root, key).status(); }

  Status CreateKey(uint32_t root, std::string_view key) override {
    auto elements = Path(root, key, true);
    if (!elements.ok()) return elements.error();
    Node* node = &roots_[root];
    bool created = false;
    for (const std::string& element : *elements) {
      auto& child = node->children[FoldRegistryName(element)];
      if (!child) {
        child = std::make_unique<Node>();
        child->name = element;
        created = true;
      }
      node = child.get();
    }
    writes += created;
    return Status::Ok();
  }

  Status DeleteKey(uint32_t root, std::string_view key) override {
    auto path = Path(root, key, true);
    if (!path.ok()) return path.error();
    std::vector<std::string> elements = std::move(path).value();
    if (elements.empty()) return Error{kRegErrorAccessDenied, "a root key cannot be deleted"};
    const std::string last = FoldRegistryName(elements.back());
    elements.pop_back();
    auto parent = Walk(root, elements, key);
    if (!parent.ok()) return parent.error();
    auto it = (*parent)->children.find(last);
    if (it == (*parent)->children.end()) return NotFound(key);
    if (!it->second->children.empty()) {
      return Error{kRegErrorAccessDenied, "registry key has subkeys: " + std::string(key)};
    }
    (*parent)->children.erase(it);
    ++writes;
    return Status::Ok();
  }

  Result<std::vector<std::string>> SubKeyNames(uint32_t root, std::string_view key) override {
    auto node = Find(root, key);
    if (!node.ok()) return node.error();
    std::vector<std::string> names;
    for (const auto& [folded, child] : (*node)->children)
      names.push_back(child->name);
    return names;
  }

  Result<RegistryValue> QueryValue(uint32_t root, std::string_view key,
                                   std::string_view name) override {
    if (Status checked = CheckValueName(name); !checked.ok()) return checked.error();
    auto node = Find(root, key);
    if (!node.ok()) return node.error();
    if (Value* value = ValueIn(**node, name)) return value->value;
    return ValueNotFound(name);
  }

  Status SetValue(uint32_t root, std::string_view key, std::string_view name, uint32_t type,
                  std::span<const std::byte> data) override {
    if (Status checked = CheckValueName(name); !checked.ok()) return checked;
    auto node = Find(root, key, true);
    if (!node.ok()) return node.error();
    RegistryValue stored{type, std::vector<std::byte>(data.begin(), data.end())};
    if (Value* value = ValueIn(**node, name)) {
      value->value = std::move(stored);
    } else {
      (*node)->values.push_back(Value{std::string(name), std::move(stored)});
    }
    ++writes;
    return Status::Ok();
  }

  Status DeleteValue(uint32_t root, std::string_view key, std::string_view name) override {
    if (Status checked = CheckValueName(name); !checked.ok()) return checked;
    auto node = Find(root, key, true);
    if (!node.ok()) return node.error();
    if (std::erase_if((*node)->values, [&](const Value& value) {
          return FoldRegistryName(value.name) == FoldRegistryName(name);
        }) == 0) {
      return ValueNotFound(name);
    }
    ++writes;
    return Status::Ok();
  }

  Result<std::vector<std::string>> ValueNames(uint32_t root, std::string_view key) override {
    auto node = Find(root, key);
    if (!node.ok()) return node.error();
    std::vector<std::string> names;
    for (const Value& value : (*node)->values)
      names.push_back(value.name);
    return names;
  }

 private:
  struct Value {
    std::string name;
    RegistryValue value;
  };
  struct Node {
    std::string name;
    std::map<std::string, std::unique_ptr<Node>> children;  // by folded name
    std::vector<Value> values;                              // in creation order
  };

  static Error NotFound(std::string_view key) {
    return Error{kRegErrorFileNotFound, "registry key not found: " + std::string(key)};
  }
  static Error ValueNotFound(std::string_view name) {
    return Error{kRegErrorFileNotFound, "registry value not found: " + std::string(name)};
  }
  static Value* ValueIn(Node& node, std::string_view name) {
    for (Value& value : node.values)
      if (FoldRegistryName(value.name) == FoldRegistryName(name)) return &value;
    return nullptr;
  }

  // The elements of the key, after the injected faults and the checks of root and path.
  Result<std::vector<std::string>> Path(uint32_t root, std::string_view key, bool write) {
    if (fail_with) return *fail_with;
    if (write && fail_writes_with) return *fail_writes_with;
    auto elements = SplitKeyPath(key);
    if (elements.ok() && !IsPredefinedRoot(root)) {
      return Error{kRegErrorInvalidHandle,
                   "not a predefined registry root: " + std::to_string(root)};
    }
    return elements;
  }

  Result<Node*> Walk(uint32_t root, const std::vector<std::string>& elements,
                     std::string_view key) {
    Node* node = &roots_[root];
    for (const std::string& element : elements) {
      auto it = node->children.find(FoldRegistryName(element));
      if (it == node->children.end()) return NotFound(key);
      node = it->second.get();
    }
    return node;
  }

  Result<Node*> Find(uint32_t root, std::string_view key, bool write = false) {
    auto elements = Path(root, key, write);
    if (!elements.ok()) return elements.error();
    return Walk(root, *elements, key);
  }

  std::map<uint32_t, Node> roots_;
};

}  // namespace corvina
