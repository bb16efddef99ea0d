#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
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
    if (auto fault = Fault(true)) return *fault;
    auto elements = SplitKeyPath(key);
    if (!elements.ok()) return elements.error();
    if (!IsPredefinedRoot(root)) return BadRoot(root);
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
    if (created) ++writes;
    return Status::Ok();
  }

  Status DeleteKey(uint32_t root, std::string_view key) override {
    if (auto fault = Fault(true)) return *fault;
    auto split = SplitKeyPath(key);
    if (!split.ok()) return split.error();
    std::vector<std::string> elements = std::move(split).value();
    if (elements.empty()) return Error{kRegErrorAccessDenied, "a root key cannot be deleted"};
    std::string last = FoldRegistryName(elements.back());
    elements.pop_back();
    auto parent = Walk(root, elements);
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
    for (const Value& value : (*node)->values) {
      if (value.folded == FoldRegistryName(name)) return value.value;
    }
    return Error{kRegErrorFileNotFound, "registry value not found: " + std::string(name)};
  }

  Status SetValue(uint32_t root, std::string_view key, std::string_view name, uint32_t type,
                  std::span<const std::byte> data) override {
    if (auto fault = Fault(true)) return *fault;
    if (Status checked = CheckValueName(name); !checked.ok()) return checked;
    auto node = Find(root, key);
    if (!node.ok()) return node.error();
    RegistryValue stored{type, std::vector<std::byte>(data.begin(), data.end())};
    ++writes;
    const std::string folded = FoldRegistryName(name);
    for (Value& value : (*node)->values) {
      if (value.folded == folded) {
        value.value = std::move(stored);
        return Status::Ok();
      }
    }
    (*node)->values.push_back(Value{std::string(name), folded, std::move(stored)});
    return Status::Ok();
  }

  Status DeleteValue(uint32_t root, std::string_view key, std::string_view name) override {
    if (auto fault = Fault(true)) return *fault;
    if (Status checked = CheckValueName(name); !checked.ok()) return checked;
    auto node = Find(root, key);
    if (!node.ok()) return node.error();
    auto& values = (*node)->values;
    for (auto it = values.begin(); it != values.end(); ++it) {
      if (it->folded == FoldRegistryName(name)) {
        values.erase(it);
        ++writes;
        return Status::Ok();
      }
    }
    return Error{kRegErrorFileNotFound, "registry value not found: " + std::string(name)};
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
    std::string folded;
    RegistryValue value;
  };
  struct Node {
    std::string name;
    std::map<std::string, std::unique_ptr<Node>> children;  // by folded name
    std::vector<Value> values;                              // in creation order
  };

  std::optional<Error> Fault(bool write) const {
    if (fail_with) return fail_with;
    if (write && fail_writes_with) return fail_writes_with;
    return std::nullopt;
  }

  static Error BadRoot(uint32_t root) {
    return Error{kRegErrorInvalidHandle, "not a predefined registry root: " + std::to_string(root)};
  }
  static Error NotFound(std::string_view key) {
    return Error{kRegErrorFileNotFound, "registry key not found: " + std::string(key)};
  }

  Result<Node*> Walk(uint32_t root, const std::vector<std::string>& elements) {
    if (!IsPredefinedRoot(root)) return BadRoot(root);
    Node* node = &roots_[root];
    for (const std::string& element : elements) {
      auto it = node->children.find(FoldRegistryName(element));
      if (it == node->children.end()) return NotFound(element);
      node = it->second.get();
    }
    return node;
  }

  Result<Node*> Find(uint32_t root, std::string_view key) {
    if (auto fault = Fault(false)) return *fault;
    auto elements = SplitKeyPath(key);
    if (!elements.ok()) return elements.error();
    auto node = Walk(root, *elements);
    if (!node.ok() && node.error().number == kRegErrorFileNotFound) return NotFound(key);
    return node;
  }

  std::map<uint32_t, Node> roots_;
};

}  // namespace corvina
