// Reads a spool file (what reached the printer) or a driver's job into the
// structure `qm22t inspect` shows: the PJL header's lines, the setup sections
// with their feature blocks, the pages, and what does not pair up. Files of
// any size are read line by line; only the header and the setup sections are
// kept, and of each line its first 64 KiB.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qm22t {

struct Line {
    std::string text;  // without its line end; at most kKeptLineBytes
    uint64_t number = 0;
    bool crlf = false;  // ended in CR LF
    bool lf = false;    // ended in a line feed (with or without CR)
};

constexpr size_t kKeptLineBytes = 65536;

class LineReader {
public:
    explicit LineReader(FILE* file) : file_(file) {}
    // False at the end of the file or on a read error (see Failed).
    bool Next(Line* line);
    bool Failed() const { return std::ferror(file_) != 0; }
    uint64_t Offset() const { return offset_; }

private:
    bool Fill();

    FILE* file_;
    char buffer_[65536];
    size_t length_ = 0;
    size_t at_ = 0;
    uint64_t offset_ = 0;  // bytes consumed
    uint64_t number_ = 0;
};

// One "featurebegin{" ... "}featurecleanup" block.
struct FeatureBlock {
    uint64_t line = 0;
    std::string keyword;       // from "%%BeginFeature: *Keyword value"
    std::string commentValue;  // the rest of that line
    std::string invocation;    // "(value) /Custom /ProcSet ..." gives value; other code stays whole
    bool custom = false;       // invoked through the printer's Custom ProcSet
    std::string text;          // every line of the block, for comparisons
};

struct SetupSection {
    bool page = false;  // page setup; else document setup
    std::string pageLabel;  // the "%%Page:" comment it belongs to
    uint64_t line = 0;
    bool closed = false;
    std::vector<FeatureBlock> blocks;
};

// The PostScript part: fed line by line.
class PostScriptScanner {
public:
    void Feed(const Line& line);
    void Finish();

    std::string firstLine;
    uint64_t pages = 0;
    std::vector<SetupSection> sections;
    std::vector<std::string> markerProblems;  // setup markers that do not pair up

private:
    void Open(bool page, const Line& line);
    void Close(bool page, const Line& line);

    bool started_ = false;
    bool inSection_ = false;
    bool inBlock_ = false;
    std::string pageLabel_;
};

struct HeaderLine {
    std::string text;  // as in the file, the universal exit sequence included
    uint64_t number = 0;
    bool crlf = false;
};

struct SpoolFile {
    uint64_t bytes = 0;
    bool hasHeader = false;      // begins with the universal exit sequence
    bool headerEnded = false;    // "@PJL ENTER LANGUAGE=" closes it
    std::vector<HeaderLine> header;
    PostScriptScanner postScript;
};

// False with the reason when the file cannot be read.
bool ReadSpoolFile(const std::string& path, SpoolFile* spool, std::string* error);
// A driver's job: no header, only the PostScript part.
bool ReadJobFile(const std::string& path, PostScriptScanner* job, std::string* error);

}  // namespace qm22t
