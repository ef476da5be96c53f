// The archive reader and the member scan (engine/archive.h).
//
// How the bytes flow. Every archive is read forward through an Input (a 4 KB
// buffer) over a Source: the file itself at the top (random access), or,
// for a nested archive, the uncompressed bytes of the member that holds it.
// A member's bytes are a Source too (ZipMember; CabMember over the
// CabFolder stream), so nesting is the same code at every level and only
// one chain of inflate states is open at a time. A Source read backward is
// read again from its start: cheap for the file, a new inflate for a member;
// all of it is paid from the same budget (ArchiveLimits::archiveBytes).
//
// The order of work per member (scanMember): its bytes stream into the
// window, the head window is searched as soon as it is whole, the rest
// passes through the ring in the window's second half, and the tail window
// is searched at the end. A member that is an archive by its content is
// then read once more from its start, this time by the parser of its
// format, so that the window serves one member at a time.
//
// MSZIP: every CFDATA block is a raw deflate stream of its own whose matches
// may reach 32 KB back into the blocks before it; the inflate is reset per
// block and given the last 32 KB of output as its preset dictionary.
#include "engine/archive.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "engine/crc32.h"

#if defined(_WIN32)
// zlib's inflate names its checksums for the zlib and gzip wrappers, which a
// raw inflate never uses; defined here, they keep zlib's own (and their
// 13 KB of tables) out of the device's programs. Correct all the same.
extern "C" uLong crc32(uLong crc, const Bytef* buffer, uInt length) {
    return buffer == nullptr ? 0 : ::crc32(buffer, length, static_cast<uint32_t>(crc));
}
extern "C" uLong adler32(uLong adler, const Bytef* buffer, uInt length) {
    if (buffer == nullptr) return 1;
    uint32_t a = adler & 0xFFFF, b = (adler >> 16) & 0xFFFF;
    for (uInt i = 0; i < length; ++i) {
        a = (a + buffer[i]) % 65521;
        b = (b + a) % 65521;
    }
    return uLong(b) << 16 | a;
}
#endif

namespace {

constexpr uint32_t kInputBytes = 4096;
constexpr uint32_t kMszipHistory = 32768;
constexpr uint32_t kCabTableBytes = 24 * 1024;  // a CAB's file table held while its data streams past
constexpr uint32_t kCabMaxFolders = 1024;
constexpr uint32_t kMemberNameBytes = 255;       // one level's name is kept up to this length
constexpr uint64_t kPollEvery = 64 * 1024;       // bytes produced between two polls
constexpr uint64_t kUnknownSize = ~0ull;
constexpr uint32_t kZipCommentSearch = 4096;     // the longest comment after a ZIP found by its end

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t* p) { return le16(p) | static_cast<uint32_t>(le16(p + 2)) << 16; }
uint64_t le64(const uint8_t* p) { return le32(p) | static_cast<uint64_t>(le32(p + 4)) << 32; }

// ---------------------------------------------------------------- the work

// The state of one file's walk: limits, budget, memory, the window.
struct Work {
    const VpsDatabase* db = nullptr;
    ScanMethod method = ScanMethod::table;
    ArchiveLimits limits;
    ArchiveEvents events;
    ArchiveVerdict* verdict = nullptr;
    uint8_t* window = nullptr;
    uint8_t* history = nullptr;  // kMszipHistory bytes, made on first use
    uint8_t probe[kInputBytes];  // the bytes after a full head window; a drain's bin
    uint64_t produced = 0;
    uint64_t nextPoll = kPollEvery;
    uint64_t memory = 0;
    uint32_t members = 0;
    Status readStatus = kStatusOk;  // the file's read error behind ArchiveProblem::unreadable

    // Every uncompressed byte is paid for here; the caller is polled on the way.
    ArchiveProblem spend(uint64_t bytes) {
        produced += bytes;
        if (produced > limits.archiveBytes) return ArchiveProblem::archiveLimit;
        if (produced >= nextPoll) {
            nextPoll = produced + kPollEvery;
            if (events.keepGoing != nullptr && !events.keepGoing(events.context)) return ArchiveProblem::stopped;
        }
        return ArchiveProblem::none;
    }

    // Counted allocations (zlib's too): the size sits in front of the block.
    void* allocate(size_t bytes) {
        void* block = std::malloc(bytes + 16);
        if (block == nullptr) return nullptr;
        *static_cast<size_t*>(block) = bytes;
        memory += bytes;
        if (memory > verdict->peakMemory) verdict->peakMemory = memory;
        return static_cast<uint8_t*>(block) + 16;
    }
    void release(void* pointer) {
        if (pointer == nullptr) return;
        void* block = static_cast<uint8_t*>(pointer) - 16;
        memory -= *static_cast<size_t*>(block);
        std::free(block);
    }

    template <typename T, typename... Args>
    T* make(Args&&... args) {
        void* place = allocate(sizeof(T));
        return place == nullptr ? nullptr : new (place) T(std::forward<Args>(args)...);
    }
    template <typename T>
    void destroy(T* object) {
        if (object == nullptr) return;
        object->~T();
        release(object);
    }
};

// ---------------------------------------------------------------- sources

// A forward stream of bytes that can start again.
class Source {
public:
    virtual ~Source() = default;
    // Up to `want` bytes; `got` is 0 only at the end.
    virtual ArchiveProblem read(uint8_t* to, uint32_t want, uint32_t& got) = 0;
    virtual ArchiveProblem rewind() = 0;
    // Random access, where the bytes lie in the file as they are.
    virtual bool seekable() const { return false; }
    virtual ArchiveProblem seek(uint64_t) { return ArchiveProblem::damaged; }
};

