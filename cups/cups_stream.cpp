#include "cups_stream.h"

#include <cstring>
#include <utility>

namespace cups {

namespace {

// A line that may still be a marker is held until its end arrives; a longer
// partial line goes out at once (binary data, long lines of text).
constexpr size_t kLongestMarkerLine = 256;

constexpr std::string_view kCupsOpen = "[{";
constexpr std::string_view kCupsClose = "} stopped cleartomark";
constexpr std::string_view kRewriterOpen = "featurebegin{";
constexpr std::string_view kRewriterClose = "}featurecleanup";
constexpr std::string_view kFeatureComment = "%%BeginFeature: *";
constexpr std::string_view kCopiesBegin = "%RBIBeginNonPPDFeature: *NumCopies";
constexpr std::string_view kCopiesEnd = "%RBIEndNonPPDFeature";

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// A line's text without its end ("\n" or "\r\n").
std::string_view Content(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// The line of text that starts at start, its end included.
std::string_view LineAt(std::string_view text, size_t start) {
    const size_t newline = text.find('\n', start);
    return text.substr(start, newline == std::string_view::npos ? std::string_view::npos : newline + 1 - start);
}

// Converts the feature blocks of text from one form to the other: a block is
// a line `fromOpen` through a line `fromClose`, every line of it ended by
// `fromEnd`. Its first line becomes `toOpen`, its last `toClose`, and every
// line of it takes `toEnd`. Everything else, a block left open or with a line
// of the other end among them included, is copied unchanged.
std::string ConvertBlocks(std::string_view text, std::string_view fromOpen, std::string_view fromClose,
                          std::string_view fromEnd, std::string_view toOpen, std::string_view toClose,
                          std::string_view toEnd) {
    const auto endsWith = [](std::string_view line, std::string_view end) {
        return line.size() >= end.size() && line.compare(line.size() - end.size(), end.size(), end) == 0 &&
               (end.size() > 1 || line.size() < 2 || line[line.size() - 2] != '\r');
    };
    const auto is = [&](std::string_view line, std::string_view content) {
        return endsWith(line, fromEnd) && line.size() == content.size() + fromEnd.size() &&
               line.compare(0, content.size(), content) == 0;
    };
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    size_t start = 0;
    while (start < text.size()) {
        std::string_view line = LineAt(text, start);
        size_t end = start + line.size();
        if (is(line, fromOpen)) {
            // The block's close, every line before it ended the block's way.
            size_t close = end;
            std::string_view inner = LineAt(text, close);
            while (close < text.size() && endsWith(inner, fromEnd) && !is(inner, fromClose)) {
                close += inner.size();
                inner = LineAt(text, close);
            }
            if (close < text.size() && is(inner, fromClose)) {
                out.append(toOpen).append(toEnd);
                for (size_t at = end; at < close; at += LineAt(text, at).size()) {
                    const std::string_view body = LineAt(text, at);
                    out.append(body.substr(0, body.size() - fromEnd.size())).append(toEnd);
                }
                out.append(toClose).append(toEnd);
                start = close + inner.size();
                continue;
            }
        }
        out.append(line);
        start = end;
    }
    return out;
}

int OrientationOf(std::string_view content) {
    if (content == "%%ViewingOrientation: 1 0 0 1") return 1;
    if (content == "%%ViewingOrientation: 0 1 -1 0") return 2;
    return 0;
}

}  // namespace

std::string ToRewriterForm(std::string_view cupsText) {
    return ConvertBlocks(cupsText, kCupsOpen, kCupsClose, "\n", kRewriterOpen, kRewriterClose, "\r\n");
}

std::string ToCupsForm(std::string_view rewriterText) {
    return ConvertBlocks(rewriterText, kRewriterOpen, kRewriterClose, "\r\n", kCupsOpen, kCupsClose, "\n");
}

std::string ReplaceBlocks(std::string_view cupsText, const BlockReplacements& replacements) {
    constexpr std::string_view kStart = "[{\n%%BeginFeature: *";
    const std::string close = "\n" + std::string(kCupsClose) + "\n";
    std::string out;
    size_t start = 0;
    for (size_t at = cupsText.find(kStart); at != std::string_view::npos; at = cupsText.find(kStart, at + 1)) {
        if (at > 0 && cupsText[at - 1] != '\n') continue;
        const size_t feature = at + kStart.size();
        const size_t featureEnd = cupsText.find('\n', feature);
        const size_t blockEnd = cupsText.find(close, feature);
        if (blockEnd == std::string_view::npos || featureEnd > blockEnd) continue;
        const auto replacement = replacements.find(cupsText.substr(feature, featureEnd - feature));
        if (replacement == replacements.end()) continue;
        out.append(cupsText.substr(start, at - start)).append(replacement->second);
        start = blockEnd + close.size();
        at = start - 1;
    }
    if (start == 0) return std::string(cupsText);
    out.append(cupsText.substr(start));
    return out;
}

CupsStream::CupsStream(PieceRewriter rewriter, ByteSink sink, Complaint complaint, int defaultOrientation,
                       BlockReplacements replacements, PageCounter pageCounter)
    : rewriter_(std::move(rewriter)),
      replacements_(std::move(replacements)),
      pageCounter_(std::move(pageCounter)),
      sink_(std::move(sink)),
      complaint_(std::move(complaint)),
      defaultOrientation_(defaultOrientation) {}

bool CupsStream::Send(std::string_view bytes) {
    if (failed_) return false;
    if (!bytes.empty() && !sink_(bytes.data(), bytes.size())) failed_ = true;
    return !failed_;
}

bool CupsStream::Write(const char* data, size_t size) {
    if (failed_) return false;
    if (size == 0) return true;
    if (heldEndByte_) {
        held_.push_back('\x04');
        heldEndByte_ = false;
    }
    if (data[size - 1] == '\x04') {
        heldEndByte_ = true;
        --size;
    }
    held_.append(data, size);
    while (inSection_ ? CollectSection(false) : PassLines(false)) {
    }
    return !failed_;
}

bool CupsStream::Finish() {
    while (inSection_ ? CollectSection(true) : PassLines(true)) {
    }
    if (!failed_ && inSection_ && !section_.empty()) {
        // A section the input never closed still goes out, rewritten.
        RewritePiece(section_.size());
    }
    return !failed_;
}

// Examines the held lines outside setup sections. True when it stopped at a
// section's begin marker (and more may be examined), false when it has used
// up what it can.
bool CupsStream::PassLines(bool atEnd) {
    size_t start = 0;
    bool entered = false;
    while (start < held_.size() && !entered) {
        const size_t newline = held_.find('\n', start);
        if (newline == std::string::npos) break;
        const std::string_view line(held_.data() + start, newline + 1 - start);
        start = newline + 1;
        if (midLine_) {
            midLine_ = false;
            continue;
        }
        if (line[0] != '%') continue;
        const std::string_view content = Content(line);
        if (StartsWith(content, "%%Page:")) {
            inPage_ = true;
            pageOrientation_ = defaultOrientation_;
            ++pages_;
            if (pageCounter_) pageCounter_(pages_);
        } else if (const int orientation = OrientationOf(content); orientation != 0 && inPage_) {
            pageOrientation_ = orientation;
        } else if (content == "%%BeginSetup" || content == "%%BeginPageSetup") {
            entered = true;
        }
    }
    size_t sendUpTo = start;
    const size_t partial = held_.size() - start;
    if (!entered && partial > 0 && (atEnd || midLine_ || partial > kLongestMarkerLine)) {
        midLine_ = !atEnd;
        sendUpTo = held_.size();
    }
    if (!Send(std::string_view(held_.data(), sendUpTo))) return false;
    held_.erase(0, sendUpTo);
    if (entered) {
        inSection_ = true;
        sectionState_ = 1;
        sectionKeywords_.clear();
        lastBlockOpen_ = 0;
    }
    return entered;
}

// Collects the held lines of a setup section. True when the section ended
// (and the rest is examined outside it), false when it has used up what it can.
bool CupsStream::CollectSection(bool atEnd) {
    size_t start = 0;
    bool ended = false;
    size_t markerEnd = 0;
    while (start < held_.size()) {
        size_t newline = held_.find('\n', start);
        if (newline == std::string::npos) {
            if (!atEnd) break;
            newline = held_.size() - 1;
        }
        const std::string_view line(held_.data() + start, newline + 1 - start);
        const std::string_view content = Content(line);
        start = newline + 1;
        if (inCopies_) {
            inCopies_ = content != kCopiesEnd;
        } else if (StartsWith(content, kCopiesBegin)) {
            inCopies_ = true;
        } else if (content == "%%EndSetup" || content == "%%EndPageSetup") {
            ended = true;
            markerEnd = start;
            start -= line.size();
            break;
        } else {
            if (content == kCupsOpen || content == kRewriterOpen) lastBlockOpen_ = section_.size();
            if (StartsWith(content, kFeatureComment)) {
                const std::string_view keyword = content.substr(
                    kFeatureComment.size(), content.find(' ', kFeatureComment.size()) - kFeatureComment.size());
                const bool opensHere = lastBlockOpen_ > 0 && section_.find('\n', lastBlockOpen_) + 1 == section_.size();
                if (sectionKeywords_.count(keyword) != 0 && opensHere && !RewritePiece(lastBlockOpen_)) return false;
                sectionKeywords_.emplace(keyword);
            }
            section_.append(line);
        }
        if (section_.size() > kSectionCutBytes) {
            // After the last closed block; at a line end when there is no
            // block at all; otherwise wait for the block to close.
            size_t cut = section_.rfind("\n" + std::string(kCupsClose));
            const size_t rewriterCut = section_.rfind("\n" + std::string(kRewriterClose));
            if (rewriterCut != std::string::npos && (cut == std::string::npos || rewriterCut > cut)) cut = rewriterCut;
            if (cut != std::string::npos) {
                cut = section_.find('\n', cut + 1);
                cut = cut == std::string::npos ? section_.size() : cut + 1;
            } else if (section_.find(kCupsOpen) == std::string::npos &&
                       section_.find(kRewriterOpen) == std::string::npos) {
                cut = section_.size();
            } else {
                cut = 0;
            }
            if (cut > 0 && !RewritePiece(cut)) return false;
        }
    }
    held_.erase(0, start);
    if (!ended) return false;
    if (!section_.empty() && !RewritePiece(section_.size())) return false;
    if (!Send(std::string_view(held_.data(), markerEnd - start))) return false;
    held_.erase(0, markerEnd - start);
    inSection_ = false;
    return true;
}

bool CupsStream::RewritePiece(size_t length) {
    const std::string_view piece(section_.data(), length);
    const int orientation = inPage_ ? pageOrientation_ : -1;
    // As in the Windows filter, a page's comments name the orientation of its
    // first rewritten piece only.
    inPage_ = false;
    std::string rewritten;
    std::string problem;
    bool sent;
    if (rewriter_(ToRewriterForm(ReplaceBlocks(piece, replacements_)), sectionState_, orientation, &rewritten,
                  &problem)) {
        sent = Send(ToCupsForm(rewritten));
    } else {
        complaint_("a setup section went out unchanged: " + problem);
        sent = Send(piece);
    }
    section_.erase(0, length);
    sectionState_ = 2;
    sectionKeywords_.clear();
    lastBlockOpen_ = 0;
    return sent;
}

}  // namespace cups
