#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ko {

// One kind of message on the workstation link, as the cafe server knows it.
struct MessageKind {
    int code = 0;
    bool fromServer = false;
    std::string_view word;                 // the operator's word for it on the console ("shutdown")
    std::string_view title;                // what the timeline calls it ("shut down")
    std::vector<std::string_view> fields;  // names of fields 2, 3, ...; "*" marks a secret
    int repeat = 0;  // how many of the last field names repeat as a group (0: none)
};

// The catalogue of messages both ways, how to compose them and how to tell them in words.
// Message texts are fields separated by "|", field 1 the decimal code. Nothing on the link
// escapes "|", so the cafe server never lets one into a field it composes.
class MessageCatalog {
  public:
    static const std::vector<MessageKind>& Kinds();
    static const MessageKind* FindServerWord(std::string_view word);
    static const MessageKind* Find(int code, bool fromServer);

    // The fields of a text: field 1 (the code) first. A text ending in "|" has no empty last field.
    static std::vector<std::string> SplitFields(std::string_view text);
    // The code of a message, read as the workstation reads it: leading blanks skipped, digits
    // read up to the first character that cannot continue a number; no digits gives 0; a value
    // with a fraction is no code at all.
    static std::optional<int> ReadCode(std::string_view field);

    // code|field|field| ... with a separator after every field.
    static std::string Compose(int code, const std::vector<std::string>& fields);
    // True when no field carries the separator (which would shift every later field).
    static bool FieldsAreClean(const std::vector<std::string>& fields);

    // A one-line account of a message for the timeline, secrets masked.
    static std::string Describe(std::string_view text, bool fromServer);
    static std::string StateName(int state);
};

}  // namespace ko
