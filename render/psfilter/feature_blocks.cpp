#include "psfilter/feature_blocks.h"

#include "common/result_macros.h"

#include <charconv>
#include <cstring>

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
    }
    CATCH_RETURN_VALUE(none)
    const char* expected = number == kNumericTemplate ? "sdds" : (number == kTextTemplate ? "ssss" : nullptr);
    if (expected == nullptr || kinds != expected) return none;
    return TemplateText{text, size};
}

namespace {

// Appends n bytes unless the result would reach the limit. Growth is monotone,
// so checking once per run gives the same answer as checking byte by byte.
bool AppendWithin(std::string& result, const char* bytes, size_t n, size_t limit) {
    if (result.size() + n >= limit) return false;
    result.append(bytes, n);
    return true;
}

}  // namespace

bool FormatText(const char* format, size_t formatSize, std::initializer_list<FormatArg> args, std::string& out) {
    out.clear();
    if (format == nullptr) return false;
    size_t limit = formatSize + kFormatRoom;
    for (unsigned i = 0; i < kFormatDoublings; ++i) limit *= 2;

    // One allocation for the usual case: the format plus every argument.
    size_t expected = formatSize;
    for (const FormatArg& arg : args) expected += arg.isNumber ? 20 : arg.length;
    std::string result;
    result.reserve(expected < limit ? expected : limit);

    const FormatArg* next = args.begin();
    const char* p = format;
    const char* const end = format + formatSize;
    while (p < end) {
        const char* percent = static_cast<const char*>(std::memchr(p, '%', static_cast<size_t>(end - p)));
        const char* runEnd = percent != nullptr ? percent : end;
        if (runEnd > p && !AppendWithin(result, p, static_cast<size_t>(runEnd - p), limit)) return false;
        if (percent == nullptr) break;
        if (percent + 1 >= end) return false;
        const char conversion = percent[1];
        p = percent + 2;
        if (conversion == '%') {
            if (!AppendWithin(result, "%", 1, limit)) return false;
            continue;
        }
        if (next == args.end()) return false;
        const FormatArg& arg = *next++;
        if (conversion == 's' && !arg.isNumber) {
            if (arg.text != nullptr && !AppendWithin(result, arg.text, arg.length, limit)) return false;
        } else if (conversion == 'd' && arg.isNumber) {
            char digits[24];
            const std::to_chars_result written = std::to_chars(digits, digits + sizeof digits, arg.number);
            if (!AppendWithin(result, digits, static_cast<size_t>(written.ptr - digits), limit)) return false;
        } else {
            return false;
        }
    }
    out.swap(result);
    return true;
}

FeatureTemplates LoadFeatureTemplates(HMODULE module) {
    return FeatureTemplates{LoadTemplate(module, kNumericTemplate), LoadTemplate(module, kTextTemplate)};
}

std::string CommentLineValue(const std::string& value) {
    std::string line(value);
    for (char& c : line) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) c = ' ';
    }
    return line;
}

std::string PostScriptStringBody(const std::string& value) {
    static const char kOctal[] = "01234567";
    std::string body;
    body.reserve(value.size());
    for (const char c : value) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '(' || c == ')') {
            body += '\\';
            body += c;
        } else if (byte < 0x20) {
            body += '\\';
            body += kOctal[(byte >> 6) & 7];
            body += kOctal[(byte >> 3) & 7];
            body += kOctal[byte & 7];
        } else {
            body += c;
        }
    }
    return body;
}

BlockResult BuildTextBlock(const FeatureTemplates& templates, const char* keyword, const std::string& commentValue,
                           const std::string& invocationValue, std::string& block) {
    const TemplateText& format = templates.text;
    if (format.text == nullptr) return BlockResult::NoTemplate;
    const FormatArg name(keyword, std::strlen(keyword));
    // Table words, numbers and hex digits pass both forms unchanged; only raw
    // settings texts (a secret number, a font name) can hold bytes that would
    // end the comment line or the string early and let the rest run as code.
    const std::string comment = CommentLineValue(commentValue);
    const std::string invocation = PostScriptStringBody(invocationValue);
    if (!FormatText(format.text, format.size, {name, comment, invocation, name}, block)) {
        return BlockResult::Failed;
    }
    return block.empty() ? BlockResult::Failed : BlockResult::Built;
}

BlockResult BuildNumberBlock(const FeatureTemplates& templates, const char* keyword, int64_t number,
                             std::string& block) {
    const TemplateText& format = templates.numeric;
    if (format.text == nullptr) return BlockResult::NoTemplate;
    const FormatArg name(keyword, std::strlen(keyword));
    if (!FormatText(format.text, format.size, {name, number, number, name}, block)) return BlockResult::Failed;
    return block.empty() ? BlockResult::Failed : BlockResult::Built;
}
