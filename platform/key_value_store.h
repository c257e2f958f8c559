// The small key/value store that stands in for the registry.
//
// A key is a backslash-separated path such as "SOFTWARE\\Brindlecraft\\VORLANX"; each key
// holds named string values. The Linux store keeps one file per key under
// $XDG_DATA_HOME/Brindlecraft/ (default ~/.local/share/Brindlecraft/).
#pragma once

#include <map>
#include <optional>
#include <string>

namespace vorlanx {

class KeyValueStore {
  public:
    using Values = std::map<std::string, std::string>;
    virtual ~KeyValueStore() = default;

    // The key's values, or nothing when the key does not exist or cannot be read.
    virtual std::optional<Values> readKey(const std::string& key) const = 0;
    // Creates the key when needed and sets one value. False when it cannot be stored.
    virtual bool writeValue(const std::string& key, const std::string& name,
                            const std::string& value) = 0;
    // Removes the key with all its values. True when it is gone afterwards.
    virtual bool removeKey(const std::string& key) = 0;
};

// One file per key; values stored as "name=value" lines with \\, \n, \r and \= escaped.
class FileKeyValueStore final : public KeyValueStore {
  public:
    // root: the folder holding the key files; by default $XDG_DATA_HOME/Brindlecraft.
    explicit FileKeyValueStore(std::string root = defaultRoot());
    static std::string defaultRoot();

    std::optional<Values> readKey(const std::string& key) const override;
    bool writeValue(const std::string& key, const std::string& name,
                    const std::string& value) override;
    // Folders left empty by the removal go too, the root included.
    bool removeKey(const std::string& key) override;

    // The file that holds one key (exposed for tests and the uninstaller's report).
    std::string keyFilePath(const std::string& key) const;

  private:
    std::string m_root;
};

// In-memory store for tests.
class MemoryKeyValueStore final : public KeyValueStore {
  public:
    std::optional<Values> readKey(const std::string& key) const override;
    bool writeValue(const std::string& key, const std::string& name,
                    const std::string& value) override;
    bool removeKey(const std::string& key) override;

  private:
    std::map<std::string, Values> m_keys;
};

}  // namespace vorlanx