class FileSource final : public Source {
public:
    FileSource(Work& work, const WindowSource& file, uint64_t size) : work_(work), file_(file), size_(size) {}
    ArchiveProblem read(uint8_t* to, uint32_t want, uint32_t& got) override {
        const uint64_t left = size_ - position_;
        got = static_cast<uint32_t>(left < want ? left : want);
        if (got == 0) return ArchiveProblem::none;
        const Status status = file_.read(file_.file, position_, to, got);
        if (status != kStatusOk) {
            got = 0;
            work_.readStatus = status;
            return ArchiveProblem::unreadable;
        }
        position_ += got;
        return ArchiveProblem::none;
    }
    ArchiveProblem rewind() override { return seek(0); }
    bool seekable() const override { return true; }
    ArchiveProblem seek(uint64_t position) override {
        position_ = position < size_ ? position : size_;
        return ArchiveProblem::none;
    }

private:
    Work& work_;
    const WindowSource& file_;
    uint64_t size_;
    uint64_t position_ = 0;
};

// A Source read through a buffer, with the position of its next byte.
class Input {
public:
    Input(Work& work, Source& source) : work_(work), source_(source) {}
    ~Input() { work_.release(bytes_); }
    bool ready() {
        if (bytes_ == nullptr) bytes_ = static_cast<uint8_t*>(work_.allocate(kInputBytes));
        return bytes_ != nullptr;
    }

    uint64_t position() const { return start_ + begin_; }
    const uint8_t* data() const { return bytes_ + begin_; }
    uint32_t available() const { return end_ - begin_; }
    void consume(uint32_t n) { begin_ += n; }
    bool seekable() const { return source_.seekable(); }

    // At least one byte readable, unless the stream has ended.
    ArchiveProblem fill() {
        if (available() != 0) return ArchiveProblem::none;
        start_ += end_;
        begin_ = end_ = 0;
        uint32_t got = 0;
        const ArchiveProblem problem = source_.read(bytes_, kInputBytes, got);
        end_ = got;
        return problem;
    }

    // `n` bytes (at most kInputBytes) readable at data(); damaged when the
    // stream ends first.
    ArchiveProblem need(uint32_t n) {
        if (available() >= n) return ArchiveProblem::none;
        std::memmove(bytes_, bytes_ + begin_, available());
        start_ += begin_;
        end_ -= begin_;
        begin_ = 0;
        while (end_ < n) {
            uint32_t got = 0;
            const ArchiveProblem problem = source_.read(bytes_ + end_, kInputBytes - end_, got);
            if (problem != ArchiveProblem::none) return problem;
            if (got == 0) return ArchiveProblem::damaged;
            end_ += got;
        }
        return ArchiveProblem::none;
    }

    // Copies `n` bytes, across refills.
    ArchiveProblem copy(uint8_t* to, uint32_t n) {
        while (n != 0) {
            const ArchiveProblem problem = fill();
            if (problem != ArchiveProblem::none) return problem;
            if (available() == 0) return ArchiveProblem::damaged;
            const uint32_t part = available() < n ? available() : n;
            std::memcpy(to, data(), part);
            consume(part);
            to += part;
            n -= part;
        }
        return ArchiveProblem::none;
    }

    // Forward within the stream reads on (what a member is worth to its
    // container); backward starts the stream again.
    ArchiveProblem seek(uint64_t position) {
        if (position >= start_ && position <= start_ + end_) {
            begin_ = static_cast<uint32_t>(position - start_);
            return ArchiveProblem::none;
        }
        if (source_.seekable()) {
            const ArchiveProblem problem = source_.seek(position);
            start_ = position;
            begin_ = end_ = 0;
            return problem;
        }
        if (position < start_) {
            const ArchiveProblem problem = source_.rewind();
            start_ = 0;
            begin_ = end_ = 0;
            if (problem != ArchiveProblem::none) return problem;
        }
        while (start_ + end_ < position) {
            start_ += end_;
            begin_ = end_ = 0;
            uint32_t got = 0;
            const ArchiveProblem problem = source_.read(bytes_, kInputBytes, got);
            if (problem != ArchiveProblem::none) return problem;
            if (got == 0) return ArchiveProblem::damaged;
            end_ = got;
        }
        begin_ = static_cast<uint32_t>(position - start_);
        return ArchiveProblem::none;
    }
    ArchiveProblem skip(uint64_t n) { return seek(position() + n); }

private:
    Work& work_;
    Source& source_;
    uint8_t* bytes_ = nullptr;
    uint32_t begin_ = 0, end_ = 0;
    uint64_t start_ = 0;  // stream position of bytes_[0]
};

// One raw inflate state, its memory counted by the work.
class Inflater {
public:
    explicit Inflater(Work& work) : work_(work) {}
    ~Inflater() {
        if (open_) inflateEnd(&z_);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    ArchiveProblem start() {
        if (open_) return inflateReset(&z_) == Z_OK ? ArchiveProblem::none : ArchiveProblem::damaged;
        z_ = z_stream{};
        z_.zalloc = [](voidpf work, uInt items, uInt size) -> voidpf {
            return static_cast<Work*>(work)->allocate(size_t(items) * size);
        };
        z_.zfree = [](voidpf work, voidpf pointer) { static_cast<Work*>(work)->release(pointer); };
        z_.opaque = &work_;
        const int status = inflateInit2(&z_, -MAX_WBITS);
        if (status == Z_MEM_ERROR) return ArchiveProblem::noMemory;
        if (status != Z_OK) return ArchiveProblem::damaged;
        open_ = true;
        return ArchiveProblem::none;
    }

    // The last 32 KB of output become the history of a fresh stream.
    ArchiveProblem restartWithHistory() {
        if (work_.history == nullptr) work_.history = static_cast<uint8_t*>(work_.allocate(kMszipHistory));
        if (work_.history == nullptr) return ArchiveProblem::noMemory;
        uInt length = 0;
        if (inflateGetDictionary(&z_, work_.history, &length) != Z_OK) return ArchiveProblem::damaged;
        if (inflateReset(&z_) != Z_OK) return ArchiveProblem::damaged;
        if (length != 0 && inflateSetDictionary(&z_, work_.history, length) != Z_OK) return ArchiveProblem::damaged;
        return ArchiveProblem::none;
    }

    // Inflates from `in` (at most `inLength` bytes) into `out`; reports the
    // bytes taken and given, and whether the deflate stream ended.
    ArchiveProblem step(const uint8_t* in, uint32_t inLength, uint8_t* out, uint32_t outLength, uint32_t& used,
                        uint32_t& made, bool& ended) {
        z_.next_in = const_cast<Bytef*>(in);
        z_.avail_in = inLength;
        z_.next_out = out;
        z_.avail_out = outLength;
        const int status = inflate(&z_, Z_NO_FLUSH);
        used = inLength - z_.avail_in;
        made = outLength - z_.avail_out;
        ended = status == Z_STREAM_END;
        if (status == Z_MEM_ERROR) return ArchiveProblem::noMemory;
        if (status != Z_OK && status != Z_STREAM_END) return ArchiveProblem::damaged;
        if (used == 0 && made == 0 && !ended) return ArchiveProblem::damaged;
        return ArchiveProblem::none;
    }

private:
    Work& work_;
    z_stream z_{};
    bool open_ = false;
};

// ---------------------------------------------------------------- ZIP

// One ZIP member's bytes: stored, or deflated.
class ZipMember final : public Source {
public:
    ZipMember(Work& work, Input& in, Inflater& inflater) : work_(work), in_(in), inflater_(inflater) {}

