#include "core/pjl_header.h"

#include "core/core_failure.h"
#include "core/pjl_steps.h"
#include "core/private_part.h"

#include <new>
#include <string>

namespace {

constexpr char kUniversalExitLine[] = "\x1B%-12345X@PJL\r\n";
constexpr char kCommentLine[] = "@PJL COMMENT KELV Printer Driver\r\n";
constexpr char kEnterLanguageLine[] = "@PJL ENTER LANGUAGE=POSTSCRIPT\r\n";

// A row whose source cannot read its field stops the build.
constexpr JobSettingRow Job(int32_t setting, const char* fieldName, JobSource source) {
    const SettingField field = FieldNamed(fieldName);
    const bool text = source == JobSource::Text || source == JobSource::OwnerName || source == JobSource::JobName;
    const bool pageList = source == JobSource::PageList;
    const bool fits = text       ? field.kind == SettingKind::Text16
                      : pageList ? field.kind == SettingKind::Text8
                                 : !field.IsText();
    if (!fits) throw "the source cannot read the field";
    return JobSettingRow{setting, field, source};
}

}  // namespace

constexpr JobSettingRow kJobSettingTable[kJobSettingCount] = {
    Job(3, "ZTWaitAfterProof", JobSource::Key),
    Job(4, "ZTCollate", JobSource::Copies),  // COPIES or QTY
    Job(155, "ZTRotate", JobSource::Key),
    Job(200, "ZTDitherType", JobSource::Key),
    Job(201, "ZTPrintDensity", JobSource::Key),
    Job(203, "ZTLineSmoothing", JobSource::Key),
    Job(204, "ZTScreening", JobSource::Key),
    Job(205, "ZTGammaAdjustment", JobSource::Key),
    Job(206, "ZTGCBrightness", JobSource::Key),
    Job(207, "ZTGCContrast", JobSource::Key),
    Job(208, "ZTGCCyan", JobSource::Value),
    Job(209, "ZTGCMagenta", JobSource::Value),
    Job(210, "ZTGCYellow", JobSource::Value),
    Job(211, "ZTGCBlack", JobSource::Value),
    Job(221, "ZTGCRed", JobSource::Value),
    Job(215, "ZTBarcodeProof", JobSource::Key),
    Job(216, "ZTEnvelopeImageProcessing", JobSource::Key),
    Job(326, "ZTOutputTray", JobSource::Key),
    Job(327, "ZTOutputFace", JobSource::Key),
    Job(328, "ZTContinuousOutput", JobSource::Key),
    Job(415, "ZTJobComment", JobSource::Text),
    Job(0, "ZTOutputMode", JobSource::Key),
    Job(1, "ZTDuplex", JobSource::Key),  // DUPLEX (and BINDING)
    Job(2, "ZTDuplexMixedPage", JobSource::Key),
    Job(5, "PaperNumber", JobSource::PageSizeCode),  // ZTPAGESIZE
    Job(6, "ZTPageSizeWidth", JobSource::Value),
    Job(7, "ZTPageSizeHeight", JobSource::Value),
    Job(8, "ZTOrientation", JobSource::Key),  // ORIENTATION
    Job(13, "ZTManualZoom", JobSource::Key),
    Job(14, "ZTZoomRate", JobSource::Value),
    Job(15, "OutputPaper", JobSource::OutputPaperCode),  // PAPER
    Job(16, "ZTTargetPaperSizeWidth", JobSource::Value),
    Job(17, "ZTTargetPaperSizeHeight", JobSource::Value),
    Job(18, "ZTInputSlot", JobSource::Key),  // AUTOSELECT (and MEDIASOURCE)
    Job(24, "ZTMediaType", JobSource::Key),  // MEDIATYPE
    Job(103, "ZTHeaderFooterPrint", JobSource::Key),
    Job(104, "ZTPageNumPrint", JobSource::Key),
    Job(105, "ZTPageNumTransparent", JobSource::Key),
    Job(106, "ZTPageNumStartNum", JobSource::Value),
    Job(107, "ZTPageNumStartPage", JobSource::Value),
    Job(108, "ZTPageNumPosition", JobSource::Key),
    Job(109, "ZTStampPageFont", JobSource::Text),
    Job(111, "ZTStampPageSize", JobSource::Value),
    Job(112, "ZTDatePrint", JobSource::Key),
    Job(113, "ZTDateTransparent", JobSource::Key),
    Job(114, "ZTDateTargetPage", JobSource::Key),
    Job(115, "ZTDateSpecify", JobSource::Key),
    Job(116, "ZTDateInfo", JobSource::Text),
    Job(117, "ZTDatePosition", JobSource::Key),
    Job(118, "ZTStampDateFont", JobSource::Text),
    Job(120, "ZTStampDateSize", JobSource::Value),
    Job(202, "ZTImageQuality", JobSource::Key),
    Job(300, "ZTBinding", JobSource::Key),
    Job(301, "ZTGutter", JobSource::Key),
    Job(302, "ZTGutterDistance", JobSource::Value),
    Job(303, "ZTGutterAutoReducing", JobSource::Key),
    Job(317, "ZTJog", JobSource::Key),
    Job(318, "ZTJobSepSheet", JobSource::Key),
    Job(319, "ZTJobSepSheetTray", JobSource::Key),
    Job(320, "ZTJobSepSheetText", JobSource::Key),
    Job(321, "ZTCoverSheet", JobSource::Key),
    Job(322, "ZTFrontCoverSheet", JobSource::Key),
    Job(323, "ZTFrontCoverSheetTray", JobSource::Key),
    Job(324, "ZTBackCoverSheet", JobSource::Key),
    Job(325, "ZTBackCoverSheetTray", JobSource::Key),
    Job(416, "ZTPrintSpeed", JobSource::Key),
    Job(19, "ZTPageTray", JobSource::Key),
    Job(20, "PageTrayStandard", JobSource::PageList),
    Job(21, "PageTrayTray1", JobSource::PageList),
    Job(22, "PageTrayTray2", JobSource::PageList),
    Job(23, "PageTrayExternalFeeder", JobSource::PageList),
    Job(150, "ZTImageShift", JobSource::Key),
    Job(151, "ZTImageShiftFrontV", JobSource::Value),
    Job(152, "ZTImageShiftFrontH", JobSource::Value),
    Job(153, "ZTImageShiftBackV", JobSource::Value),
    Job(154, "ZTImageShiftBackH", JobSource::Value),
    Job(212, "ZTBarcodeArea", JobSource::Key),
    Job(213, "ZTBarcodeSelection", JobSource::Text),
    Job(214, "ZTBarcodeDensity", JobSource::Key),
    Job(217, "ZTColorProfile", JobSource::Key),
    Job(218, "ZTOutputProfileSelection", JobSource::Text),
    Job(219, "ZTRenderingIntent", JobSource::Key),
    Job(220, "ZTMaxDrops", JobSource::Key),
    Job(304, "ZTStapleMode", JobSource::Key),
    Job(305, "ZTPunchMode", JobSource::Key),
    Job(306, "ZTFoldMode", JobSource::Key),
    Job(307, "ZTFoldInnerOuter", JobSource::Key),
    Job(308, "ZTFoldBinding", JobSource::Key),
    Job(400, "ZTReverseOrder", JobSource::Key),
    Job(408, "ZTOwnerName", JobSource::Key),
    Job(409, "ZTOwnerNameInfo", JobSource::OwnerName),  // USERNAME
    Job(410, "ZTJobName", JobSource::Key),
    Job(411, "ZTJobNameInfo", JobSource::JobName),  // JOBNAME
    Job(412, "ZTSecretNum", JobSource::Key),
    Job(413, "ZTSecretNumInfo", JobSource::Text),  // PASSWORD
    Job(414, "ZTHideJob", JobSource::Key),
    Job(9, "ZTMixedPageSize", JobSource::Key),
    Job(10, "ZTDuplexSmallPages", JobSource::Key),  // ZTDUPLEXSMALLPAGE
    Job(11, "ZTDuplexBigPages", JobSource::Key),    // ZTDUPLEXBIGPAGE
    Job(12, "ZTRotateBigPages", JobSource::Key),    // ZTROTATEBIGPAGE
    Job(25, "ZTOutputMethod", JobSource::Key),
    Job(26, "ZTOutputBox", JobSource::OutputBox),
    Job(100, "ZTMultiUp", JobSource::Key),
    Job(101, "ZTMultiUpSinglePage", JobSource::Key),
    Job(102, "ZTBooklet", JobSource::Key),
    Job(309, "ZTBookletBinding", JobSource::Key),
    Job(310, "ZTBookletSplitting", JobSource::Key),  // read unsigned: a stored -1 is 255 (AUTO)
    Job(311, "ZTBookletGutter", JobSource::Key),
    Job(312, "ZTBookletGutterDistance", JobSource::Value),
    Job(313, "ZTBookletGutterAutoReducing", JobSource::Key),
    Job(314, "ZTBookletCover", JobSource::Key),
    Job(315, "ZTWaitingExceptCover", JobSource::Key),
    Job(316, "ZTBookletCoverSheetTray", JobSource::Key),
    Job(401, "ZTForm", JobSource::Key),
    Job(402, "ZTFormPattern", JobSource::Key),
    Job(403, "ZTFormSurface", JobSource::Key),
    Job(404, "ZTFormSeparate", JobSource::Key),
    Job(405, "ZTFormSelect1", JobSource::Text),
    Job(406, "ZTFormSelect2", JobSource::Text),
    Job(407, "ZTPriorityLayer", JobSource::Key),
};
// A row lost in editing would be zero-filled by the declared bound.
static_assert(kJobSettingTable[kJobSettingCount - 1].field.bytes != 0, "120 job settings");

