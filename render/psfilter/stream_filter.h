// The plug-in's side of the output stream filter (core/stream_filter.h): its
// output goes to the spooler through WritePrinter, its feature templates come
// from the plug-in module, loaded once for the device object, and its answers
// are HRESULTs with the spooler's last error kept.
#pragma once

#include "core/stream_filter.h"
#include "platform/platform.h"
#include "psfilter/feature_rewrite.h"

#include <cstddef>
#include <string>
#include <string_view>

// The spooler as the filter's sink: each offer is one WritePrinter call
// (WriteSpoolerOnce) of at most a DWORD's worth, its failure E_FAIL with the
// spooler's reason (or ERROR_WRITE_FAULT for a call that took nothing) left as
// the thread's last error.
class SpoolerSink final : public ByteSink {
public:
    explicit SpoolerSink(HANDLE printer) : printer_(printer) {}
    Result<size_t> Offer(ByteRange bytes) noexcept override;

private:
    HANDLE printer_;
};

// The job a call belongs to: where its output goes and what the rewriter needs.
struct FilterJob {
    HANDLE printer;
    HMODULE module;             // holds the feature-block templates
    SettingsView settings;      // the device object's settings block, identification checked
    const WCHAR* documentName;  // never null
};

// A rewriter of one collected piece in the plug-in's terms; tests hand in
// their own. Without one the filter rewrites with the module's templates,
// loaded once for the device object.
using SetupRewriteFunction = HRESULT (*)(HMODULE module, const WCHAR* documentName, SettingsView settings,
                                         std::string_view piece, SectionState section, int orientation,
                                         std::string& out);

// IPrintOemPS2::WritePrinter for a device object whose block and settings the
// caller has checked: FilterWrite to the spooler. *written (may be null) is
// count once the bytes are the filter's, else 0. E_POINTER for data null with
// count > 0, E_OUTOFMEMORY, or the spooler's E_FAIL, as FilterWrite says.
// Never throws.
HRESULT StreamFilterWrite(StreamFilterState& state, const FilterJob& job, const void* data, DWORD count, DWORD* written,
                          SetupRewriteFunction rewrite = nullptr) noexcept;

// End of a document (FilterFlush) to the spooler. Never throws.
HRESULT StreamFilterFlush(StreamFilterState& state, HANDLE printer) noexcept;
