// The names the CUPS printer description and the filter qm22t-cups share, in
// one place: the standard options every IPP client reaches (CUPS maps sides,
// media, media-source, output-bin and media-type onto them), the setting each
// one drives and how its choices translate, and the choice that leaves a
// setting as the defaults have it.
#pragma once

#include <cstddef>

namespace cups {

// The choice of a text or number option that keeps the setting as the
// defaults have it (the Windows description's neutral choice); a job gives a
// value of its own as "Custom.VALUE" (or the value alone).
constexpr char kKeepChoice[] = "FromSettings";

// One choice of a standard option and the value name of its setting.
struct ChoiceName {
    const char* choice;
    const char* value;  // null: the choice's own name
};

struct StandardOption {
    const char* keyword;     // the PPD option
    const char* aliases[3];  // names a job may use for it instead (IPP attributes), null-ended
    const char* field;       // the settings field it drives ("" for PageSize: the paper table decides)
    const ChoiceName* choices;
    size_t choiceCount;
};

constexpr ChoiceName kDuplexChoices[] = {
    {"None", "OFF"}, {"DuplexNoTumble", "LongEdge"}, {"DuplexTumble", "ShortEdge"}};
constexpr ChoiceName kCollateChoices[] = {{"True", nullptr}, {"False", nullptr}};

// Options whose choices are the setting's own value names carry no list: every
// value name of the field is a choice.
constexpr StandardOption kStandardOptions[] = {
    {"PageSize", {"media", "PageRegion", nullptr}, "", nullptr, 0},
    {"Duplex", {"sides", nullptr, nullptr}, "ZTDuplex", kDuplexChoices, 3},
    {"InputSlot", {"media-source", nullptr, nullptr}, "ZTInputSlot", nullptr, 0},
    {"OutputBin", {"output-bin", nullptr, nullptr}, "ZTOutputTray", nullptr, 0},
    {"MediaType", {"media-type", nullptr, nullptr}, "ZTMediaType", nullptr, 0},
    {"Collate", {"collate", "multiple-document-handling", nullptr}, "ZTCollate", kCollateChoices, 2},
};

// The field PageSize drives, and the two its custom size fills (hundredths of
// a millimetre).
constexpr char kPaperField[] = "PaperNumber";
constexpr char kCustomWidthField[] = "ZTPageSizeWidth";
constexpr char kCustomHeightField[] = "ZTPageSizeHeight";
// The field the job's copies set.
constexpr char kCopiesField[] = "CopyCount";

// The attribute that gives the settings value of a choice:
// *QM22TValue ZTManualZoom.OFF: "0".
// The paper sizes' settings numbers are given the same way
// (*QM22TValue PageSize.A4: "9").
constexpr char kValueAttribute[] = "QM22TValue";
// The printer's code of a paper number, for the PJL header:
// *QM22TPaperCode 9: "2".
constexpr char kPaperCodeAttribute[] = "QM22TPaperCode";

// The filter as the printer description names it, and the type it makes.
constexpr char kFilterName[] = "qm22t-cups";
constexpr char kFilterLine[] = "application/vnd.cups-postscript application/vnd.qm22t-pjl-postscript 0 qm22t-cups";

}  // namespace cups
