// Reads a spool file (what reached the printer) or a driver's job into what
// `qm22t inspect` shows: the PJL header's lines, the setup sections with their
// feature blocks, the pages, how the file ends, and what does not pair up.
// Files of any size are read line by line and streamed: only the header and
// the setup section being read are kept, and of each line its first 64 KiB.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qm22t {

struct Line {
    std::string text;  // without its line end; at most kKeptLineBytes
    uint64_t number = 0;
    bool crlf = false;    // ended in CR LF
    bool lf = false;      // ended in a line feed (with or without CR)
    uint64_t bytes = 0;   // every byte of the line, its end included
    uint64_t digest = 0;  // of those bytes (64-bit FNV-1a), when the reader keeps digests
};

// Two lines hold the same bytes: their kept texts, lengths and ends agree, and
// so do the digests of lines longer than what is kept of them (which the
// readers must both have kept). A line of up to 64 KiB is thus compared byte
// for byte; a longer one by its text, length and digest.
bool SameBytes(const Line& a, const Line& b);

constexpr size_t kKeptLineBytes = 65536;
// What is kept of a feature block's text, of a section's blocks and of the PJL
// header, so a file made to be large in any one of them is still read in
// bounded memory. A header longer than this ends there: the lines after it
// belong to the PostScript part, and the header does not switch to PostScript.
constexpr size_t kKeptBlockBytes = 65536;
constexpr size_t kKeptBlocks = 4096;
constexpr size_t kKeptHeaderLines = 4096;
constexpr size_t kKeptHeaderBytes = 1 << 20;

class LineReader {
public:
    explicit LineReader(FILE* file, bool digests = false) : file_(file), digests_(digests) {}
    // False at the end of the file or on a read error (see Failed).
    bool Next(Line* line);
    bool Failed() const { return std::ferror(file_) != 0; }
    uint64_t Offset() const { return offset_; }

private:
    bool Fill();

    FILE* file_;
    bool digests_;
    char buffer_[65536];
    size_t length_ = 0;
    size_t at_ = 0;
    uint64_t offset_ = 0;  // bytes consumed
    uint64_t number_ = 0;
};

// One "featurebegin{" ... "}featurecleanup" block.
struct FeatureBlock {
    uint64_t line = 0;         // of its "%%BeginFeature:" line (of "featurebegin{" until that comes)
    std::string keyword;       // from "%%BeginFeature: *Keyword value"
    std::string commentValue;  // the rest of that line
    std::string invocation;    // "(value) /Custom /ProcSet ..." gives value; other code stays whole
    bool custom = false;       // invoked through the printer's Custom ProcSet
    // Every line of the block, for comparisons: the first kKeptBlockBytes, and
    // a digest of them all.
    std::string text;
    uint64_t textDigest = 0;
};

// Two blocks of the same lines.
bool SameBlock(const FeatureBlock& a, const FeatureBlock& b);

struct SetupSection {
    bool page = false;      // page setup; else document setup
    std::string pageLabel;  // the "%%Page:" comment it belongs to
    uint64_t line = 0;
    bool closed = false;
    // The orientation the page's %%ViewingOrientation comment names (the
    // plug-in writes that one into an orientation block it adds): 1 portrait,
    // 2 landscape, 0 none seen since the page began.
    int viewingOrientation = 0;
    std::vector<FeatureBlock> blocks;
};

// The PostScript part, fed line by line. Each setup section goes to the
// handler once it is complete (closed, cut short by another, or at the end),
// and is not kept; so memory stays that of one section whatever the file's size.
class PostScriptScanner {
public:
    using SectionHandler = std::function<void(SetupSection&)>;
    // A line outside the setup sections, with `inSection` false, or a line of
    // a section (its markers included) with `inSection` true.
    using LineHandler = std::function<void(const Line&, bool inSection)>;

    void OnSection(SectionHandler handler) { onSection_ = std::move(handler); }
    void OnLine(LineHandler handler) { onLine_ = std::move(handler); }
    void Feed(const Line& line);
    void Finish();

    std::string firstLine;
    uint64_t firstLineNumber = 0;
    uint64_t pages = 0;
    uint64_t sectionCount = 0;
    uint64_t pageSectionCount = 0;
    uint64_t blockCount = 0;
    std::vector<std::string> markerProblems;  // setup markers that do not pair up (the first few)
    uint64_t markerProblemCount = 0;

    // How the file ends: the job must end with %%Trailer or %%EOF after its
    // last page, and nothing but the job-end sequence (the universal exit, PJL
    // lines) may follow %%EOF.
    bool ended = false;  // %%Trailer or %%EOF after the last %%Page:
    uint64_t lastPageLine = 0;
    uint64_t lastLineNumber = 0;
    bool lastLineEnded = true;  // the last line has its line end (or is the job-end sequence)
    std::string tailProblem;    // the first line after %%EOF that has no place there

private:
    void Open(bool page, const Line& line);
    void Close(bool page, const Line& line);
    void Deliver();
    void MarkerProblem(const std::string& problem);
    void NoteEnding(const Line& line);

    SectionHandler onSection_;
    LineHandler onLine_;
    bool started_ = false;
    bool inSection_ = false;
    bool inBlock_ = false;
    bool afterEof_ = false;
    std::string pageLabel_;
    int viewingOrientation_ = 0;
    uint64_t droppedBlocks_ = 0;  // blocks of the current section past kKeptBlocks
    bool inDroppedBlock_ = false;
    SetupSection current_;
};

struct HeaderLine {
    std::string text;  // as in the file, the universal exit sequence included
    uint64_t number = 0;
    bool crlf = false;
};

// Reads a spool file: the header first (kept whole), then the PostScript part
// into the scanner. `onHeader` runs once the header is read, before any line
// of the PostScript part reaches the scanner.
class SpoolReader {
public:
    bool Open(const std::string& path, bool digests, std::string* error);
    ~SpoolReader();
    // Reads the header; then every further line goes to the scanner. False
    // with the reason on a read error.
    bool ReadHeader(std::string* error);
    bool ReadRest(PostScriptScanner* scanner, std::string* error);

    uint64_t bytes = 0;
    bool hasHeader = false;    // begins with the universal exit sequence
    bool headerEnded = false;  // "@PJL ENTER LANGUAGE=" closes it
    std::vector<HeaderLine> header;

private:
    FILE* file_ = nullptr;
    std::string name_;
    std::unique_ptr<LineReader> reader_;
    size_t headerBytes_ = 0;
    Line pending_;  // the first line after the header, read but not yet scanned
    bool havePending_ = false;
};

// A driver's job, read a line at a time alongside a spool file.
class JobReader {
public:
    bool Open(const std::string& path, std::string* error);
    ~JobReader();
    bool Next(Line* line) { return reader_->Next(line); }
    bool Failed() const { return reader_->Failed(); }

private:
    FILE* file_ = nullptr;
    std::unique_ptr<LineReader> reader_;
};

}  // namespace qm22t
