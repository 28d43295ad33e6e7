#include "psfilter/feature_blocks.h"

#include <cstring>

const char kBlockOpener[] = "featurebegin{\r\n%%BeginFeature: *";
const char kBlockStart[] = "featurebegin";
const char kBlockCleanup[] = "}featurecleanup\r\n";
static_assert(sizeof(kBlockOpener) - 1 == kBlockOpenerLength, "block opener length");

namespace {

// Formatting starts with the format's length plus this room and may double it
// ten times; nothing the blocks carry comes near that.
constexpr size_t kFormatRoom = 260;
constexpr unsigned kFormatDoublings = 10;

// The conversions of a format, in order ('s' or 'd'), or false when it holds
// another one (or a lone '%' at its end).
bool Conversions(const char* format, size_t size, std::string& kinds) {
    kinds.clear();
    for (size_t i = 0; i < size; ++i) {
        if (format[i] != '%') continue;
        if (i + 1 >= size) return false;
        const char c = format[++i];
        if (c == '%') continue;
        if (c != 's' && c != 'd') return false;
        kinds.push_back(c);
    }
    return true;
}

}  // namespace

TemplateText LoadTemplate(HMODULE module, int number) {
    const TemplateText none{nullptr, 0};
    if (module == nullptr) return none;
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(number), MAKEINTRESOURCEW(kTemplateResourceType));
    if (info == nullptr) return none;
    HGLOBAL loaded = LoadResource(module, info);
    if (loaded == nullptr) return none;
    const DWORD size = SizeofResource(module, info);
    const void* data = LockResource(loaded);
    if (data == nullptr || size == 0) return none;

    const char* text = static_cast<const char*>(data);
    std::string kinds;
    try {
        if (!Conversions(text, size, kinds)) return none;
    } catch (...) {
        return none;
    }
    const char* expected = number == kNumericTemplate ? "sdds" : (number == kTextTemplate ? "ssss" : nullptr);
    if (expected == nullptr || kinds != expected) return none;
    return TemplateText{text, size};
}

bool FormatText(const char* format, size_t formatSize, std::initializer_list<FormatArg> args, std::string& out) {
    out.clear();
    if (format == nullptr) return false;
    size_t limit = formatSize + kFormatRoom;
    for (unsigned i = 0; i < kFormatDoublings; ++i) limit *= 2;

    const FormatArg* next = args.begin();
    std::string result;
    for (size_t i = 0; i < formatSize; ++i) {
        const char c = format[i];
        if (c != '%') {
            result.push_back(c);
        } else {
            if (i + 1 >= formatSize) return false;
            const char conversion = format[++i];
            if (conversion == '%') {
                result.push_back('%');
            } else {
                if (next == args.end()) return false;
                const FormatArg& arg = *next++;
                if (conversion == 's' && !arg.isNumber) {
                    if (arg.text != nullptr) result.append(arg.text, arg.length);
                } else if (conversion == 'd' && arg.isNumber) {
                    result += std::to_string(arg.number);
                } else {
                    return false;
                }
            }
        }
        // The result and its terminator must fit the largest room formatting gets.
        if (result.size() >= limit) return false;
    }
    out.swap(result);
    return true;
}

std::string Splice(size_t prefixLength, const std::string& text, const std::string& middle,
                   const std::string& tail) {
    if (prefixLength > text.size()) prefixLength = text.size();
    std::string spliced;
    spliced.reserve(prefixLength + middle.size() + tail.size());
    spliced.append(text, 0, prefixLength);
    spliced += middle;
    spliced += tail;
    return spliced;
}

BlockResult BuildTextBlock(HMODULE module, const char* keyword, const std::string& commentValue,
                           const std::string& invocationValue, std::string& block) {
    const TemplateText format = LoadTemplate(module, kTextTemplate);
    if (format.text == nullptr) return BlockResult::NoTemplate;
    const std::string name(keyword);
    if (!FormatText(format.text, format.size, {name, commentValue, invocationValue, name}, block)) {
        return BlockResult::Failed;
    }
    return block.empty() ? BlockResult::Failed : BlockResult::Built;
}

BlockResult BuildNumberBlock(HMODULE module, const char* keyword, int64_t number, std::string& block) {
    const TemplateText format = LoadTemplate(module, kNumericTemplate);
    if (format.text == nullptr) return BlockResult::NoTemplate;
    const std::string name(keyword);
    if (!FormatText(format.text, format.size, {name, number, number, name}, block)) return BlockResult::Failed;
    return block.empty() ? BlockResult::Failed : BlockResult::Built;
}
