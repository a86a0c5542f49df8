// The Linux registry store's text form: parse, write, parse again gives the same values. The
// input is a store file, optionally followed by a line "%%" and bytes that drive changes through
// the document's operations (set, create, delete), which a plain model follows.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/RegistryPrimitives.h"
#include "platform/linux/RegistryDocument.h"
#include "platform/linux/RegistryText.h"

namespace {

using ko::RegData;
using ko::RegistryDocument;
using ko::RegistryText;
using ko::RegRoot;

constexpr RegRoot kRoots[] = {RegRoot::LocalMachine, RegRoot::CurrentUser, RegRoot::Users};
constexpr std::string_view kRootNames[] = {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_USERS"};

bool operator==(const RegData& a, const RegData& b) {
    return a.type == b.type && a.bytes == b.bytes;
}

struct Entry {
    RegRoot root;
    std::string path;
    std::string name;
    RegData data;
};

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        lines.push_back(RegistryText::TrimRight(text.substr(start, end - start)));
        start = end + 1;
    }
    return lines;
}

// A key path the store takes from a header: every part that is not empty a storable name.
bool StorablePath(std::string_view path) {
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = path.find('\\', start);
        const std::string_view part =
            path.substr(start, slash == std::string_view::npos ? path.npos : slash - start);
        if (!part.empty() && !RegistryText::CanStoreName(part)) {
            return false;
        }
        if (slash == std::string_view::npos) {
            return true;
        }
        start = slash + 1;
    }
    return true;
}

