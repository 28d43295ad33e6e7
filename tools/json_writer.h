// A small JSON writer for the --json outputs: objects and arrays indented two
// spaces a level, strings escaped. Bytes that are not UTF-8 become U+FFFD, so
// the output is always valid JSON whatever a spool file holds.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

namespace qm22t {

class JsonWriter {
public:
    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // The name of the next member of the current object.
    void Key(const std::string& name);

    void String(const std::string& value);
    void Number(int64_t value);
    void Bool(bool value);
    void Null();

    // Key and value in one.
    void Member(const std::string& name, const std::string& value);
    void Member(const std::string& name, const char* value);
    void Member(const std::string& name, bool value);
    template <typename Integer, typename = std::enable_if_t<std::is_integral_v<Integer>>>
    void Member(const std::string& name, Integer value) {
        Key(name);
        Number(static_cast<int64_t>(value));
    }

    // The document so far, with a final line end once the outermost value is closed.
    const std::string& Text() const { return out_; }
    // Hands over the text so far and forgets it, so a long document can be
    // written out in pieces; the nesting stays as it was.
    std::string Take() {
        std::string taken;
        taken.swap(out_);
        return taken;
    }

private:
    void BeforeValue();
    void Open(char bracket);
    void Close(char bracket);
    void NewLine();

    std::string out_;
    std::vector<bool> hasMembers_;  // one entry per open object or array
    bool afterKey_ = false;
};

}  // namespace qm22t
