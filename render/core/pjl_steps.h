// The steps of the PJL header builder, open to the tests: the lines of one
// setting, the converters that make them, and the accumulator that cuts the
// header into pieces. Unlike the builder (core/pjl_header.h), each may throw
// std::bad_alloc; the builder turns that into kStatusOutOfMemory.
#pragma once

#include "core/pjl_header.h"
#include "core/pjl_settings.h"

#include <cstdint>
#include <string>

// The lines of the first row of `setting` whose key equals `key`, made by that
// row's converter with `value`; empty when the setting has no such row (this is
// how an option the table does not know drops out of the header) or the setting
// number lies outside 0..999.
std::string LookupSettingLines(int32_t setting, int32_t key, const PjlValue& value, const PjlConverters& converters);

// The converters append their lines to `lines`. A value too long for one line
// is shortened by whole characters (a surrogate pair is never split) until the
// line fits kPjlMaxLineBytes: the printer then still gets a recognisable job or
// user name rather than none. Texts from the settings block are far too short
// for this to happen; it guards direct callers. A conversion that fails gives
// the line without its value.
void ConvertFixed(const char* assignment, const PjlValue& value, const PjlConverters& converters, std::string& lines);
void ConvertSplit(const char* assignment, const PjlValue& value, const PjlConverters& converters, std::string& lines);
void ConvertNumber(const char* assignment, const PjlValue& value, const PjlConverters& converters, std::string& lines);
// Units below U+0020 and DEL (U+007F) are dropped before conversion: a CR or
// LF in a stored secret number must not end the line early and inject a line
// of its own, and no control character reaches the printer inside a value.
void ConvertAnsiText(const char* assignment, const PjlValue& value, const PjlConverters& converters,
                     std::string& lines);
void ConvertHexUtf8(const char* assignment, const PjlValue& value, const PjlConverters& converters, std::string& lines);
// The length limit drops one unit at a time, as it is counted: a surrogate pair
// it cuts leaves a lone unit, sent as the replacement character (EF BF BD).
void ConvertHexUtf8Limited(const char* assignment, const PjlValue& value, const PjlConverters& converters,
                           std::string& lines);

// The header's bytes not yet handed to the sink: always whole lines, never
// more than kHeaderChunkBytes.
struct HeaderAccumulator {
    HeaderPieceSink& sink;
    std::string bytes;
    // The first refused piece; once set nothing more is handed over.
    Status result = kStatusOk;
};

// Appends piece (one or more whole lines) to the accumulator, first handing
// the accumulator to the sink (as FlushHeader does) when both together would
// exceed kHeaderChunkBytes. An empty accumulator is never handed over. A piece
// longer than kHeaderChunkBytes cannot come from the settings table (its lines
// are bounded); should one arrive it is left out rather than split, because a
// line cut in two writes is what the chunking exists to prevent..
void AppendOrFlush(HeaderAccumulator& accumulator, const std::string& piece);

// Hands whatever the accumulator holds (nothing when it is empty) to the sink
// as one piece and empties it; a refusal is kept in `result`.
void FlushHeader(HeaderAccumulator& accumulator) noexcept;
