#include "core/feature_blocks.h"

#include "core/core_failure.h"

#include <charconv>

namespace {

// Formatting starts with the format's length plus this room and may double it
// ten times; nothing the blocks carry comes near that.
constexpr size_t kFormatRoom = 260;
constexpr unsigned kFormatDoublings = 10;

// The conversions of a format, in order ('s' or 'd'), or false when it holds
// another one (or a lone '%' at its end).
bool Conversions(std::string_view format, std::string& kinds) {
    kinds.clear();
    const size_t size = format.size();
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

TemplateText CheckedTemplate(std::string_view text, int number) noexcept {
    const TemplateText none;
    if (text.empty()) return none;
    std::string kinds;
    try {
        if (!Conversions(text, kinds)) return none;
    } catch (...) {
        CORE_TRACE_FAILURE(CaughtExceptionStatus(), "catch (...)");
        return none;
    }
    const char* expected = number == kNumericTemplate ? "sdds" : (number == kTextTemplate ? "ssss" : nullptr);
    if (expected == nullptr || kinds != expected) return none;
    return text;
}

namespace {

// Appends n bytes unless the result would reach the limit. Growth is monotone,
// so checking once per run gives the same answer as checking byte by byte.
bool AppendWithin(std::string& result, std::string_view bytes, size_t limit) {
    if (result.size() + bytes.size() >= limit) return false;
    result.append(bytes);
    return true;
}

}  // namespace

bool FormatText(std::string_view format, std::initializer_list<FormatArg> args, std::string& out) {
    out.clear();
    if (format.empty()) return false;
    size_t limit = format.size() + kFormatRoom;
    for (unsigned i = 0; i < kFormatDoublings; ++i) limit *= 2;

    // One allocation for the usual case: the format plus every argument.
    size_t expected = format.size();
    for (const FormatArg& arg : args) expected += arg.isNumber ? 20 : arg.text.size();
    std::string result;
    result.reserve(expected < limit ? expected : limit);

    const FormatArg* next = args.begin();
    size_t at = 0;
    while (at < format.size()) {
        const size_t percent = format.find('%', at);
        const size_t runEnd = percent != std::string_view::npos ? percent : format.size();
        if (runEnd > at && !AppendWithin(result, format.substr(at, runEnd - at), limit)) return false;
        if (percent == std::string_view::npos) break;
        if (percent + 1 >= format.size()) return false;
        const char conversion = format[percent + 1];
        at = percent + 2;
        if (conversion == '%') {
            if (!AppendWithin(result, "%", limit)) return false;
            continue;
        }
        if (next == args.end()) return false;
        const FormatArg& arg = *next++;
        if (conversion == 's' && !arg.isNumber) {
            if (!AppendWithin(result, arg.text, limit)) return false;
        } else if (conversion == 'd' && arg.isNumber) {
            char digits[24];
            const std::to_chars_result written = std::to_chars(digits, digits + sizeof digits, arg.number);
            if (!AppendWithin(result, std::string_view(digits, static_cast<size_t>(written.ptr - digits)), limit)) {
                return false;
            }
        } else {
            return false;
        }
    }
    out.swap(result);
    return true;
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

BlockResult BuildTextBlock(const FeatureTemplates& templates, std::string_view keyword, const std::string& commentValue,
                           const std::string& invocationValue, std::string& block) {
    const TemplateText& format = templates.text;
    if (format.empty()) return BlockResult::NoTemplate;
    const FormatArg name(keyword);
    // Table words, numbers and hex digits pass both forms unchanged; only raw
    // settings texts (a secret number, a font name) can hold bytes that would
    // end the comment line or the string early and let the rest run as code.
    const std::string comment = CommentLineValue(commentValue);
    const std::string invocation = PostScriptStringBody(invocationValue);
    if (!FormatText(format, {name, comment, invocation, name}, block)) {
        return BlockResult::Failed;
    }
    return block.empty() ? BlockResult::Failed : BlockResult::Built;
}

BlockResult BuildNumberBlock(const FeatureTemplates& templates, std::string_view keyword, int64_t number,
                             std::string& block) {
    const TemplateText& format = templates.numeric;
    if (format.empty()) return BlockResult::NoTemplate;
    const FormatArg name(keyword);
    if (!FormatText(format, {name, number, number, name}, block)) return BlockResult::Failed;
    return block.empty() ? BlockResult::Failed : BlockResult::Built;
}
