#include "psfilter/stream_filter.h"

#include "common/result_macros.h"
#include "common/spooler_write.h"
#include "psfilter/feature_blocks.h"

#include <limits>

namespace {

// A test's rewriter, called as the plug-in's hook would be.
class FunctionRewriter final : public PieceRewriter {
public:
    FunctionRewriter(SetupRewriteFunction function, const FilterJob& job) : function_(function), job_(job) {}
    Status Rewrite(std::string_view piece, SectionState section, int orientation, std::string& out) noexcept override {
        return Status(function_(job_.module, job_.documentName, job_.settings, piece, section, orientation, out));
    }

private:
    SetupRewriteFunction function_;
    const FilterJob& job_;
};

// The spooler's refusal travels through the filter with its Win32 cause and
// becomes the driver's E_FAIL and last error only here, where the driver
// reads it. Out of memory and a missing pointer are answers of their own.
HRESULT AtDriverEdge(Status status) noexcept {
    if (status == kStatusOutOfMemory || status.Win32Error() == 0) return status.Code();
    return DriverConventionResult(status.Code());
}

}  // namespace

Result<size_t> SpoolerSink::Offer(ByteRange bytes) noexcept {
    constexpr size_t kMostPerCall = std::numeric_limits<DWORD>::max();
    const DWORD count = static_cast<DWORD>(bytes.size < kMostPerCall ? bytes.size : kMostPerCall);
    DWORD taken = 0;
    const HRESULT hr = WriteSpoolerOnce(printer_, bytes.data, count, &taken);
    // The spooler's reason is in the last error now; later calls may change it.
    if (FAILED(hr)) return Status(hr == E_FAIL ? LastErrorResult() : hr);
    return static_cast<size_t>(taken);
}

HRESULT StreamFilterWrite(StreamFilterState& state, const FilterJob& job, const void* data, DWORD count, DWORD* written,
                          SetupRewriteFunction rewrite) noexcept {
    if (!state.haveTemplates) {
        state.templates = LoadFeatureTemplates(job.module);
        state.haveTemplates = true;
    }
    SpoolerSink sink(job.printer);
    const SystemJobIdentity identity;
    FeatureRewriter features(RewriteContext{state.templates, job.documentName, job.settings, &identity});
    FunctionRewriter function(rewrite, job);
    PieceRewriter& rewriter = rewrite == nullptr ? static_cast<PieceRewriter&>(features) : function;
    size_t taken = 0;
    const Status status = FilterWrite(state, StreamJob{sink, rewriter, job.settings}, data, count, &taken);
    if (written != nullptr) *written = static_cast<DWORD>(taken);
    return AtDriverEdge(status);
}

HRESULT StreamFilterFlush(StreamFilterState& state, HANDLE printer) noexcept {
    SpoolerSink sink(printer);
    return AtDriverEdge(FilterFlush(state, sink));
}
