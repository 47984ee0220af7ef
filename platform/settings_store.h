// The program's small key-value store: keys (with subkeys, written
// "Parent\Child"), value names and text values, and empty text for anything
// that is missing.
//
// The installation's values ("FilePath", "Activity Log", "Recovery Log") and
// the device list that devquery leaves behind live here. Key and value names
// compare without regard to ASCII letter case and keep the case they were
// written with. Everything goes through SettingsStore so that tests and other
// code can use the in-memory store instead of the file.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zt::platform {

// ASCII case-insensitive ordering, as names compare in the store.
struct NoCaseLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

// The whole content of a store as a plain value.
class SettingsTree {
public:
    // A key is one or more non-empty names joined by '\'. Names may not hold
    // '[' or ']', line breaks or surrounding blanks. Value names may be empty
    // (the key's default value) but may not hold '=' or line breaks, start
    // with '[', ';' or '#', or carry surrounding blanks. Values may hold any
    // text but line breaks and NUL. Anything else is refused, never mangled.
    static bool IsValidKey(std::string_view key);
    static bool IsValidValueName(std::string_view name);
    static bool IsValidValue(std::string_view value);

    bool HasKey(std::string_view key) const;
    // Creates the key and every parent key. False when the key is not valid.
    bool CreateKey(std::string_view key);
    // Deletes the key with all its values and subkeys. False when it did not exist.
    bool DeleteKey(std::string_view key);

    std::optional<std::string> FindValue(std::string_view key, std::string_view name) const;
    // The value's text; empty when the key or the value is missing.
    std::string Value(std::string_view key, std::string_view name) const;
    // Sets the value, creating the key (and its parents) when missing.
    // False, with nothing changed, when key, name or value is not valid.
    bool SetValue(std::string_view key, std::string_view name, std::string_view value);
    // False when the value did not exist.
    bool DeleteValue(std::string_view key, std::string_view name);

    // Names of the values of a key, in name order; empty for a missing key.
    std::vector<std::string> ValueNames(std::string_view key) const;
    // Names (last segment only) of the direct subkeys of a key, in name order.
    std::vector<std::string> Subkeys(std::string_view key) const;

    // Text form: a "[key]" line for each key followed by "name=value" lines.
    // The value runs from the first '=' to the end of its line, unchanged.
    std::string Serialize() const;
    // nullopt when the text is not in that form (a corrupt file).
    static std::optional<SettingsTree> Parse(std::string_view text);

    bool operator==(const SettingsTree& other) const;

private:
    using Values = std::map<std::string, std::string, NoCaseLess>;
    std::map<std::string, Values, NoCaseLess> keys_;
};

class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // A snapshot of the current content; empty when nothing can be read.
    [[nodiscard]] virtual SettingsTree Load() const = 0;
    // Applies edit to the freshest content and stores the result as one
    // change, so that concurrent writers never lose each other's values.
    // When edit returns false nothing is stored. Returns true when the
    // result is stored (or nothing changed), false otherwise.
    [[nodiscard]] virtual bool Update(const std::function<bool(SettingsTree&)>& edit) = 0;

    // Shorthands over Load and Update.
    std::string ReadValue(std::string_view key, std::string_view name) const;
    bool KeyExists(std::string_view key) const;
    std::vector<std::string> ValueNames(std::string_view key) const;
    std::vector<std::string> Subkeys(std::string_view key) const;
    bool WriteValue(std::string_view key, std::string_view name, std::string_view value);
    bool DeleteValue(std::string_view key, std::string_view name);
    bool CreateKey(std::string_view key);
    // Deleting a key that does not exist succeeds.
    bool DeleteKey(std::string_view key);
};

// Keeps its content in memory: for tests and for callers that want a scratch store.
class MemorySettingsStore final : public SettingsStore {
public:
    MemorySettingsStore() = default;
    explicit MemorySettingsStore(SettingsTree initial) : tree_(std::move(initial)) {}

    SettingsTree Load() const override;
    bool Update(const std::function<bool(SettingsTree&)>& edit) override;

private:
    mutable std::mutex mutex_;
    SettingsTree tree_;
};

// The store as one text file per user.
//
// Readers never lock: every writer replaces the whole file by renaming a
// finished temporary file over it, so a reader sees the old or the new file,
// never a torn one. Writers take an exclusive lock on "<file>.lock" and read
// the file again under it before applying their change. A file that cannot
// be parsed reads as empty; the first write after that keeps its bytes as
// "<file>.corrupt" before replacing it. A file that exists but cannot be read
// is never replaced: writes fail.
class FileSettingsStore final : public SettingsStore {
public:
    enum class FileState { Missing, Valid, Corrupt, Unreadable };

    explicit FileSettingsStore(std::string path) : path_(std::move(path)) {}

    SettingsTree Load() const override;
    bool Update(const std::function<bool(SettingsTree&)>& edit) override;

    FileState State() const;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Where the user's store lives: $ZT_REGISTRY_DIR/registry.ini when that is set,
// else $XDG_CONFIG_HOME/zentrix-pictora/registry.ini (default ~/.config/...).
// Empty when no home folder can be found.
std::string DefaultSettingsPath();

// The process's store at DefaultSettingsPath(), created on first use.
SettingsStore& SystemSettingsStore();

}  // namespace zt::platform
