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

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

FILE* OpenForReading(const std::string& path, std::string* error) {
    FILE* file = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (file == nullptr) *error = "cannot read " + path + ": " + SystemError();
    return file;
}

void Close(FILE* file) {
    if (file != stdin) std::fclose(file);
}

}  // namespace

bool LineReader::Fill() {
    length_ = std::fread(buffer_, 1, sizeof buffer_, file_);
    at_ = 0;
    return length_ > 0;
}

bool LineReader::Next(Line* line) {
    line->text.clear();
    line->crlf = false;
    line->lf = false;
    bool any = false;
    bool lastWasCr = false;
    size_t total = 0;
    while (true) {
        if (at_ >= length_ && !Fill()) break;
        any = true;
        const char* start = buffer_ + at_;
        const void* found = std::memchr(start, '\n', length_ - at_);
        const size_t count = found != nullptr ? static_cast<size_t>(static_cast<const char*>(found) - start)
                                              : length_ - at_;
        if (count > 0) lastWasCr = start[count - 1] == '\r';
        // One byte more than is kept, so a CR in front of the line feed can go.
        const size_t room = kKeptLineBytes + 1 - line->text.size();
        line->text.append(start, std::min(count, room));
        total += count;
        at_ += count;
        offset_ += count;
        if (found != nullptr) {
            ++at_;
            ++offset_;
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

void PostScriptScanner::Open(bool page, const Line& line) {
    if (inSection_) {
        markerProblems.push_back("line " + std::to_string(line.number) + ": " + line.text +
                                 " inside the section that line " + std::to_string(sections.back().line) +
                                 " opened");
    }
    SetupSection section;
    section.page = page;
    section.pageLabel = page ? pageLabel_ : "";
    section.line = line.number;
    sections.push_back(section);
    inSection_ = true;
    inBlock_ = false;
}

void PostScriptScanner::Close(bool page, const Line& line) {
    if (!inSection_) {
        markerProblems.push_back("line " + std::to_string(line.number) + ": " + line.text +
                                 " without its begin marker");
        return;
    }
    if (sections.back().page != page) {
        markerProblems.push_back("line " + std::to_string(line.number) + ": " + line.text + " closes the " +
                                 (page ? "document" : "page") + " setup that line " +
                                 std::to_string(sections.back().line) + " opened");
    }
    sections.back().closed = true;
    inSection_ = false;
    inBlock_ = false;
}

void PostScriptScanner::Feed(const Line& line) {
    const std::string& text = line.text;
    if (!started_) {
        started_ = true;
        firstLine = text;
    }
    if (text == "%%BeginSetup") return Open(false, line);
    if (text == "%%BeginPageSetup") return Open(true, line);
    if (text == "%%EndSetup") return Close(false, line);
    if (text == "%%EndPageSetup") return Close(true, line);
    if (StartsWith(text, "%%Page:")) {
        ++pages;
        pageLabel_ = text.substr(7);
        const size_t first = pageLabel_.find_first_not_of(' ');
        pageLabel_.erase(0, first == std::string::npos ? pageLabel_.size() : first);
        return;
    }
    if (!inSection_) return;
    std::vector<FeatureBlock>& blocks = sections.back().blocks;
    if (text == "featurebegin{") {
        blocks.push_back(FeatureBlock{});
        blocks.back().line = line.number;
        inBlock_ = true;
    } else if (StartsWith(text, kBeginFeature) && !inBlock_) {
        // A feature without the featurebegin frame is still a feature.
        blocks.push_back(FeatureBlock{});
        blocks.back().line = line.number;
        inBlock_ = true;
    }
    if (!inBlock_) return;
    FeatureBlock& block = blocks.back();
    block.text += text + "\n";
    if (StartsWith(text, kBeginFeature)) {
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
        block.invocation += (block.invocation.empty() ? "" : " ") + piece;
    }
}

void PostScriptScanner::Finish() {
    if (inSection_) {
        markerProblems.push_back(std::string(sections.back().page ? "%%BeginPageSetup" : "%%BeginSetup") +
                                 " at line " + std::to_string(sections.back().line) + " is never closed");
    }
    inSection_ = false;
}

bool ReadSpoolFile(const std::string& path, SpoolFile* spool, std::string* error) {
    FILE* file = OpenForReading(path, error);
    if (file == nullptr) return false;
    LineReader reader(file);
    Line line;
    bool inHeader = true;
    while (reader.Next(&line)) {
        if (inHeader) {
            const bool first = line.number == 1;
            if (first && StartsWith(line.text, kUniversalExit)) spool->hasHeader = true;
            if (spool->hasHeader && (first || StartsWith(line.text, "@PJL"))) {
                spool->header.push_back(HeaderLine{line.text, line.number, line.crlf});
                if (StartsWith(line.text, kEnterLanguage)) {
                    spool->headerEnded = true;
                    inHeader = false;
                }
                continue;
            }
            inHeader = false;
        }
        spool->postScript.Feed(line);
    }
    spool->postScript.Finish();
    spool->bytes = reader.Offset();
    const bool failed = reader.Failed();
    if (failed) *error = "cannot read " + DisplayName(path, false) + ": " + SystemError();
    Close(file);
    return !failed;
}

bool ReadJobFile(const std::string& path, PostScriptScanner* job, std::string* error) {
    FILE* file = OpenForReading(path, error);
    if (file == nullptr) return false;
    LineReader reader(file);
    Line line;
    while (reader.Next(&line)) job->Feed(line);
    job->Finish();
    const bool failed = reader.Failed();
    if (failed) *error = "cannot read " + DisplayName(path, false) + ": " + SystemError();
    Close(file);
    return !failed;
}

}  // namespace qm22t