// Every value a written store names, read with the text form's own pieces. `original` is the
// file the store was read from.
std::vector<Entry> ValuesOf(std::string_view written, std::string_view original) {
    const std::vector<std::string_view> lines = Lines(written);
    std::vector<Entry> entries;
    std::optional<Entry> key;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = RegistryText::TrimLeft(lines[i]);
        if (!line.empty() && line.front() == '[') {
            // Any line that opens with a bracket ends the section before it; only a well-formed
            // header of a root the store holds starts one whose values count.
            key.reset();
            if (line.back() != ']') {
                continue;
            }
            const std::string_view inner = line.substr(1, line.size() - 2);
            const std::string_view rootName = inner.substr(0, inner.find('\\'));
            for (std::size_t r = 0; r < std::size(kRoots); ++r) {
                const std::string_view path =
                    rootName.size() < inner.size() ? inner.substr(rootName.size() + 1) : "";
                if (rootName == kRootNames[r] && StorablePath(path)) {
                    key = Entry{kRoots[r], std::string(path), {}, {}};
                }
            }
            continue;
        }
        if (!key || line.empty() || (line.front() != '"' && line.front() != '@')) {
            continue;
        }
        Entry entry = *key;
        std::size_t pos = 1;
        bool readable = true;
        if (line.front() == '"') {
            const auto after = RegistryText::ReadQuoted(line, entry.name);
            readable = after.has_value();
            pos = after.value_or(0);
        }
        readable = readable && pos < line.size() && line[pos] == '=' &&
                   RegistryText::ParseData(line.substr(pos + 1), lines, i, entry.data);
        if (!readable) {
            // The store writes the lines it cannot read back as it found them, and only those.
            FUZZ_CHECK(original.find(line) != std::string_view::npos,
                       "a line the store cannot read came from the file");
            continue;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

// The model's key for a value: the root, the folded path without empty parts, the folded name.
using ModelKey = std::tuple<int, std::string, std::string>;

std::string FoldPath(std::string_view path) {
    std::string out;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = path.find('\\', start);
        const std::string_view part =
            path.substr(start, slash == std::string_view::npos ? path.npos : slash - start);
        if (!part.empty()) {
            out += '\\';
            out += RegistryDocument::Fold(part);
        }
        if (slash == std::string_view::npos) {
            break;
        }
        start = slash + 1;
    }
    return out;
}

void ExpectValue(const RegistryDocument& document, RegRoot root, const std::string& path,
                 const std::string& name, const RegData& data, const char* what) {
    const RegData* found = document.FindValue(root, path, name);
    FUZZ_CHECK(found != nullptr && *found == data, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(bytes), size);
    constexpr std::string_view kMarker = "\n%%\n";
    const std::size_t marker = input.find(kMarker);
    const std::string_view file = input.substr(0, marker);

    RegistryDocument document = RegistryDocument::Parse(file);
    const std::string first = document.Serialize();
    const std::vector<Entry> parsed = ValuesOf(first, file);
    for (const Entry& e : parsed) {
        ExpectValue(document, e.root, e.path, e.name, e.data, "a written value is in the store");
    }

    // Changes through the document's operations, followed by a model of the values they set.
    std::map<ModelKey, Entry> model;
    if (marker != std::string_view::npos) {
        const std::string_view rest = input.substr(marker + kMarker.size());
        FuzzedDataProvider provider(reinterpret_cast<const std::uint8_t*>(rest.data()),
                                    rest.size());
        for (int step = 0; step < 64 && provider.remaining_bytes() > 0; ++step) {
            const int r = provider.ConsumeIntegralInRange<int>(0, 2);
            const RegRoot root = kRoots[r];
            const std::string path = provider.ConsumeRandomLengthString(48);
            const std::string name = provider.ConsumeRandomLengthString(24);
            bool changed = false;
            switch (provider.ConsumeIntegralInRange<int>(0, 3)) {
                case 0: {
                    RegData data;
                    constexpr std::uint32_t kTypes[] = {ko::kRegSz, ko::kRegBinary, ko::kRegDword};
                    data.type = provider.ConsumeBool() ? provider.PickValueInArray(kTypes)
                                                       : provider.ConsumeIntegral<std::uint32_t>();
                    data.bytes = provider.ConsumeRandomLengthString(64);
                    if (document.CreateKey(root, path, changed)) {
                        FUZZ_CHECK(document.KeyExists(root, path), "a created key exists");
                        if (document.SetValue(root, path, name, data, changed)) {
                            model[{r, FoldPath(path), RegistryDocument::Fold(name)}] =
                                Entry{root, path, name, data};
                            ExpectValue(document, root, path, name, data, "a set value is there");
                        }
                    }
                    break;
                }
                case 1:
                    if (document.DeleteValue(root, path, name)) {
                        model.erase({r, FoldPath(path), RegistryDocument::Fold(name)});
                        FUZZ_CHECK(document.FindValue(root, path, name) == nullptr,
                                   "a deleted value is gone");
                    }
                    break;
                case 2:
                    if (document.DeleteKey(root, path)) {
                        FUZZ_CHECK(!document.KeyExists(root, path), "a deleted key is gone");
                        const std::string folded = FoldPath(path);
                        std::erase_if(model, [&](const auto& item) {
                            return std::get<0>(item.first) == r &&
                                   std::get<1>(item.first) == folded;
                        });
                    }
                    break;
                default:
                    (void)document.CreateKey(root, path, changed);
                    break;
            }
        }
    }

    // Write, read again: the same values, and the same text when written once more.
    const std::string written = document.Serialize();
    const RegistryDocument reread = RegistryDocument::Parse(written);
    FUZZ_CHECK(reread.Serialize() == written, "a written store is written the same again");
    for (const Entry& e : ValuesOf(written, file)) {
        ExpectValue(document, e.root, e.path, e.name, e.data, "a written value was in the store");
        ExpectValue(reread, e.root, e.path, e.name, e.data, "a written value reads back");
    }
    for (const auto& [key, e] : model) {
        (void)key;
        ExpectValue(document, e.root, e.path, e.name, e.data, "a value set is kept");
        ExpectValue(reread, e.root, e.path, e.name, e.data, "a value set survives the file");
    }
    return 0;
}