    void place(uint64_t dataStart, uint64_t packed, uint64_t size, bool deflated) {
        dataStart_ = dataStart;
        packed_ = packed;
        size_ = size;
        deflated_ = deflated;
        consumed_ = produced_ = 0;
        ended_ = false;
        started_ = false;
    }

    ArchiveProblem read(uint8_t* to, uint32_t want, uint32_t& got) override {
        got = 0;
        if (ended_ || want == 0) return ArchiveProblem::none;
        if (!started_) {
            ArchiveProblem problem = in_.seek(dataStart_);
            if (problem == ArchiveProblem::none && deflated_) problem = inflater_.start();
            if (problem != ArchiveProblem::none) return problem;
            started_ = true;
        }
        while (got == 0 && !ended_) {
            if (!deflated_ && consumed_ == packed_) {
                ended_ = true;
                break;
            }
            ArchiveProblem problem = in_.fill();
            if (problem != ArchiveProblem::none) return problem;
            uint32_t avail = in_.available();
            if (packed_ != kUnknownSize && packed_ - consumed_ < avail) avail = static_cast<uint32_t>(packed_ - consumed_);
            if (avail == 0) return ArchiveProblem::damaged;  // cut before the member's end
            uint32_t used = 0;
            if (deflated_) {
                problem = inflater_.step(in_.data(), avail, to, want, used, got, ended_);
                if (problem != ArchiveProblem::none) return problem;
            } else {
                used = got = avail < want ? avail : want;
                std::memcpy(to, in_.data(), got);
            }
            in_.consume(used);
            consumed_ += used;
            produced_ += got;
            if (size_ != kUnknownSize && produced_ > size_) return ArchiveProblem::damaged;
            problem = work_.spend(got);
            if (problem != ArchiveProblem::none) return problem;
        }
        if (ended_ && size_ != kUnknownSize && produced_ != size_) return ArchiveProblem::damaged;
        return ArchiveProblem::none;
    }

    ArchiveProblem rewind() override {
        consumed_ = produced_ = 0;
        ended_ = started_ = false;
        return ArchiveProblem::none;
    }
    bool seekable() const override { return !deflated_ && in_.seekable(); }
    ArchiveProblem seek(uint64_t position) override {
        if (position > packed_) position = packed_;
        consumed_ = produced_ = position;
        ended_ = false;
        started_ = true;
        return in_.seek(dataStart_ + position);
    }

    // Where the data ends: known, or found by reading to the stream's end.
    ArchiveProblem end(uint64_t& position) {
        if (packed_ != kUnknownSize) {
            position = dataStart_ + packed_;
            return ArchiveProblem::none;
        }
        while (!ended_) {
            uint32_t got = 0;
            const ArchiveProblem problem = read(work_.probe, sizeof work_.probe, got);
            if (problem != ArchiveProblem::none) return problem;
        }
        position = dataStart_ + consumed_;
        return ArchiveProblem::none;
    }

private:
    Work& work_;
    Input& in_;
    Inflater& inflater_;
    uint64_t dataStart_ = 0, packed_ = 0, size_ = 0;
    uint64_t consumed_ = 0, produced_ = 0;
    bool deflated_ = false, ended_ = false, started_ = false;
};

// What a walk learns of one member before it reads it.
struct Entry {
    bool end = false;    // no more members
    bool last = false;   // the walk cannot go past this one
    char name[kMemberNameBytes + 1] = {};
    uint64_t size = kUnknownSize;
    ArchiveProblem problem = ArchiveProblem::none;
    char detail[24] = {};
    Source* bytes = nullptr;
};

void setName(Entry& entry, const uint8_t* name, uint32_t length) {
    if (length > kMemberNameBytes) length = kMemberNameBytes;
    for (uint32_t i = 0; i < length; ++i) {
        const uint8_t c = name[i];
        entry.name[i] = c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
    }
    entry.name[length] = 0;
}

// The walker of one archive, whatever its format.
class Archive {
public:
    virtual ~Archive() = default;
    virtual ArchiveProblem open() = 0;
    virtual ArchiveProblem next(Entry& entry) = 0;
};

const char* zipMethodName(uint16_t method) {
    switch (method) {
        case 1: return "Shrink";
        case 6: return "Implode";
        case 9: return "Deflate64";
        case 12: return "bzip2";
        case 14: return "LZMA";
        case 93: return "Zstandard";
        case 95: return "xz";
        case 98: return "PPMd";
        default: return nullptr;
    }
}

// A ZIP read forward by its local headers.
class ZipArchive final : public Archive {
public:
    ZipArchive(Work& work, Source& container, const ArchiveOpening& opening)
        : in_(work, container), inflater_(work), member_(work, in_, inflater_), opening_(opening) {}

