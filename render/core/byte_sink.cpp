#include "core/byte_sink.h"

#include "core/core_failure.h"

Status SinkWriteAll(ByteSink& sink, ByteRange bytes, size_t chunk, size_t* sent) noexcept {
    if (chunk == 0) chunk = bytes.size;
    size_t done = 0;
    Status status;
    while (done < bytes.size) {
        const Result<size_t> taken = sink.Offer(bytes.Sub(done, chunk));
        status = taken.status();
        if (status.Failed()) {
            CORE_TRACE_FAILURE(status, "sink.Offer(bytes.Sub(done, chunk))");
            break;
        }
        if (taken.Value() == 0) {
            status = kStatusFail;
            CORE_TRACE_FAILURE(status, "taken.Value() == 0");
            break;
        }
        done += taken.Value() < bytes.size - done ? taken.Value() : bytes.size - done;
    }
    if (sent != nullptr) *sent = done;
    return status;
}
