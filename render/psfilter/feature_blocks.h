// Feature blocks: five CR LF lines "featurebegin{" ... "}featurecleanup" that
// invoke one printer feature through the printer's Custom ProcSet, built from
// the two templates stored as resources of the plug-in module.
#pragma once

#include "platform/platform.h"
#include "psfilter/feature_tables.h"
#include "core/settings_access.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

constexpr WORD kTemplateResourceType = 20563;  // 0x5053
constexpr int kNumericTemplate = 1;            // "%s %d", "(%d)", keyword
constexpr int kTextTemplate = 2;               // "%s %s", "(%s)", keyword

// The markers of a feature block. The opening up to the keyword in its comment
// line is 32 bytes; the rewriter steps back that far from a keyword.
inline constexpr std::string_view kBlockOpener = "featurebegin{\r\n%%BeginFeature: *";
constexpr size_t kBlockOpenerLength = kBlockOpener.size();
static_assert(kBlockOpenerLength == 32, "block opener length");
inline constexpr std::string_view kBlockStart = "featurebegin";
inline constexpr std::string_view kBlockOpenLine = "featurebegin{\r\n";
inline constexpr std::string_view kBlockCleanup = "}featurecleanup\r\n";

// A template's text as the module holds it (not zero-terminated); empty when
// there is none.
using TemplateText = std::string_view;

// The template resource `number` of module: found, loaded and locked. No text
// (empty) when a step fails, and also when the text does not carry exactly
// the conversions the blocks fill in ("%s %d %d %s" for the numeric template,
// four "%s" for the text template, any number of "%%"), so a damaged resource
// can never be used as a format for the wrong arguments.
TemplateText LoadTemplate(HMODULE module, int number);

// One argument of FormatText: a text of known length or a signed number.
struct FormatArg {
    FormatArg(const std::string& s) : text(s), number(0), isNumber(false) {}
    FormatArg(std::string_view s) : text(s), number(0), isNumber(false) {}
    FormatArg(int64_t n) : text(), number(n), isNumber(true) {}
    std::string_view text;
    int64_t number;
    bool isNumber;
};

// Formats `format` (no terminator needed) with args: "%%"
// gives "%", "%s" the next text, "%d" the next number in decimal. Gives false
// and an empty out when a conversion is of another kind or has no argument left,
// or when the result would need more than the format's length plus 260 bytes
// doubled ten times (the room that formatting is ever given). May throw
// std::bad_alloc.
bool FormatText(std::string_view format, std::initializer_list<FormatArg> args, std::string& out);

// Block results: a block was built, the template was not available (the entry
// is skipped), or formatting failed (out of memory for the rewrite).
enum class BlockResult : uint8_t { Built, NoTemplate, Failed };

// Both templates, loaded and checked once for a whole rewrite: every block of a
// piece is formatted from the same two texts, so looking them up per block
// would only repeat the same resource walk and validation.
struct FeatureTemplates {
    TemplateText numeric;  // template 1, or no text
    TemplateText text;     // template 2, or no text
};
FeatureTemplates LoadFeatureTemplates(HMODULE module);

// A value as it may stand in a "%%BeginFeature:" comment line: every byte
// below 0x20 and DEL become a blank, so the value cannot end the line nor put
// a control byte into it (the PJL header drops DEL as well). May throw
// std::bad_alloc.
std::string CommentLineValue(const std::string& value);

// A value as the body of a PostScript string "( )": backslash and both
// parentheses get a backslash in front, bytes below 0x20 are written as three
// octal digits after a backslash; the interpreter reads back exactly value.
// May throw std::bad_alloc.
std::string PostScriptStringBody(const std::string& value);

// Text template with a comment value and an invocation value, each made safe
// for its place (CommentLineValue, PostScriptStringBody).
BlockResult BuildTextBlock(const FeatureTemplates& templates, std::string_view keyword, const std::string& commentValue,
                           const std::string& invocationValue, std::string& block);
// Numeric template with the number as both arguments.
BlockResult BuildNumberBlock(const FeatureTemplates& templates, std::string_view keyword, int64_t number,
                             std::string& block);
