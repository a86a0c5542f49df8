#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/RegistryPrimitives.h"

namespace ko {

// The registry store's content in memory, and its text form: the REGEDIT4 export format of
// Windows' registry editor (ANSI bytes kept as they are). Names of keys and values compare
// without regard to case (Windows-1252 letters included) and keep the case they were created with.
class RegistryDocument {
  public:
    RegistryDocument();

    // Reads what it can: a line that cannot be understood is skipped, never fatal.
    static RegistryDocument Parse(std::string_view text);
    std::string Serialize() const;

    bool KeyExists(RegRoot root, std::string_view path) const;
    const RegData* FindValue(RegRoot root, std::string_view path, std::string_view name) const;

    // Each returns false when the change is not allowed; changed tells whether anything moved.
    bool SetValue(RegRoot root, std::string_view path, std::string_view name, const RegData& data,
                  bool& changed);
    bool CreateKey(RegRoot root, std::string_view path, bool& changed);
    bool DeleteKey(RegRoot root, std::string_view path);
    bool DeleteValue(RegRoot root, std::string_view path, std::string_view name);

    // The case-insensitive form of a name, as Windows compares them (upper case, Windows-1252).
    static std::string Fold(std::string_view text);

  private:
    struct Value {
        std::string name;
        RegData data;
    };
    struct Key {
        std::string path;  // with the root's name and the case it was created with
        std::vector<Value> values;
    };
    // Orders keys as a tree: a backslash sorts before every other byte, so a key's sub-keys
    // follow it directly.
    struct TreeOrder {
        bool operator()(const std::string& a, const std::string& b) const;
    };

    // The key's full path split into parts; false when a name cannot be stored in the text form.
    static bool SplitPath(std::string_view path, std::vector<std::string>& parts);
    static std::string RootName(RegRoot root);
    Key* FindKey(RegRoot root, std::string_view path);
    const Key* FindKey(RegRoot root, std::string_view path) const;
    // Creates the key below the root with its missing parents; returns it (nullptr if invalid).
    Key* MakeKey(const std::string& rootName, const std::vector<std::string>& parts, bool& changed);
    bool HasSubKeys(const std::string& foldedPath) const;
    void ParseLine(const std::vector<std::string_view>& lines, std::size_t& index, Key*& current);

    std::map<std::string, Key, TreeOrder> m_keys;  // by folded full path
};

}  // namespace ko