    ArchiveProblem open() override {
        if (!in_.ready()) return ArchiveProblem::noMemory;
        if (opening_.zipSplit) return ArchiveProblem::continued;
        if (!opening_.zipByEnd) return ArchiveProblem::none;
        if (opening_.zipEmpty) {
            done_ = true;
            return ArchiveProblem::none;
        }
        // The first central entry names where the first local header lies,
        // counted from the ZIP's own start or from the file's.
        ArchiveProblem problem = in_.seek(opening_.zipDirectory);
        if (problem == ArchiveProblem::none) problem = in_.need(46);
        if (problem != ArchiveProblem::none) return problem;
        if (le32(in_.data()) != 0x02014b50) return ArchiveProblem::damaged;
        const uint64_t local = le32(in_.data() + 42);
        for (uint64_t at : {opening_.zipShift + local, local}) {
            if (in_.seek(at) == ArchiveProblem::none && in_.need(4) == ArchiveProblem::none &&
                le32(in_.data()) == 0x04034b50) {
                next_ = at;
                return ArchiveProblem::none;
            }
        }
        return ArchiveProblem::damaged;
    }

    ArchiveProblem next(Entry& entry) override {
        for (;;) {
            entry = Entry{};
            if (done_) {
                entry.end = true;
                return ArchiveProblem::none;
            }
            if (opened_) {
                opened_ = false;
                const ArchiveProblem problem = member_.end(next_);
                if (problem != ArchiveProblem::none) return problem;
            }
            ArchiveProblem problem = in_.seek(next_);
            if (problem == ArchiveProblem::none) problem = in_.need(4);
            if (problem != ArchiveProblem::none) return problem;
            const uint32_t signature = le32(in_.data());
            if (signature == 0x02014b50 || signature == 0x06054b50 || signature == 0x06064b50) {
                entry.end = true;  // the central directory: every member has been seen
                return ArchiveProblem::none;
            }
            if (signature == 0x08074b50 && next_ == 0) {  // the marker of a one-part split archive
                next_ = 4;
                continue;
            }
            if (signature != 0x04034b50) return ArchiveProblem::damaged;
            problem = header(entry);
            if (problem != ArchiveProblem::none) return problem;
            if (entry.last) done_ = true;
            // A folder's entry holds nothing to scan.
            if (entry.name[std::strlen(entry.name) - 1] == '/' && entry.size == 0) continue;
            return ArchiveProblem::none;
        }
    }

private:
    ArchiveProblem header(Entry& entry) {
        ArchiveProblem problem = in_.need(30);
        if (problem != ArchiveProblem::none) return problem;
        const uint8_t* h = in_.data();
        const uint16_t flags = le16(h + 6);
        const uint16_t method = le16(h + 8);
        uint64_t packed = le32(h + 18);
        uint64_t size = le32(h + 22);
        const uint16_t nameLength = le16(h + 26);
        const uint16_t extraLength = le16(h + 28);
        in_.consume(30);
        uint8_t name[kMemberNameBytes];
        const uint32_t kept = nameLength < kMemberNameBytes ? nameLength : kMemberNameBytes;
        problem = in_.copy(name, kept);
        if (problem == ArchiveProblem::none) problem = in_.skip(nameLength - kept);
        if (problem != ArchiveProblem::none) return problem;
        setName(entry, name, kept);
        if (kept == 0) std::memcpy(entry.name, "?", 2);

        // ZIP64 sizes: in the extra field when the header's are all ones.
        uint32_t extraLeft = extraLength;
        while (extraLeft >= 4) {
            problem = in_.need(4);
            if (problem != ArchiveProblem::none) return problem;
            const uint16_t id = le16(in_.data());
            const uint16_t length = le16(in_.data() + 2);
            in_.consume(4);
            extraLeft -= 4;
            if (length > extraLeft) return ArchiveProblem::damaged;
            if (id == 0x0001 && length <= 32) {
                uint8_t field[32];
                problem = in_.copy(field, length);
                if (problem != ArchiveProblem::none) return problem;
                uint32_t at = 0;
                if (size == 0xFFFFFFFFu && at + 8 <= length) {
                    size = le64(field + at);
                    at += 8;
                }
                if (packed == 0xFFFFFFFFu && at + 8 <= length) packed = le64(field + at);
            } else {
                problem = in_.skip(length);
                if (problem != ArchiveProblem::none) return problem;
            }
            extraLeft -= length;
        }
        problem = in_.skip(extraLeft);
        if (problem != ArchiveProblem::none) return problem;

        const uint64_t dataStart = in_.position();
        const bool described = (flags & 0x0008) != 0;  // sizes follow the data
        if (described) packed = size = kUnknownSize;
        entry.size = size;
        const bool deflated = method == 8;
        member_.place(dataStart, packed, size, deflated);
        next_ = packed == kUnknownSize ? next_ : dataStart + packed;
        if (packed == kUnknownSize && !deflated) entry.last = true;  // its end cannot be found

        if ((flags & 0x0041) != 0) {
            entry.problem = ArchiveProblem::encrypted;
        } else if (method != 0 && method != 8) {
            entry.problem = ArchiveProblem::compression;
            const char* known = zipMethodName(method);
            if (known != nullptr) {
                std::snprintf(entry.detail, sizeof entry.detail, "%s", known);
            } else {
                std::snprintf(entry.detail, sizeof entry.detail, "method %u", unsigned(method));
            }
        } else if (described && !deflated) {
            entry.problem = ArchiveProblem::damaged;
        }
        if (entry.problem != ArchiveProblem::none) {
            if (packed == kUnknownSize) entry.last = true;
        } else {
            entry.bytes = &member_;
            opened_ = true;
        }
        return ArchiveProblem::none;
    }

    Input in_;
    Inflater inflater_;
    ZipMember member_;
    ArchiveOpening opening_;
    uint64_t next_ = 0;
    bool opened_ = false;
    bool done_ = false;
};

// ---------------------------------------------------------------- CAB

struct CabFolder {
    uint32_t dataStart = 0;
    uint16_t blocks = 0;
    uint16_t compression = 0;  // low 4 bits: 0 none, 1 MSZIP, 2 Quantum, 3 LZX
};

// A folder's uncompressed bytes: its CFDATA blocks one after another.
class CabFolderStream final : public Source {
public:
    CabFolderStream(Work& work, Input& in, Inflater& inflater) : work_(work), in_(in), inflater_(inflater) {}

    void place(const CabFolder& folder, uint8_t dataReserve) {
        folder_ = folder;
        reserve_ = dataReserve;
        rewind();
    }
    uint64_t produced() const { return produced_; }

