#include "core/source/device_registry.h"

namespace zt {

void StoreDeviceRegistry::Hold(Edit edit) {
    edit(held_);
    edits_.push_back(std::move(edit));
}

bool StoreDeviceRegistry::CreateKey(std::string_view key) {
    if (!batching_) return store_.CreateKey(key);
    if (!platform::SettingsTree::IsValidKey(key)) return false;
    Hold([key = std::string(key)](platform::SettingsTree& tree) { tree.CreateKey(key); });
    return true;
}

bool StoreDeviceRegistry::DeleteKey(std::string_view key) {
    if (!batching_) return store_.DeleteKey(key);
    Hold([key = std::string(key)](platform::SettingsTree& tree) { tree.DeleteKey(key); });
    return true;
}

bool StoreDeviceRegistry::KeyExists(std::string_view key) const {
    return batching_ ? held_.HasKey(key) : store_.KeyExists(key);
}

std::string StoreDeviceRegistry::ReadValue(std::string_view key, std::string_view name) const {
    return batching_ ? held_.Value(key, name) : store_.ReadValue(key, name);
}

bool StoreDeviceRegistry::WriteValue(std::string_view key, std::string_view name, std::string_view value) {
    if (!batching_) return store_.WriteValue(key, name, value);
    if (!platform::SettingsTree::IsValidKey(key) || !platform::SettingsTree::IsValidValueName(name) ||
        !platform::SettingsTree::IsValidValue(value)) {
        return false;
    }
    Hold([key = std::string(key), name = std::string(name), value = std::string(value)](
             platform::SettingsTree& tree) { tree.SetValue(key, name, value); });
    return true;
}

bool StoreDeviceRegistry::DeleteValue(std::string_view key, std::string_view name) {
    if (!batching_) return store_.DeleteValue(key, name);
    Hold([key = std::string(key), name = std::string(name)](platform::SettingsTree& tree) {
        tree.DeleteValue(key, name);
    });
    return true;
}

void StoreDeviceRegistry::Batch(const std::function<void()>& edits) {
    if (batching_) {
        edits();
        return;
    }
    held_ = store_.Load();
    edits_.clear();
    batching_ = true;
    edits();
    batching_ = false;
    // Applied to the content as it is then, so a value another writer stored
    // meanwhile is kept, as it was when each edit was a change of its own.
    const bool stored = edits_.empty() || store_.Update([this](platform::SettingsTree& tree) {
        for (const Edit& edit : edits_) edit(tree);
        return true;
    });
    edits_.clear();
    held_ = {};
    if (!stored) edits();
}

}  // namespace zt
