// The PostScript that CUPS's PostScript filter (pstops) hands to qm22t-cups,
// on its way to the printer. The filter passes it through as it arrives and
// changes three things:
//   - each document and page setup section is rewritten by the core's
//     feature-code rewriter, the same one the Windows plug-in runs, so the
//     printer gets the same feature blocks for the same settings;
//   - the NumCopies request pstops writes into the setup is dropped, because
//     the PJL header carries the copies (see cups_filter.cpp);
//   - the end-of-job byte 0x04 that pstops adds when a printer description
//     has no JCL is dropped: the PJL header already frames the job.
//
// pstops writes feature blocks as "[{" / "%%BeginFeature: *KEY VALUE" / code
// / "%%EndFeature" / "} stopped cleartomark" with LF line ends; the rewriter
// reads and writes the Windows driver's "featurebegin{" ... "}featurecleanup"
// form with CR LF. The stream converts each piece to that form, has it
// rewritten and converts every block back, so the printer gets CUPS's form and
// needs no driver prolog.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>

namespace cups {

// Rewrites one piece of a setup section (in the rewriter's block form).
// sectionState is 1 for the first piece of a section and 2 for later ones;
// orientation is 1 (portrait), 2 (landscape) or -1 (no page comments seen).
// False with a reason when the piece cannot be rewritten; the piece then goes
// out as it came.
using PieceRewriter = std::function<bool(std::string_view piece, int sectionState, int orientation, std::string* out,
                                         std::string* problem)>;

// Takes the bytes for the printer; false when they cannot be written.
using ByteSink = std::function<bool(const char* data, size_t size)>;

// Called with a message for each piece the rewriter refused.
using Complaint = std::function<void(const std::string& message)>;

// Called with each page's number as its "%%Page:" comment goes out.
using PageCounter = std::function<void(int page)>;

// The rewriter changes the first block of a feature in a piece. pstops puts
// the printer description's blocks in front of the document's own setup, so
// a document that carries blocks of its own (one made by the Windows driver)
// has a second block of a feature: a piece ends in front of it, and every
// block is rewritten.
//
// A section holding more than this many bytes without its end marker is
// rewritten in pieces, each cut after a closed feature block, so memory stays
// bounded for setups that carry large resources (as the Windows filter does).
constexpr size_t kSectionCutBytes = 100000;

// Blocks of pstops's that give way before the rewriter sees them, by their
// feature ("KEY CHOICE" of "%%BeginFeature: *KEY CHOICE"): what takes their
// place (a block in CUPS's form, or nothing). A custom value's block
// ("CustomKEY True") gives way to the option's own block, whose keyword the
// rewriter looks for; an empty block of an option that only carries a value
// into the settings goes, so it cannot stand as an anchor for the rewriter.
using BlockReplacements = std::map<std::string, std::string, std::less<>>;

class CupsStream {
public:
    // defaultOrientation: the settings' orientation, for a page whose comments
    // name none.
    CupsStream(PieceRewriter rewriter, ByteSink sink, Complaint complaint, int defaultOrientation,
               BlockReplacements replacements = {}, PageCounter pageCounter = nullptr);

    // False when the sink failed; nothing more should be written then.
    bool Write(const char* data, size_t size);
    // The end of the input: sends what is held, without a final 0x04.
    bool Finish();

    // Pages begun so far ("%%Page:" comments).
    int Pages() const { return pages_; }

private:
    bool PassLines(bool atEnd);
    bool CollectSection(bool atEnd);
    bool RewritePiece(size_t length);
    bool Send(std::string_view bytes);

    PieceRewriter rewriter_;
    BlockReplacements replacements_;
    PageCounter pageCounter_;
    ByteSink sink_;
    Complaint complaint_;
    int defaultOrientation_;

    std::string held_;     // received bytes not yet examined as whole lines
    std::string section_;  // the current setup section's lines not yet rewritten
    // The feature keywords of section_'s blocks, and where its last block opens.
    std::set<std::string, std::less<>> sectionKeywords_;
    size_t lastBlockOpen_ = 0;
    bool inSection_ = false;
    bool inCopies_ = false;  // inside pstops's NumCopies request
    int sectionState_ = 1;
    bool inPage_ = false;
    int pageOrientation_ = -1;
    int pages_ = 0;
    bool midLine_ = false;      // the last bytes sent ended inside a line
    bool heldEndByte_ = false;  // a 0x04 held back: it is dropped if nothing follows
    bool failed_ = false;
};

// The blocks (CUPS's form) replaced as replacements says.
std::string ReplaceBlocks(std::string_view cupsText, const BlockReplacements& replacements);

// The pieces' two block forms. Lines outside blocks are left as they are.
std::string ToRewriterForm(std::string_view cupsText);
std::string ToCupsForm(std::string_view rewriterText);

}  // namespace cups