    ArchiveProblem read(uint8_t* to, uint32_t want, uint32_t& got) override {
        got = 0;
        while (got == 0 && want != 0) {
            if (outLeft_ == 0) {
                if (block_ == folder_.blocks) return ArchiveProblem::none;
                const ArchiveProblem problem = openBlock();
                if (problem != ArchiveProblem::none) return problem;
                continue;
            }
            ArchiveProblem problem = in_.fill();
            if (problem != ArchiveProblem::none) return problem;
            uint32_t avail = in_.available() < inLeft_ ? in_.available() : inLeft_;
            if (avail == 0) return ArchiveProblem::damaged;
            const uint32_t room = want < outLeft_ ? want : outLeft_;
            uint32_t used = 0;
            if ((folder_.compression & 0x0F) == 0) {
                used = got = avail < room ? avail : room;
                std::memcpy(to, in_.data(), got);
            } else {
                bool ended = false;
                problem = inflater_.step(in_.data(), avail, to, room, used, got, ended);
                if (problem != ArchiveProblem::none) return problem;
                if (ended && outLeft_ - got != 0) return ArchiveProblem::damaged;  // the block is short
            }
            in_.consume(used);
            inLeft_ -= used;
            outLeft_ -= got;
            produced_ += got;
            problem = work_.spend(got);
            if (problem != ArchiveProblem::none) return problem;
        }
        return ArchiveProblem::none;
    }

    ArchiveProblem rewind() override {
        block_ = 0;
        nextBlock_ = folder_.dataStart;
        inLeft_ = outLeft_ = 0;
        produced_ = 0;
        return ArchiveProblem::none;
    }

private:
    ArchiveProblem openBlock() {
        ArchiveProblem problem = in_.seek(nextBlock_);
        if (problem == ArchiveProblem::none) problem = in_.need(8);
        if (problem != ArchiveProblem::none) return problem;
        const uint16_t packed = le16(in_.data() + 4);
        const uint16_t size = le16(in_.data() + 6);
        in_.consume(8);
        problem = in_.skip(reserve_);
        if (problem != ArchiveProblem::none) return problem;
        if (size == 0) return ArchiveProblem::continued;  // the block goes on in the next cabinet
        if (size > kMszipHistory) return ArchiveProblem::damaged;
        nextBlock_ = in_.position() + packed;
        inLeft_ = packed;
        outLeft_ = size;
        if ((folder_.compression & 0x0F) == 0) {
            if (packed != size) return ArchiveProblem::damaged;
        } else {
            problem = in_.need(2);
            if (problem != ArchiveProblem::none) return problem;
            if (packed < 2 || in_.data()[0] != 'C' || in_.data()[1] != 'K') return ArchiveProblem::damaged;
            in_.consume(2);
            inLeft_ -= 2;
            problem = block_ == 0 ? inflater_.start() : inflater_.restartWithHistory();
            if (problem != ArchiveProblem::none) return problem;
        }
        ++block_;
        return ArchiveProblem::none;
    }

    Work& work_;
    Input& in_;
    Inflater& inflater_;
    CabFolder folder_;
    uint8_t reserve_ = 0;
    uint32_t block_ = 0;
    uint64_t nextBlock_ = 0;
    uint32_t inLeft_ = 0, outLeft_ = 0;
    uint64_t produced_ = 0;
};

// One CAB member: a range of its folder's bytes.
class CabMember final : public Source {
public:
    explicit CabMember(CabFolderStream& folder) : folder_(folder) {}
    void place(uint64_t start, uint64_t size) {
        start_ = start;
        size_ = size;
        position_ = 0;
    }
    ArchiveProblem read(uint8_t* to, uint32_t want, uint32_t& got) override {
        got = 0;
        if (position_ == size_ || want == 0) return ArchiveProblem::none;
        const uint64_t at = start_ + position_;
        if (folder_.produced() > at) folder_.rewind();
        while (folder_.produced() < at) {  // the members before this one, read into the caller's buffer
            const uint64_t gap = at - folder_.produced();
            uint32_t skipped = 0;
            const ArchiveProblem problem = folder_.read(to, gap < want ? static_cast<uint32_t>(gap) : want, skipped);
            if (problem != ArchiveProblem::none) return problem;
            if (skipped == 0) return ArchiveProblem::damaged;
        }
        const uint64_t left = size_ - position_;
        const ArchiveProblem problem = folder_.read(to, left < want ? static_cast<uint32_t>(left) : want, got);
        if (problem != ArchiveProblem::none) return problem;
        if (got == 0) return ArchiveProblem::damaged;  // the folder ends inside the member
        position_ += got;
        return ArchiveProblem::none;
    }
    ArchiveProblem rewind() override {
        position_ = 0;
        return ArchiveProblem::none;
    }

private:
    CabFolderStream& folder_;
    uint64_t start_ = 0, size_ = 0, position_ = 0;
};

// A CAB: its header and folders, its file table held in memory, then the
// members in the table's order.
class CabArchive final : public Archive {
public:
    CabArchive(Work& work, Source& container)
        : work_(work), in_(work, container), inflater_(work), folder_(work, in_, inflater_), member_(folder_) {}
    ~CabArchive() override {
        work_.release(folders_);
        work_.release(table_);
    }

