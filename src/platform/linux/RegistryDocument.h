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

    // Reads what it can: a line that cannot be understood is skipped, never fatal. Such lines
    // (comments, value types or sections this program does not know) are kept as they stand and
    // written back by Serialize, so a rewrite never loses what a person or another tool put there.
    static RegistryDocument Parse(std::string_view text);
    std::string Serialize() const;

    bool KeyExists(RegRoot root, std::string_view path) const;
    const RegData* FindValue(RegRoot root, std::string_view path, std::string_view name) const;

    // Each returns false when the change is not allowed; changed tells whether anything moved.
    bool SetValue(RegRoot root, std::string_view path, std::string_view name, const RegData& data,
                  bool& changed);
    bool CreateKey(RegRoot root, std::string_view path, bool& changed);
    bool DeleteKey(RegRoot root, std::string_view path);
    // Deletes the key and every key below it.
    bool DeleteKeyTree(RegRoot root, std::string_view path);
    bool DeleteValue(RegRoot root, std::string_view path, std::string_view name);

    // The case-insensitive form of a name, as Windows compares them (upper case, Windows-1252).
    static std::string Fold(std::string_view text);

  private:
    struct Value {
        std::string name;
        RegData data;
        // A kept line (or a value with its continuation lines) that could not be read: written
        // back as it stood. When its value name could be read, `name` holds it and `named` is
        // set, so that setting or deleting that value drops the line.
        bool kept = false;
        bool named = false;
        std::string keptText;
    };
    struct Key {
        std::string path;  // with the root's name and the case it was created with
        std::vector<Value> values;
    };
    struct ParseState {
        Key* current = nullptr;
        bool inSection = false;  // a section header was seen (a kept one or not)
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
    bool Delete(RegRoot root, std::string_view path, bool withSubKeys);
    void ParseLine(const std::vector<std::string_view>& lines, std::size_t& index,
                   ParseState& state);
    // Files the lines from first to last, which this program cannot read, where they stood.
    void Keep(const std::vector<std::string_view>& lines, std::size_t first, std::size_t last,
              const ParseState& state, const std::string* valueName);
    static const Value* FindRealValue(const Key& key, const std::string& foldedName);
    static Value* FindRealValue(Key& key, const std::string& foldedName);
    static void DropKeptLines(Key& key, const std::string& foldedName);

    std::map<std::string, Key, TreeOrder> m_keys;  // by folded full path
    // Kept lines before the first section, and those of sections this program does not keep
    // (deletions, unknown roots, malformed headers), which go at the end of the file.
    std::vector<std::string> m_preamble;
    std::vector<std::string> m_unknownSections;
};

}  // namespace ko
