#include "spool_reader.h"

#include "cli.h"

#include <algorithm>
#include <cstring>

namespace qm22t {
namespace {

constexpr char kUniversalExit[] = "\x1B%-12345X";
constexpr char kEnterLanguage[] = "@PJL ENTER LANGUAGE=";
constexpr char kBeginFeature[] = "%%BeginFeature: *";
constexpr char kCustomInvocation[] = ") /Custom /ProcSet findresource /";
constexpr uint64_t kFnvOffset = 14695981039346656037ull;
constexpr uint64_t kFnvPrime = 1099511628211ull;
constexpr size_t kShownMarkerProblems = 5;

uint64_t Digest(uint64_t digest, const char* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        digest ^= static_cast<unsigned char>(bytes[i]);
        digest *= kFnvPrime;
    }
    return digest;
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// `role` names the file in the message ("the spool file", "the --job file").
FILE* OpenForReading(const std::string& path, const std::string& role, std::string* error) {
    FILE* file = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (file == nullptr) *error = "cannot read " + role + " " + path + ": " + SystemError();
    return file;
}

void Close(FILE* file) {
    if (file != stdin) std::fclose(file);
}

}  // namespace

bool SameBlock(const FeatureBlock& a, const FeatureBlock& b) {
    return a.text == b.text && a.textDigest == b.textDigest;
}

bool SameBytes(const Line& a, const Line& b) {
    if (a.bytes != b.bytes || a.crlf != b.crlf || a.lf != b.lf || a.text != b.text) return false;
    return a.text.size() + (a.crlf ? 2 : a.lf ? 1 : 0) == a.bytes || a.digest == b.digest;
}

bool LineReader::Fill() {
    length_ = std::fread(buffer_, 1, sizeof buffer_, file_);
    at_ = 0;
    return length_ > 0;
}

bool LineReader::Next(Line* line) {
    line->text.clear();
    line->crlf = false;
    line->lf = false;
    line->bytes = 0;
    line->digest = kFnvOffset;
    bool any = false;
    bool lastWasCr = false;
    size_t total = 0;
    while (true) {
        if (at_ >= length_ && !Fill()) break;
        any = true;
        const char* start = buffer_ + at_;
        const void* found = std::memchr(start, '\n', length_ - at_);
        const size_t count =
            found != nullptr ? static_cast<size_t>(static_cast<const char*>(found) - start) : length_ - at_;
        if (count > 0) lastWasCr = start[count - 1] == '\r';
        // One byte more than is kept, so a CR in front of the line feed can go.
        const size_t room = kKeptLineBytes + 1 - line->text.size();
        line->text.append(start, std::min(count, room));
        const size_t taken = count + (found != nullptr ? 1 : 0);
        if (digests_) line->digest = Digest(line->digest, start, taken);
        total += count;
        at_ += taken;
        offset_ += taken;
        line->bytes += taken;
        if (found != nullptr) {
            line->lf = true;
            break;
        }
    }
    if (!any) return false;
    line->crlf = line->lf && lastWasCr;
    if (line->crlf && total == line->text.size()) line->text.pop_back();
    if (line->text.size() > kKeptLineBytes) line->text.resize(kKeptLineBytes);
    line->number = ++number_;
    return true;
}

void PostScriptScanner::MarkerProblem(const std::string& problem) {
    if (++markerProblemCount <= kShownMarkerProblems) markerProblems.push_back(problem);
}

void PostScriptScanner::Deliver() {
    ++sectionCount;
    if (current_.page) ++pageSectionCount;
    blockCount += current_.blocks.size() + droppedBlocks_;
    droppedBlocks_ = 0;
    if (onSection_) onSection_(current_);
    current_ = SetupSection{};
}

void PostScriptScanner::Open(bool page, const Line& line) {
    if (inSection_) {
        MarkerProblem("line " + std::to_string(line.number) + ": " + line.text + " inside the section that line " +
                      std::to_string(current_.line) + " opened");
        Deliver();
    }
    current_ = SetupSection{};
    current_.page = page;
    current_.pageLabel = page ? pageLabel_ : "";
    current_.line = line.number;
    current_.viewingOrientation = viewingOrientation_;
    inSection_ = true;
    inBlock_ = false;
    inDroppedBlock_ = false;
}

void PostScriptScanner::Close(bool page, const Line& line) {
    if (!inSection_) {
        MarkerProblem("line " + std::to_string(line.number) + ": " + line.text + " without its begin marker");
        return;
    }
    if (current_.page != page) {
        MarkerProblem("line " + std::to_string(line.number) + ": " + line.text + " closes the " +
                      (page ? "document" : "page") + " setup that line " + std::to_string(current_.line) + " opened");
    }
    current_.closed = true;
    inSection_ = false;
    inBlock_ = false;
    inDroppedBlock_ = false;
    Deliver();
}

// The job-end sequence: the universal exit, and PJL lines behind it.
void PostScriptScanner::NoteEnding(const Line& line) {
    const std::string& text = line.text;
    lastLineNumber = line.number;
    const bool jobEnd = StartsWith(text, kUniversalExit) || StartsWith(text, "@PJL");
    lastLineEnded = line.lf || jobEnd;
    if (StartsWith(text, "%%Page:")) {
        ended = false;
        afterEof_ = false;
        tailProblem.clear();
        lastPageLine = line.number;
        return;
    }
    if (text == "%%EOF") {
        ended = true;
        afterEof_ = true;
        return;
    }
    if (text == "%%Trailer") {
        ended = true;
        return;
    }
    if (afterEof_ && tailProblem.empty() && !jobEnd && !(text.empty() && line.lf)) {
        tailProblem = "line " + std::to_string(line.number) + " after %%EOF: \"" + Printable(text, 40) + "\"";
    }
}

void PostScriptScanner::Feed(const Line& line) {
    const std::string& text = line.text;
    if (!started_) {
        started_ = true;
        firstLine = text;
        firstLineNumber = line.number;
    }
    NoteEnding(line);
    const bool begin = text == "%%BeginSetup" || text == "%%BeginPageSetup";
    const bool end = text == "%%EndSetup" || text == "%%EndPageSetup";
    if (onLine_) onLine_(line, inSection_ || begin);
    if (begin) return Open(text == "%%BeginPageSetup", line);
    if (end) return Close(text == "%%EndPageSetup", line);
    if (StartsWith(text, "%%Page:")) {
        ++pages;
        pageLabel_ = text.substr(7);
        const size_t first = pageLabel_.find_first_not_of(' ');
        pageLabel_.erase(0, first == std::string::npos ? pageLabel_.size() : first);
        viewingOrientation_ = 0;
        return;
    }
    if (StartsWith(text, "%%ViewingOrientation:")) {
        // The two forms the driver writes; anything else names no orientation.
        const std::string matrix = text.substr(21);
        const size_t first = matrix.find_first_not_of(' ');
        const std::string values = first == std::string::npos ? "" : matrix.substr(first);
        viewingOrientation_ = values == "1 0 0 1" ? 1 : values == "0 1 -1 0" ? 2 : 0;
        if (inSection_) current_.viewingOrientation = viewingOrientation_;
        return;
    }
    if (!inSection_) return;
    std::vector<FeatureBlock>& blocks = current_.blocks;
    if (inDroppedBlock_) {
        inDroppedBlock_ = text != "}featurecleanup";
        return;
    }
    const bool opens = text == "featurebegin{" || (StartsWith(text, kBeginFeature) && !inBlock_);
    if (opens && blocks.size() >= kKeptBlocks) {
        // Counted, not kept.
        ++droppedBlocks_;
        inBlock_ = false;
        inDroppedBlock_ = true;
        return;
    }
    if (opens) {
        // A feature without the featurebegin frame is still a feature.
        blocks.push_back(FeatureBlock{});
        blocks.back().line = line.number;
        blocks.back().textDigest = kFnvOffset;
        inBlock_ = true;
    }
    if (!inBlock_) return;
    FeatureBlock& block = blocks.back();
    if (block.text.size() < kKeptBlockBytes) block.text.append(text, 0, kKeptBlockBytes - block.text.size());
    block.textDigest = Digest(Digest(block.textDigest, text.data(), text.size()), "\n", 1);
    if (StartsWith(text, kBeginFeature)) {
        // The block is known by its comment line, not by the frame around it.
        block.line = line.number;
        const std::string rest = text.substr(std::strlen(kBeginFeature));
        const size_t blank = rest.find(' ');
        block.keyword = rest.substr(0, blank);
        block.commentValue = blank == std::string::npos ? "" : rest.substr(blank + 1);
    } else if (text == "}featurecleanup") {
        inBlock_ = false;
    } else if (text != "featurebegin{" && text != "%%EndFeature" && !block.keyword.empty()) {
        // The invocation: "(value) /Custom /ProcSet findresource /Keyword get exec",
        // or the driver's own code.
        const std::string custom = kCustomInvocation + block.keyword + " get exec";
        const bool isCustom = !text.empty() && text[0] == '(' && text.size() >= custom.size() + 1 &&
                              text.compare(text.size() - custom.size(), custom.size(), custom) == 0;
        const std::string piece = isCustom ? text.substr(1, text.size() - custom.size() - 1) : text;
        block.custom = block.invocation.empty() ? isCustom : false;
        if (block.invocation.size() < kKeptBlockBytes) {
            block.invocation += (block.invocation.empty() ? "" : " ") + piece.substr(0, kKeptBlockBytes);
        }
    }
}

void PostScriptScanner::Finish() {
    if (inSection_) {
        MarkerProblem(std::string(current_.page ? "%%BeginPageSetup" : "%%BeginSetup") + " at line " +
                      std::to_string(current_.line) + " is never closed");
        inSection_ = false;
        Deliver();
    }
}

SpoolReader::~SpoolReader() {
    if (file_ != nullptr) Close(file_);
}

bool SpoolReader::Open(const std::string& path, bool digests, std::string* error) {
    file_ = OpenForReading(path, "the spool file", error);
    if (file_ == nullptr) return false;
    name_ = DisplayName(path, false);
    reader_ = std::make_unique<LineReader>(file_, digests);
    return true;
}

bool SpoolReader::ReadHeader(std::string* error) {
    while (reader_->Next(&pending_)) {
        const bool first = pending_.number == 1;
        if (first && StartsWith(pending_.text, kUniversalExit)) hasHeader = true;
        const bool room = header.size() < kKeptHeaderLines && headerBytes_ < kKeptHeaderBytes;
        if (hasHeader && (first || StartsWith(pending_.text, "@PJL")) && room) {
            header.push_back(HeaderLine{pending_.text, pending_.number, pending_.crlf});
            headerBytes_ += pending_.text.size();
            if (StartsWith(pending_.text, kEnterLanguage)) headerEnded = true;
            if (!headerEnded) continue;
            if (!reader_->Next(&pending_)) break;
        }
        havePending_ = true;
        break;
    }
    bytes = reader_->Offset();
    if (reader_->Failed()) {
        *error = "cannot read " + name_ + ": " + SystemError();
        return false;
    }
    return true;
}

bool SpoolReader::ReadRest(PostScriptScanner* scanner, std::string* error) {
    if (havePending_) scanner->Feed(pending_);
    havePending_ = false;
    while (reader_->Next(&pending_)) scanner->Feed(pending_);
    scanner->Finish();
    bytes = reader_->Offset();
    if (reader_->Failed()) {
        *error = "cannot read " + name_ + ": " + SystemError();
        return false;
    }
    return true;
}

JobReader::~JobReader() {
    if (file_ != nullptr) Close(file_);
}

bool JobReader::Open(const std::string& path, std::string* error) {
    file_ = OpenForReading(path, "the --job file", error);
    if (file_ == nullptr) return false;
    reader_ = std::make_unique<LineReader>(file_, true);
    return true;
}

}  // namespace qm22t