    ArchiveProblem open() override {
        if (!in_.ready()) return ArchiveProblem::noMemory;
        ArchiveProblem problem = in_.need(36);
        if (problem != ArchiveProblem::none) return problem;
        const uint8_t* h = in_.data();
        const uint32_t filesAt = le32(h + 16);
        folderCount_ = le16(h + 26);
        fileCount_ = le16(h + 28);
        const uint16_t flags = le16(h + 30);
        in_.consume(36);
        uint8_t folderReserve = 0;
        if (flags & 0x0004) {
            problem = in_.need(4);
            if (problem != ArchiveProblem::none) return problem;
            const uint16_t headerReserve = le16(in_.data());
            folderReserve = in_.data()[2];
            dataReserve_ = in_.data()[3];
            in_.consume(4);
            problem = in_.skip(headerReserve);
            if (problem != ArchiveProblem::none) return problem;
        }
        // The names of the cabinets before and after this one.
        for (int name = 0; name < ((flags & 1) ? 2 : 0) + ((flags & 2) ? 2 : 0); ++name) {
            problem = skipString();
            if (problem != ArchiveProblem::none) return problem;
        }
        if (folderCount_ == 0 || folderCount_ > kCabMaxFolders) return ArchiveProblem::damaged;
        folders_ = static_cast<CabFolder*>(work_.allocate(sizeof(CabFolder) * folderCount_));
        if (folders_ == nullptr) return ArchiveProblem::noMemory;
        for (uint32_t i = 0; i < folderCount_; ++i) {
            problem = in_.need(8);
            if (problem != ArchiveProblem::none) return problem;
            folders_[i].dataStart = le32(in_.data());
            folders_[i].blocks = le16(in_.data() + 4);
            folders_[i].compression = le16(in_.data() + 6);
            in_.consume(8);
            problem = in_.skip(folderReserve);
            if (problem != ArchiveProblem::none) return problem;
        }
        // The file table: fixed fields and the name of each member, packed.
        table_ = static_cast<uint8_t*>(work_.allocate(kCabTableBytes));
        if (table_ == nullptr) return ArchiveProblem::noMemory;
        problem = in_.seek(filesAt);
        if (problem != ArchiveProblem::none) return problem;
        for (uint32_t i = 0; i < fileCount_; ++i) {
            problem = in_.need(16);
            if (problem != ArchiveProblem::none) return problem;
            uint8_t fields[16];
            std::memcpy(fields, in_.data(), 16);
            in_.consume(16);
            uint8_t name[257];
            uint32_t length = 0;
            for (;;) {
                problem = in_.need(1);
                if (problem != ArchiveProblem::none) return problem;
                const uint8_t c = in_.data()[0];
                in_.consume(1);
                if (c == 0) break;
                if (length == 256) return ArchiveProblem::damaged;
                name[length++] = c;
            }
            const uint32_t kept = length < kMemberNameBytes ? length : kMemberNameBytes;
            if (tableUsed_ + 12 + kept > kCabTableBytes) {
                tableFull_ = true;  // the members from here on are beyond the limit
                break;
            }
            uint8_t* row = table_ + tableUsed_;
            std::memcpy(row, fields, 10);  // size, offset in the folder, folder
            row[10] = static_cast<uint8_t>(kept);
            row[11] = 0;
            std::memcpy(row + 12, name, kept);
            tableUsed_ += 12 + kept;
            ++rows_;
        }
        return ArchiveProblem::none;
    }

    ArchiveProblem next(Entry& entry) override {
        entry = Entry{};
        if (row_ == rows_) {
            if (tableFull_ && !told_) {
                told_ = true;
                std::memcpy(entry.name, "*", 2);
                entry.problem = ArchiveProblem::countLimit;
                entry.last = true;
                return ArchiveProblem::none;
            }
            entry.end = true;
            return ArchiveProblem::none;
        }
        const uint8_t* row = table_ + rowAt_;
        rowAt_ += 12 + row[10];
        ++row_;
        setName(entry, row + 12, row[10]);
        if (row[10] == 0) std::memcpy(entry.name, "?", 2);
        const uint32_t size = le32(row);
        const uint32_t offset = le32(row + 4);
        const uint16_t folder = le16(row + 8);
        entry.size = size;
        if (folder >= 0xFFFD) {
            entry.problem = ArchiveProblem::continued;
            return ArchiveProblem::none;
        }
        if (folder >= folderCount_) {
            entry.problem = ArchiveProblem::damaged;
            return ArchiveProblem::none;
        }
        const uint16_t type = folders_[folder].compression & 0x0F;
        if (type > 1) {
            entry.problem = ArchiveProblem::compression;
            std::snprintf(entry.detail, sizeof entry.detail, "%s",
                          type == 2 ? "Quantum" : type == 3 ? "LZX" : "unknown");
            return ArchiveProblem::none;
        }
        if (folder != current_) {
            current_ = folder;
            folder_.place(folders_[folder], dataReserve_);
        }
        member_.place(offset, size);
        entry.bytes = &member_;
        return ArchiveProblem::none;
    }

private:
    ArchiveProblem skipString() {
        for (int i = 0; i < 256; ++i) {
            const ArchiveProblem problem = in_.need(1);
            if (problem != ArchiveProblem::none) return problem;
            const uint8_t c = in_.data()[0];
            in_.consume(1);
            if (c == 0) return ArchiveProblem::none;
        }
        return ArchiveProblem::damaged;
    }