namespace {

// A text input up to its first zero unit.
Text16 BoundedText(Text16View text) {
    const size_t zero = text.find(Char16(0));
    return Text16(text.substr(0, zero == Text16View::npos ? text.size() : zero));
}

Text16 FieldText(SettingsView view, const SettingField& field) {
    Text16 text;
    if (ReadFieldText(view, field, text).Failed()) throw std::bad_alloc();
    return text;
}

Text16 PageListText(SettingsView view, const SettingField& field) {
    Text16 text;
    if (DecodePageList(view, field.offset, text).Failed()) throw std::bad_alloc();
    return text;
}

// A name the settings carry when its switch is on and the name is not empty,
// else the fallback the caller settled.
Text16 NameOrFallback(SettingsView view, const SettingField& nameSwitch, const SettingField& name,
                      const Text16& fallback) {
    if (ReadField(view, nameSwitch) != 0) {
        Text16 stored = FieldText(view, name);
        if (!stored.empty()) return stored;
    }
    return fallback;
}

struct JobTexts {
    const Text16& document;
    const Text16& user;
    Text16View date;  // null data: the block's own date text
};

std::string TextLines(const JobSettingRow& row, SettingsView view, const JobTexts& texts,
                      const PjlConverters& converters) {
    const bool today = row.field.offset == kSettingDateText.offset && texts.date.data() != nullptr &&
                       ReadField(view, kSettingDateSwitch) == 0;
    if (!today) return LookupSettingLines(row.setting, -1, PjlText(FieldText(view, row.field).c_str()), converters);
    const Text16 date = BoundedText(texts.date.substr(0, kSettingDateText.Units() - 1));
    return LookupSettingLines(row.setting, -1, PjlText(date.c_str()), converters);
}

std::string JobSettingLines(const JobSettingRow& row, SettingsView view, const PrinterPaperCodes& codes,
                            const JobTexts& texts, const PjlConverters& converters) {
    const SettingField& field = row.field;
    switch (row.source) {
        case JobSource::Key:
            return LookupSettingLines(row.setting, ReadFieldValue(view, field), PjlNoValue(), converters);
        case JobSource::Value:
            return LookupSettingLines(row.setting, -1, PjlNumber(ReadFieldValue(view, field)), converters);
        case JobSource::Text: return TextLines(row, view, texts, converters);
        case JobSource::PageList:
            return LookupSettingLines(row.setting, -1, PjlText(PageListText(view, field).c_str()), converters);
        case JobSource::Copies:
            return LookupSettingLines(row.setting, ReadFieldValue(view, field),
                                      PjlNumber(ReadFieldValue(view, kSettingCopyCount)), converters);
        case JobSource::PageSizeCode: return LookupSettingLines(row.setting, codes.pageSize, PjlNoValue(), converters);
        case JobSource::OutputPaperCode:
            return LookupSettingLines(row.setting, codes.outputPaper, PjlNoValue(), converters);
        case JobSource::OwnerName:
            return LookupSettingLines(row.setting, -1,
                                      PjlText(NameOrFallback(view, kSettingOwnerNameSwitch, field, texts.user).c_str()),
                                      converters);
        case JobSource::JobName:
            return LookupSettingLines(
                row.setting, -1, PjlText(NameOrFallback(view, kSettingJobNameSwitch, field, texts.document).c_str()),
                converters);
        case JobSource::OutputBox: {
            const int32_t box = ReadFieldValue(view, field);
            if (box == 0) return LookupSettingLines(row.setting, 0, PjlNoValue(), converters);
            return LookupSettingLines(kSharedBoxSetting, -1, PjlNumber(box), converters);
        }
    }
    return std::string();
}

std::string IdentityLines(const PjlIdentityRow& row, Text16View hostName, const PjlConverters& converters) {
    switch (row.value) {
        case PjlIdentityValue::Text: return LookupSettingLines(row.setting, -1, PjlText(row.text), converters);
        case PjlIdentityValue::Number: return LookupSettingLines(row.setting, -1, PjlNumber(row.number), converters);
        case PjlIdentityValue::HostName: return LookupSettingLines(row.setting, -1, PjlText(hostName), converters);
    }
    return std::string();
}

class StringSink final : public HeaderPieceSink {
public:
    explicit StringSink(std::string& out) : out_(out) {}
    Status TakePiece(ByteRange piece) noexcept override {
        try {
            out_.append(reinterpret_cast<const char*>(piece.data), piece.size);
        }
        CORE_CATCH_RETURN()
        return kStatusOk;
    }

private:
    std::string& out_;
};

}  // namespace

