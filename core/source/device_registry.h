// The device key that devquery fills and the listing reads back: "Disk<j>"
// values naming disk j's device path, and six property subkeys holding a
// "Disk<j>" value each.
//
// DeviceRegistry is the narrow view of the settings store that the listing,
// image registration and devquery need, so tests can make any step fail.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/settings_store.h"

namespace zt {

inline constexpr std::string_view DeviceRegistryKey = "ZT Windows";
inline constexpr std::string_view ModelKey = "ZT Windows\\Model";
inline constexpr std::string_view MediaTypeKey = "ZT Windows\\MediaType";
inline constexpr std::string_view CylinderKey = "ZT Windows\\Cylinder";
inline constexpr std::string_view HeadKey = "ZT Windows\\Head";
inline constexpr std::string_view SectorsPerTrackKey = "ZT Windows\\SectorsPerTrack";
inline constexpr std::string_view SizeKey = "ZT Windows\\Size";
// Only ever deleted: older installations left it behind.
inline constexpr std::string_view DisplayDeviceKey = "ZT Windows\\DisplayDevice";

// The six property subkeys, in the order they are created.
inline constexpr std::array<std::string_view, 6> DevicePropertyKeys{ModelKey, MediaTypeKey, CylinderKey,
                                                                    HeadKey, SectorsPerTrackKey, SizeKey};

// Disk numbers run from 0 to 25.
inline constexpr int kMaxDisks = 26;

// "Disk" followed by j in decimal.
inline std::string DiskValueName(int j) { return "Disk" + std::to_string(j); }

class DeviceRegistry {
public:
    virtual ~DeviceRegistry() = default;

    // True when the key exists (with its parents) afterwards.
    [[nodiscard]] virtual bool CreateKey(std::string_view key) = 0;
    // Deletes the key with its values and subkeys; true when it is gone afterwards.
    virtual bool DeleteKey(std::string_view key) = 0;
    [[nodiscard]] virtual bool KeyExists(std::string_view key) const = 0;
    // Empty text when the key or the value is missing.
    [[nodiscard]] virtual std::string ReadValue(std::string_view key, std::string_view name) const = 0;
    // Creates the key when missing. False when nothing was stored.
    [[nodiscard]] virtual bool WriteValue(std::string_view key, std::string_view name, std::string_view value) = 0;
    virtual bool DeleteValue(std::string_view key, std::string_view name) = 0;

    // Makes the edits that edits() makes through this registry. A registry
    // over a settings file gathers them into one change of the file, which
    // readers see whole (one write where each key or value took one); should
    // that change fail, the edits are made again one by one, so that their
    // results are those they always had. edits() may therefore run twice: it
    // must only use the registry and assign what it learns.
    virtual void Batch(const std::function<void()>& edits) { edits(); }
};

// The device key in the program's settings store.
class StoreDeviceRegistry final : public DeviceRegistry {
public:
    explicit StoreDeviceRegistry(platform::SettingsStore& store) : store_(store) {}

    bool CreateKey(std::string_view key) override;
    bool DeleteKey(std::string_view key) override;
    bool KeyExists(std::string_view key) const override;
    std::string ReadValue(std::string_view key, std::string_view name) const override;
    bool WriteValue(std::string_view key, std::string_view name, std::string_view value) override;
    bool DeleteValue(std::string_view key, std::string_view name) override;
    void Batch(const std::function<void()>& edits) override;

private:
    using Edit = std::function<void(platform::SettingsTree&)>;
    // Inside a batch: applies edit to the content held and keeps it for the
    // one change at the batch's end.
    void Hold(Edit edit);

    platform::SettingsStore& store_;
    bool batching_ = false;
    platform::SettingsTree held_;  // the content as the batch's edits leave it
    std::vector<Edit> edits_;
};

}  // namespace zt