    Work& work_;
    Input in_;
    Inflater inflater_;
    CabFolderStream folder_;
    CabMember member_;
    uint32_t folderCount_ = 0, fileCount_ = 0;
    uint8_t dataReserve_ = 0;
    CabFolder* folders_ = nullptr;
    uint8_t* table_ = nullptr;
    uint32_t tableUsed_ = 0, rows_ = 0, row_ = 0, rowAt_ = 0;
    bool tableFull_ = false, told_ = false;
    uint32_t current_ = 0xFFFFFFFFu;
};

// ---------------------------------------------------------------- the walk

// Names of the members on the way down, joined by '/'.
struct NamePath {
    char text[kArchiveNameCapacity] = {};
    size_t length = 0;
    size_t push(const char* name) {
        const size_t before = length;
        if (length != 0 && length + 1 < kArchiveNameCapacity) text[length++] = '/';
        for (const char* c = name; *c != 0 && length + 1 < kArchiveNameCapacity; ++c) text[length++] = *c;
        text[length] = 0;
        return before;
    }
    void pop(size_t to) {
        length = to;
        text[length] = 0;
    }
};

void tell(Work& work, const char* member, ArchiveProblem problem, const char* detail) {
    ++work.verdict->membersNotExamined;
    if (work.events.notExamined != nullptr) work.events.notExamined(work.events.context, member, problem, detail);
}

// Problems after which nothing more of the file is read.
bool endsWalk(ArchiveProblem problem) {
    return problem == ArchiveProblem::archiveLimit || problem == ArchiveProblem::countLimit ||
           problem == ArchiveProblem::stopped || problem == ArchiveProblem::unreadable ||
           problem == ArchiveProblem::noMemory;
}

void search(Work& work, const uint8_t* bytes, uint32_t length, WindowPlace place, MatchResult& result) {
    if (work.method == ScanMethod::table) {
        searchFast(*work.db, bytes, length, place, result);
    } else {
        searchLiteral(*work.db, bytes, length, place, result);
    }
}

// A member's bytes scanned as a file's are (engine/scan_windows.h), streamed
// through the window: the head window first, the rest through a ring in the
// window's second half that holds the tail window at the end.
ArchiveProblem scanMember(Work& work, Source& bytes, uint64_t declared, MatchResult& result, FileEnds& ends) {
    result.recordNumber = 0;
    ends = FileEnds{};
    uint8_t* window = work.window;
    uint64_t total = 0;
    uint32_t got = 0;
    while (total < kScanWholeFileLimit) {
        const ArchiveProblem problem = bytes.read(window + total, static_cast<uint32_t>(kScanWholeFileLimit - total), got);
        if (problem != ArchiveProblem::none) return problem;
        if (got == 0) break;
        total += got;
    }
    ends.headLength = total < kFileHeadBytes ? static_cast<uint32_t>(total) : kFileHeadBytes;
    std::memcpy(ends.head, window, ends.headLength);
    got = 0;
    if (total == kScanWholeFileLimit) {
        const ArchiveProblem problem = bytes.read(work.probe, sizeof work.probe, got);
        if (problem != ArchiveProblem::none) return problem;
    }
    if (got == 0) {  // the whole member fits one window
        if (total >= kScanMinimumSize) search(work, window, static_cast<uint32_t>(total), WindowPlace::startOfFile, result);
        ends.tail = window;
        ends.tailLength = static_cast<uint32_t>(total);
        ends.size = total;
        return ArchiveProblem::none;
    }

    search(work, window, kScanWindowLength, WindowPlace::startOfFile, result);
    if (result.recordNumber != 0) return ArchiveProblem::none;
    if (declared != kUnknownSize && declared > work.limits.memberBytes) return ArchiveProblem::memberLimit;
    uint8_t* ring = window + kScanWindowLength;
    auto put = [&](const uint8_t* from, uint32_t n) {
        while (n != 0) {
            const uint32_t at = static_cast<uint32_t>(total % kScanWindowLength);
            const uint32_t part = kScanWindowLength - at < n ? kScanWindowLength - at : n;
            std::memcpy(ring + at, from, part);
            from += part;
            n -= part;
            total += part;
        }
    };
    put(work.probe, got);
    for (;;) {
        if (total > work.limits.memberBytes) return ArchiveProblem::memberLimit;
        const uint32_t at = static_cast<uint32_t>(total % kScanWindowLength);
        const ArchiveProblem problem = bytes.read(ring + at, kScanWindowLength - at, got);
        if (problem != ArchiveProblem::none) return problem;
        if (got == 0) break;
        total += got;
    }
    // The ring's oldest byte is the tail window's first.
    const uint32_t oldest = static_cast<uint32_t>(total % kScanWindowLength);
    std::memcpy(window, ring + oldest, kScanWindowLength - oldest);
    std::memcpy(window + (kScanWindowLength - oldest), ring, oldest);
    search(work, window, kScanWindowLength, WindowPlace::insideFile, result);
    ends.tail = window;
    ends.tailLength = kScanWindowLength;
    ends.size = total;
    return ArchiveProblem::none;
}

// Walks one archive; true when the walk of the whole file ends (a detection,
// or a problem after which nothing more is read).
bool walk(Work& work, Source& container, const ArchiveOpening& opening, uint32_t level, NamePath& names) {
    Archive* archive = nullptr;
    if (opening.kind == ArchiveKind::cab) {
        archive = work.make<CabArchive>(work, container);
    } else {
        archive = work.make<ZipArchive>(work, container, opening);
    }
    if (archive == nullptr) {
        tell(work, names.text, ArchiveProblem::noMemory, "");
        return true;
    }
    bool ends = false;
    ArchiveProblem problem = archive->open();
    if (problem != ArchiveProblem::none) {
        tell(work, names.text, problem, "");
        ends = endsWalk(problem);
    }
    bool toldDamage = false;  // the member before was told damaged: a cut archive is told once
    while (problem == ArchiveProblem::none) {
        Entry entry;
        problem = archive->next(entry);
        if (problem != ArchiveProblem::none) {
            // The archive's structure failed between members: what is left of it is unknown.
            if (!(toldDamage && problem == ArchiveProblem::damaged)) {
                const size_t mark = names.push("*");
                tell(work, names.text, problem, "");
                names.pop(mark);
            }
            ends = endsWalk(problem);
            break;
        }
        toldDamage = false;
        if (entry.end) break;
        const size_t mark = names.push(entry.name);
        if (work.members == work.limits.members) {
            tell(work, names.text, ArchiveProblem::countLimit, "");
            ends = true;
            break;
        }
        ++work.members;
        if (entry.problem != ArchiveProblem::none || entry.bytes == nullptr) {
            tell(work, names.text, entry.problem == ArchiveProblem::none ? ArchiveProblem::damaged : entry.problem,
                 entry.detail);
            names.pop(mark);
            if (entry.last || endsWalk(entry.problem)) {
                ends = endsWalk(entry.problem);
                break;
            }
            continue;
        }
        MatchResult result;
        FileEnds memberEnds;
        const ArchiveProblem read = scanMember(work, *entry.bytes, entry.size, result, memberEnds);
        if (result.recordNumber != 0) {
            work.verdict->result = result;
            std::memcpy(work.verdict->member, names.text, names.length + 1);
            ++work.verdict->membersExamined;
            ends = true;
            break;
        }
        if (read != ArchiveProblem::none) {
            tell(work, names.text, read, "");
            toldDamage = read == ArchiveProblem::damaged;
            names.pop(mark);
            if (endsWalk(read)) {
                ends = true;
                break;
            }
            continue;
        }
        ++work.verdict->membersExamined;
        const ArchiveOpening inner = archiveRecognize(memberEnds);
        if (inner.kind != ArchiveKind::none) {
            if (level >= work.limits.depth) {
                tell(work, names.text, ArchiveProblem::depthLimit, "");
            } else {
                ++work.verdict->archives;
                entry.bytes->rewind();
                if (walk(work, *entry.bytes, inner, level + 1, names)) {
                    ends = true;
                    break;
                }
            }
        }
        names.pop(mark);
        if (entry.last) break;
    }
    work.destroy(archive);
    return ends;
}

bool plausibleCab(const uint8_t* h, uint32_t length) {
    if (length < 36 || std::memcmp(h, "MSCF", 4) != 0) return false;
    const uint32_t reserved = le32(h + 4);
    const uint32_t cabinetSize = le32(h + 8);
    const uint32_t filesAt = le32(h + 16);
    return reserved == 0 && h[25] == 1 && h[24] == 3 && filesAt >= 36 && cabinetSize > filesAt && le16(h + 26) != 0;
}

}  // namespace

