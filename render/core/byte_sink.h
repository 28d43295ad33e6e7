// Where an output stream goes. The filter and the rewriter offer their bytes to
// a sink and learn how many it took; the Windows plug-in's sink is the spooler
// (WritePrinter), another host's a file, a pipe or a test's record.
#pragma once

#include "core/core_types.h"

#include <cstddef>

class ByteSink {
public:
    // Offers `bytes` (never empty). The count taken, at most bytes.size, or the
    // failure that kept the sink from taking any. A sink that takes nothing
    // answers with a failure, so a caller that offers the rest again never
    // spins.
    virtual Result<size_t> Offer(ByteRange bytes) noexcept = 0;

protected:
    ~ByteSink() = default;
};

// Offers `bytes` in pieces of at most `chunk` bytes (0: no limit), each piece
// starting where the sink's takings end, until all are taken or an offer
// fails. *sent (may be null) is how many bytes were taken in all; the status
// is the first failure. A sink that answers an offer with no bytes and no
// failure is taken to have failed (kStatusFail).
Status SinkWriteAll(ByteSink& sink, ByteRange bytes, size_t chunk, size_t* sent) noexcept;
