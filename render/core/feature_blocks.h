// Feature blocks: five CR LF lines "featurebegin{" ... "}featurecleanup" that
// invoke one printer feature through the printer's Custom ProcSet, built from
// two templates the host hands in (the Windows plug-in loads them from its
// resources, other hosts compile in the same files).
#pragma once

#include "core/feature_tables.h"
#include "core/settings_access.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

constexpr int kNumericTemplate = 1;  // "%s %d", "(%d)", keyword
constexpr int kTextTemplate = 2;     // "%s %s", "(%s)", keyword

// The markers of a feature block. The opening up to the keyword in its comment
// line is 32 bytes; the rewriter steps back that far from a keyword.
inline constexpr std::string_view kBlockOpener = "featurebegin{\r\n%%BeginFeature: *";
constexpr size_t kBlockOpenerLength = kBlockOpener.size();
static_assert(kBlockOpenerLength == 32, "block opener length");
inline constexpr std::string_view kBlockStart = "featurebegin";
inline constexpr std::string_view kBlockOpenLine = "featurebegin{\r\n";
inline constexpr std::string_view kBlockCleanup = "}featurecleanup\r\n";

// A template's text as its host holds it (not zero-terminated); empty when
// there is none.
using TemplateText = std::string_view;

// `text` as template `number`, or no text (empty) when it does not carry
// exactly the conversions the blocks fill in ("%s %d %d %s" for the numeric
// template, four "%s" for the text template, any number of "%%"), so a damaged
// template can never be used as a format for the wrong arguments.
TemplateText CheckedTemplate(std::string_view text, int number) noexcept;

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

// Both templates, checked once for a job: every block is formatted from the
// same two texts, so finding and checking them per block or per piece would
// only repeat the same work.
struct FeatureTemplates {
    TemplateText numeric;  // template 1, or no text
    TemplateText text;     // template 2, or no text
};

// The two templates as the build compiled them in from the files the plug-in
// module carries as resources (render/resources/feature_*.txt), checked: for
// hosts that have no module to load them from.
FeatureTemplates CompiledFeatureTemplates() noexcept;

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