const char* archiveProblemText(ArchiveProblem problem) {
    switch (problem) {
        case ArchiveProblem::none: return "none";
        case ArchiveProblem::compression: return "compression";
        case ArchiveProblem::encrypted: return "encrypted";
        case ArchiveProblem::continued: return "continued";
        case ArchiveProblem::damaged: return "damaged";
        case ArchiveProblem::memberLimit: return "limit member size";
        case ArchiveProblem::archiveLimit: return "limit archive size";
        case ArchiveProblem::countLimit: return "limit members";
        case ArchiveProblem::depthLimit: return "limit depth";
        case ArchiveProblem::stopped: return "stopped";
        case ArchiveProblem::unreadable: return "unreadable";
        case ArchiveProblem::noMemory: return "out of memory";
    }
    return "damaged";
}

ArchiveOpening archiveRecognize(const FileEnds& ends) {
    ArchiveOpening opening;
    if (ends.headLength >= 4 && ends.head[0] == 'M' && ends.head[1] == 'S') {
        if (plausibleCab(ends.head, ends.headLength)) opening.kind = ArchiveKind::cab;
        return opening;
    }
    if (ends.headLength >= 4 && le32(ends.head) == 0x04034b50) {
        opening.kind = ArchiveKind::zip;
        return opening;
    }
    // The end record: 22 bytes and a comment that runs exactly to the end.
    // Comments are looked for only up to kZipCommentSearch bytes, so that a
    // file that is no archive costs a few comparisons.
    if (ends.tailLength < 22 || ends.tail == nullptr) return opening;
    const uint8_t* tail = ends.tail;
    const uint32_t length = ends.tailLength;
    uint32_t found = length;
    if (le32(tail + length - 22) == 0x06054b50 && le16(tail + length - 2) == 0) {
        found = length - 22;
    } else {
        const uint32_t from = length > 22 + kZipCommentSearch ? length - 22 - kZipCommentSearch : 0;
        for (const uint8_t* p = tail + from; p <= tail + length - 22;) {
            p = static_cast<const uint8_t*>(std::memchr(p, 'P', static_cast<size_t>(tail + length - 21 - p)));
            if (p == nullptr) break;
            const uint32_t at = static_cast<uint32_t>(p - tail);
            if (le32(p) == 0x06054b50 && le16(p + 20) == length - at - 22) found = at;
            ++p;
        }
    }
    if (found == length) return opening;
    const uint8_t* e = tail + found;
    const uint64_t endAt = ends.size - length + found;
    const uint16_t disk = le16(e + 4), directoryDisk = le16(e + 6);
    const uint32_t entries = le16(e + 10);
    const uint32_t directorySize = le32(e + 12), directoryAt = le32(e + 16);
    if (directoryAt == 0xFFFFFFFFu || directorySize > endAt || directoryAt > endAt - directorySize) return opening;
    opening.kind = ArchiveKind::zip;
    opening.zipByEnd = true;
    opening.zipSplit = disk != 0 || directoryDisk != 0;
    opening.zipEmpty = entries == 0;
    opening.zipDirectory = endAt - directorySize;
    opening.zipShift = endAt - directorySize - directoryAt;
    return opening;
}

Status archiveScan(const VpsDatabase& db, ScanMethod method, uint64_t size, const WindowSource& file,
                   const ArchiveOpening& opening, uint8_t* window, const ArchiveLimits& limits,
                   const ArchiveEvents& events, ArchiveVerdict& verdict) {
    verdict = ArchiveVerdict{};
    if (opening.kind == ArchiveKind::none) return kStatusOk;
    Work* work = static_cast<Work*>(std::malloc(sizeof(Work)));
    if (work == nullptr) return kStatusOutOfMemory;
    new (work) Work();
    work->db = &db;
    work->method = method;
    work->limits = limits;
    if (work->limits.memberBytes < kScanWholeFileLimit) work->limits.memberBytes = kScanWholeFileLimit;
    work->events = events;
    work->verdict = &verdict;
    work->window = window;
    work->memory = sizeof(Work);
    verdict.peakMemory = sizeof(Work);
    verdict.archives = 1;
    {
        FileSource source(*work, file, size);
        NamePath names;
        walk(*work, source, opening, 1, names);
    }
    verdict.bytesProduced = work->produced;
    work->release(work->history);
    work->~Work();
    std::free(work);
    return kStatusOk;
}

Status scanWithArchives(const VpsDatabase& db, uint64_t size, const WindowSource& source, uint8_t* window,
                        ScanMethod method, const ArchiveLimits& limits, const ArchiveEvents& events,
                        MatchResult& result, ArchiveVerdict& verdict) {
    verdict = ArchiveVerdict{};
    FileEnds ends;
    const Status status = scanWindows(db, size, source, window, method, result, &ends);
    if (status != kStatusOk || result.recordNumber != 0) return status;
    const ArchiveOpening opening = archiveRecognize(ends);
    if (opening.kind == ArchiveKind::none) return kStatusOk;
    const Status walked = archiveScan(db, method, size, source, opening, window, limits, events, verdict);
    if (verdict.result.recordNumber != 0) result = verdict.result;
    return walked;
}
