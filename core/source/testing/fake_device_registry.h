// In-memory stand-ins for the listing's collaborators: a device key store
// whose writes can be refused key by key, a fixed list of drives, and a tool
// launcher that runs a callback in place of devquery and counts the starts.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/source/device_enumeration.h"

namespace zt::testing {

class FakeDeviceRegistry final : public DeviceRegistry {
public:
    bool CreateKey(std::string_view key) override {
        if (refused_.count(std::string(key)) != 0) return false;
        keys_[std::string(key)];
        return true;
    }
    bool DeleteKey(std::string_view key) override {
        std::string prefix = std::string(key) + "\\";
        for (auto it = keys_.begin(); it != keys_.end();) {
            if (it->first == key || it->first.rfind(prefix, 0) == 0) it = keys_.erase(it);
            else ++it;
        }
        return true;
    }
    bool KeyExists(std::string_view key) const override { return keys_.count(std::string(key)) != 0; }
    std::string ReadValue(std::string_view key, std::string_view name) const override {
        auto k = keys_.find(std::string(key));
        if (k == keys_.end()) return {};
        auto v = k->second.find(std::string(name));
        return v == k->second.end() ? std::string() : v->second;
    }
    bool WriteValue(std::string_view key, std::string_view name, std::string_view value) override {
        if (!CreateKey(key)) return false;
        keys_[std::string(key)][std::string(name)] = std::string(value);
        return true;
    }
    bool DeleteValue(std::string_view key, std::string_view name) override {
        auto k = keys_.find(std::string(key));
        return k != keys_.end() && k->second.erase(std::string(name)) != 0;
    }

    // Creating (or writing into) this key fails from now on.
    void Refuse(std::string_view key) { refused_.insert(std::string(key)); }
    void Allow(std::string_view key) { refused_.erase(std::string(key)); }
    std::size_t ValueCount(std::string_view key) const {
        auto k = keys_.find(std::string(key));
        return k == keys_.end() ? 0 : k->second.size();
    }

private:
    std::map<std::string, std::map<std::string, std::string>> keys_;
    std::set<std::string> refused_;
};

class FakeDriveProbe final : public DriveProbe {
public:
    std::vector<platform::LogicalDriveEntry> drives;
    std::vector<platform::LogicalDriveEntry> ListLogicalDrives() override { return drives; }
};

class FakeToolLauncher final : public ToolLauncher {
public:
    bool exists = true;
    // Runs in place of the tool; the default reports nothing.
    std::function<void()> onRun;
    std::vector<std::pair<std::string, std::vector<std::string>>> runs;

    bool ToolExists(const std::string&) override { return exists; }
    bool RunAndWait(const std::string& path, const std::vector<std::string>& arguments) override {
        runs.emplace_back(path, arguments);
        if (!exists) return false;
        if (onRun) onRun();
        return true;
    }
};

}  // namespace zt::testing
