#include "log/log_trim.h"

namespace {

// The tail as UTF-16LE characters; a trailing odd byte is no character.
struct Utf16View {
    const uint8_t* bytes;
    size_t count;  // characters

    char16_t at(size_t i) const {
        return static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
};

// One line: characters [begin, end), `next` the first character after its
// line feed (== end when the text stops without one).
struct Line {
    size_t begin;
    size_t end;
    size_t next;
};

Line lineAt(const Utf16View& text, size_t begin) {
    size_t i = begin;
    while (i < text.count && text.at(i) != u'\n') ++i;
    return Line{begin, i, i < text.count ? i + 1 : i};
}

bool lineContains(const Utf16View& text, const Line& line, const char16_t* word, size_t wordLength) {
    if (line.end - line.begin < wordLength) return false;
    for (size_t start = line.begin; start + wordLength <= line.end; ++start) {
        size_t k = 0;
        while (k < wordLength && text.at(start + k) == word[k]) ++k;
        if (k == wordLength) return true;
    }
    return false;
}

// A line with nothing but its line end.
bool lineIsEmpty(const Utf16View& text, const Line& line) {
    if (line.next == line.end) return false;  // no line feed: not an ended line
    size_t length = line.end - line.begin;
    return length == 0 || (length == 1 && text.at(line.begin) == u'\r');
}

constexpr char16_t kStopped[] = u"Stopped:";
constexpr char16_t kStarted[] = u"Started:";
constexpr size_t kBannerWordLength = 8;

}  // namespace

bool logNeedsTrim(uint64_t fileSize) { return fileSize >= kLogTrimThreshold; }

uint64_t logTrimReadOffset(uint64_t fileSize) {
    if (fileSize <= kLogTrimWindow) return 0;
    uint64_t offset = fileSize - kLogTrimWindow;
    return (offset + 1) & ~uint64_t{1};
}

size_t logTrimKeepFrom(const uint8_t* tail, size_t size) {
    if (tail == nullptr || size < 2) return size;
    const Utf16View text{tail, size / 2};

    for (size_t at = 0; at < text.count;) {
        Line line = lineAt(text, at);
        if (lineContains(text, line, kStopped, kBannerWordLength)) {
            size_t keep = line.next;
            for (Line blank = lineAt(text, keep); keep < text.count && lineIsEmpty(text, blank);
                 blank = lineAt(text, keep)) {
                keep = blank.next;
            }
            return keep < text.count ? 2 * keep : size;
        }
        at = line.next;
    }

    // No block end in sight: keep from the start of a block, else from the
    // first line that is known to be whole.
    size_t firstWhole = lineAt(text, 0).next;
    for (size_t at = firstWhole; at < text.count;) {
        Line line = lineAt(text, at);
        if (lineContains(text, line, kStarted, kBannerWordLength)) return 2 * line.begin;
        at = line.next;
    }
    return firstWhole < text.count ? 2 * firstWhole : size;
}