void AppendOrFlush(HeaderAccumulator& accumulator, const std::string& piece) {
    if (piece.size() > kHeaderChunkBytes || accumulator.result.Failed()) return;
    if (accumulator.bytes.size() + piece.size() > kHeaderChunkBytes) FlushHeader(accumulator);
    accumulator.bytes.append(piece);
}

void FlushHeader(HeaderAccumulator& accumulator) noexcept {
    if (!accumulator.bytes.empty() && accumulator.result.Ok()) {
        const ByteRange piece(reinterpret_cast<const uint8_t*>(accumulator.bytes.data()), accumulator.bytes.size());
        accumulator.result = accumulator.sink.TakePiece(piece);
    }
    accumulator.bytes.clear();
}

Status BuildPjlHeaderPieces(const PjlHeaderInputs& inputs, HeaderPieceSink& sink) noexcept {
    if (inputs.settings == nullptr) return kStatusOk;
    const SettingsView view{inputs.settings, kPjlHeaderSettingsBytes};
    HeaderAccumulator accumulator{sink, std::string()};
    try {
        // Room for a whole chunk up front: appending to the accumulator then
        // never allocates, so it can still be flushed when memory runs out.
        accumulator.bytes.reserve(kHeaderChunkBytes + 1);

        AppendOrFlush(accumulator, kUniversalExitLine);
        AppendOrFlush(accumulator, kCommentLine);
        for (const PjlIdentityRow& row : kPjlIdentityTable) {
            AppendOrFlush(accumulator, IdentityLines(row, inputs.hostName, inputs.converters));
        }

        const Text16 document = BoundedText(inputs.documentName);
        const Text16 user = BoundedText(inputs.userName);
        const JobTexts texts{document, user, inputs.dateText};
        for (const JobSettingRow& row : kJobSettingTable) {
            AppendOrFlush(accumulator, JobSettingLines(row, view, inputs.paperCodes, texts, inputs.converters));
        }

        AppendOrFlush(accumulator, kEnterLanguageLine);
        FlushHeader(accumulator);
        if (accumulator.result.Failed()) CORE_RETURN(accumulator.result);
        return kStatusOk;
    }
    // Out of memory part-way: the lines still to come are missing, and a job
    // printed with the printer's own defaults for them (one copy, no stapling)
    // is not the job that was asked for. What the sink took stays the header's
    // beginning; the job is to fail.
    catch (...) {
        CORE_TRACE_FAILURE(CaughtExceptionStatus(), "catch (...)");
        return kStatusOutOfMemory;
    }
}

Status BuildPjlHeaderBytes(const PjlHeaderInputs& inputs, std::string& out) noexcept {
    out.clear();
    StringSink sink(out);
    const Status built = BuildPjlHeaderPieces(inputs, sink);
    if (built.Failed()) out.clear();
    return built;
}
