#include "IdmlPackage.h"
#include "ReaderCrc.h"

#include <ombra/streams.h>
#include <ombra/typedstreams.h>

#include <zip.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace idml {

namespace {

// A read-only, seekable libzip source over an OBStream, from the position
// it had when the source was made.
struct StreamSource {
    OBStream* stream;
    long long base;
    long long size;
    long long at = 0;
    zip_error_t error;
};

zip_int64_t StreamCallback(void* user, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
    auto* s = static_cast<StreamSource*>(user);
    switch (cmd) {
    case ZIP_SOURCE_OPEN:
        s->at = 0;
        return 0;
    case ZIP_SOURCE_READ: {
        long long left = s->size - s->at;
        long long want = static_cast<long long>(std::min<zip_uint64_t>(len, 1u << 30));
        if (want > left) want = left;
        if (want <= 0) return 0;
        if (s->stream->Seek(s->base + s->at, kSeekFromStart) != s->base + s->at) {
            zip_error_set(&s->error, ZIP_ER_SEEK, 0);
            return -1;
        }
        long long n = s->stream->XferByte(static_cast<unsigned char*>(data), want);
        if (n < 0) {
            zip_error_set(&s->error, ZIP_ER_READ, 0);
            return -1;
        }
        s->at += n;
        return n;
    }
    case ZIP_SOURCE_CLOSE:
        return 0;
    case ZIP_SOURCE_STAT: {
        auto* st = static_cast<zip_stat_t*>(data);
        if (len < sizeof(*st)) return -1;
        zip_stat_init(st);
        st->size = static_cast<zip_uint64_t>(s->size);
        st->valid |= ZIP_STAT_SIZE;
        return sizeof(*st);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&s->error, data, len);
    case ZIP_SOURCE_FREE:
        zip_error_fini(&s->error);
        delete s;
        return 0;
    case ZIP_SOURCE_SEEK: {
        zip_int64_t to = zip_source_seek_compute_offset(static_cast<zip_uint64_t>(s->at),
                                                        static_cast<zip_uint64_t>(s->size), data,
                                                        len, &s->error);
        if (to < 0) return -1;
        s->at = to;
        return 0;
    }
    case ZIP_SOURCE_TELL:
        return s->at;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(
            ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR,
            ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, ZIP_SOURCE_SUPPORTS, -1);
    default:
        zip_error_set(&s->error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

// A zip over the stream from where it stands, or null; the stream's position
// is restored by the caller.
struct zip* OpenStreamZip(OBStream* input, long long base, long long size, bool& noMemory) {
    auto* s = new (std::nothrow) StreamSource{input, base, size, 0, {}};
    if (!s) {
        noMemory = true;
        return nullptr;
    }
    zip_error_init(&s->error);
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_function_create(StreamCallback, s, &error);
    if (!source) {
        zip_error_fini(&s->error);
        delete s;
        noMemory = zip_error_code_zip(&error) == ZIP_ER_MEMORY;
        zip_error_fini(&error);
        return nullptr;
    }
    struct zip* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (!archive) {
        noMemory = zip_error_code_zip(&error) == ZIP_ER_MEMORY;
        zip_source_free(source);
    }
    zip_error_fini(&error);
    return archive;
}

// A part name that stays inside the package.
bool SafeName(const char* name) {
    if (!name || !*name || *name == '/') return false;
    const char* segment = name;
    for (const char* p = name;; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '/' || c == 0) {
            std::size_t n = static_cast<std::size_t>(p - segment);
            if ((n == 2 && segment[0] == '.' && segment[1] == '.') || (n == 1 && segment[0] == '.'))
                return false;
            if (c == 0) return true;
            segment = p + 1;
        } else if (c < 0x20 || c == '\\' || c == ':') {
            return false;
        }
    }
}

// Whether the first local header names the media type or the designmap, so
// that the common packages are known without reading the central directory.
bool StartsLikePackage(const unsigned char* head, long long n) {
    // The first local header: signature, then the name at 30 and the stored
    // data after the name and the extra field.
    if (n < 30 || std::memcmp(head, "PK\3\4", 4) != 0) return false;
    unsigned nameLength = head[26] | (head[27] << 8), extra = head[28] | (head[29] << 8);
    unsigned method = head[8] | (head[9] << 8);
    static const char kDesignmap[] = "designmap.xml";
    if (nameLength == sizeof kDesignmap - 1 && n >= 30 + static_cast<long long>(nameLength) &&
        std::memcmp(head + 30, kDesignmap, nameLength) == 0)
        return true;
    if (nameLength != 8 || std::memcmp(head + 30, "mimetype", 8) != 0 || method != 0) return false;
    std::size_t type = std::strlen(kMediaType);
    long long at = 38 + extra;
    return at + static_cast<long long>(type) <= n && std::memcmp(head + at, kMediaType, type) == 0;
}

} // namespace

short DetectPackage(OBStream* input) {
    if (!input) return 0;
    const long long position = input->Tell();
    if (position < 0) return 0;
    unsigned char head[1024];
    long long n = input->XferByte(head, static_cast<long long>(sizeof head));
    short found = 0;
    if (n >= 4 && std::memcmp(head, "PK", 2) == 0) {
        if (StartsLikePackage(head, n)) {
            found = 1;
        } else {
            Package package;
            input->Seek(position, kSeekFromStart);
            std::string type;
            if (package.Open(input) == Package::Status::kOk) {
                if (package.Has("designmap.xml"))
                    found = 1;
                else if (package.Has("mimetype") &&
                         package.Read("mimetype", type) == Package::ReadResult::kOk)
                    found = type.compare(0, std::strlen(kMediaType), kMediaType) == 0 ? 1 : 0;
            }
        }
    }
    input->Seek(position, kSeekFromStart);
    return found;
}

Package::Package() {}

Package::~Package() {
    Close();
}

void Package::Close() {
    if (zip_) zip_discard(zip_);
    zip_ = nullptr;
    names_.clear();
    index_.clear();
    memory_ = nullptr;
    memorySize_ = 0;
    stored_.clear();
    parts_.clear();
    salvaged_ = cut_ = false;
    lost_ = 0;
    walked_ = Walked::kNone;
    local_.clear();
    recovered_ = 0;
    stream_ = nullptr;
    base_ = 0;
}

Package::Status Package::Open(OBStream* input) {
    Close();
    if (!input) return Status::kNotZip;
    const long long base = input->Tell();
    // A stream over bytes in memory (what the convert API makes of all but
    // large files): libzip reads them where they lie, without a call per read.
    if (auto* bytes = dynamic_cast<OBBufferXferBytes*>(input->GetXferBytes()))
        if (base >= 0 && static_cast<unsigned long long>(base) <= bytes->Size())
            return OpenMemory(bytes->Data() + base, static_cast<std::size_t>(bytes->Size() - base));
    bool noMemory = false;
    struct zip* archive = nullptr;
    if (base >= 0) {
        const long long end = input->Seek(0, kSeekFromEnd);
        input->Seek(base, kSeekFromStart);
        if (end > base) archive = OpenStreamZip(input, base, end - base, noMemory);
        input->Seek(base, kSeekFromStart);
        if (noMemory) return Status::kOutOfMemory;
        if (archive) {
            stream_ = input;
            base_ = base;
            return Finish(archive);
        }
        // A zip that starts as one but cannot be opened is cut short or
        // damaged: what its local headers hold is salvaged from memory.
        unsigned char head[4] = {0, 0, 0, 0};
        input->XferByte(head, 4);
        input->Seek(base, kSeekFromStart);
        if (std::memcmp(head, "PK\3\4", 4) != 0) return Status::kNotZip;
        const Status read = ReadAll(input);
        input->Seek(base, kSeekFromStart);
        if (read != Status::kOk) return read;
        return Salvage(reinterpret_cast<const unsigned char*>(buffer_.data()), buffer_.size());
    }
    // A stream that cannot seek: the whole package into memory.
    const Status read = ReadAll(input);
    return read == Status::kOk ? OpenMemory(buffer_.data(), buffer_.size()) : read;
}

// The stream from where it stands into buffer_, up to kMaxPackageBytes.
Package::Status Package::ReadAll(OBStream* input) {
    try {
        buffer_.clear();
        unsigned char chunk[65536];
        for (long long got; (got = input->XferByte(chunk, sizeof chunk)) > 0;) {
            if (buffer_.size() + static_cast<std::size_t>(got) > kMaxPackageBytes) break;
            buffer_.append(reinterpret_cast<const char*>(chunk), static_cast<std::size_t>(got));
        }
    } catch (const std::bad_alloc&) {
        return Status::kOutOfMemory;
    }
    return Status::kOk;
}

Package::Status Package::Salvage(const unsigned char* data, std::size_t size) {
    salvage::Found found = salvage::Walk(data, size, kMaxPartBytes, kMaxPackageBytes);
    if (found.outOfMemory) return Status::kOutOfMemory;
    if (found.entries.empty()) return Status::kDamaged;
    parts_ = std::move(found.entries);
    salvaged_ = true;
    cut_ = found.cut;
    lost_ = found.lost;
    memory_ = data;
    memorySize_ = size;
    unsafe_ = duplicates_ = 0;
    try {
        for (std::size_t i = 0; i < parts_.size(); ++i)
            AddName(parts_[i].name.c_str(), i);
    } catch (const std::bad_alloc&) {
        return Status::kOutOfMemory;
    }
    return Status::kOk;
}

Package::Status Package::OpenMemory(const void* data, std::size_t size) {
    Close();
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
    struct zip* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    bool noMemory = zip_error_code_zip(&error) == ZIP_ER_MEMORY;
    if (source && !archive) zip_source_free(source);
    zip_error_fini(&error);
    if (noMemory) return Status::kOutOfMemory;
    if (archive) {
        Status status = Finish(archive);
        memory_ = static_cast<const unsigned char*>(data);
        memorySize_ = size;
        if (status == Status::kOk) FindStored();
        return status;
    }
    if (size < 4 || std::memcmp(data, "PK\3\4", 4) != 0) return Status::kNotZip;
    return Salvage(static_cast<const unsigned char*>(data), size);
}

Package::Status Package::Finish(struct zip* archive) {
    zip_ = archive;
    names_.clear();
    index_.clear();
    unsafe_ = duplicates_ = 0;
    const zip_int64_t count = zip_get_num_entries(zip_, 0);
    try {
        for (zip_int64_t i = 0; i < count; ++i)
            AddName(zip_get_name(zip_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW),
                    static_cast<std::uint64_t>(i));
    } catch (const std::bad_alloc&) {
        return Status::kOutOfMemory;
    }
    return Status::kOk;
}

// Lists the entry's name unless it is unsafe or repeats one; the index
// keeps a view of the name where the package holds it.
void Package::AddName(const char* name, std::uint64_t index) {
    if (!SafeName(name)) {
        ++unsafe_;
        return;
    }
    if (!index_.emplace(name, index).second) {
        ++duplicates_;
        return;
    }
    names_.emplace_back(name);
}

using obreader::Le16;
using obreader::Le32;

// The entries stored without compression in a package held in memory are
// copied from where they lie, their CRC checked here, instead of passing
// through libzip's layers (a copy more, and a call per layer per read). Only
// entries whose central directory record says what libzip says of them, with
// a local header where the record points and their bytes inside the package,
// go this way; everything else (deflated, encrypted, ZIP64, a directory
// libzip found elsewhere) is read through libzip as before.
void Package::FindStored() {
    stored_.clear();
    const unsigned char* m = memory_;
    const std::size_t n = memorySize_;
    if (!m || n < 22) return;
    std::size_t end = n - 22; // the end of central directory record, searched from the back
    for (;; --end) {
        if (std::memcmp(m + end, "PK\5\6", 4) == 0) break;
        if (end == 0 || n - end > 22 + 65535) return;
    }
    const std::uint64_t count = Le16(m + end + 10), size = Le32(m + end + 12);
    std::uint64_t at = Le32(m + end + 16);
    if (at + size != end || count != static_cast<std::uint64_t>(zip_get_num_entries(zip_, 0)))
        return;
    try {
        stored_.resize(count);
    } catch (const std::bad_alloc&) {
        return; // libzip reads them all, as it would without room for this
    }
    for (std::uint64_t i = 0; i < count; ++i) {
        if (at + 46 > end || std::memcmp(m + at, "PK\1\2", 4) != 0) break;
        const unsigned char* r = m + at;
        const unsigned nameLength = Le16(r + 28);
        const std::uint64_t next = at + 46 + nameLength + Le16(r + 30) + Le16(r + 32);
        if (next > end) break;
        const std::uint32_t crc = Le32(r + 16), packed = Le32(r + 20), unpacked = Le32(r + 24);
        const std::uint64_t local = Le32(r + 42);
        zip_stat_t st;
        const bool same =
            zip_stat_index(zip_, i, ZIP_FL_ENC_RAW, &st) == 0 && (st.valid & ZIP_STAT_NAME) &&
            (st.valid & ZIP_STAT_SIZE) && (st.valid & ZIP_STAT_COMP_SIZE) &&
            (st.valid & ZIP_STAT_CRC) && (st.valid & ZIP_STAT_COMP_METHOD) &&
            (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.comp_method == ZIP_CM_STORE &&
            st.encryption_method == ZIP_EM_NONE && Le16(r + 10) == 0 && st.size == unpacked &&
            st.comp_size == packed && packed == unpacked && unpacked != 0xFFFFFFFFu &&
            local != 0xFFFFFFFFu && unpacked > 0 && st.crc == crc &&
            std::strlen(st.name) == nameLength && std::memcmp(st.name, r + 46, nameLength) == 0;
        at = next;
        if (!same || local + 30 > n || std::memcmp(m + local, "PK\3\4", 4) != 0) continue;
        const std::uint64_t data = local + 30 + Le16(m + local + 26) + Le16(m + local + 28);
        if (data + unpacked > n) continue;
        stored_[i] = {data, unpacked, crc, true};
    }
}

// What zip_fread gives of a stored entry, chunk by chunk, and its CRC error
// after the last byte. Each piece is checked just after it is copied, while
// it is still in the nearest cache.
Package::ReadResult Package::ReadStored(const Stored& entry, std::string& out) {
    constexpr std::uint64_t kChunk = 65536, kPiece = 16384;
    std::uint32_t crc = 0;
    try {
        out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(entry.size, 16u << 20)) + 1);
        for (std::uint64_t at = 0; at < entry.size; at += kChunk) {
            const std::uint64_t n = std::min(kChunk, entry.size - at);
            if (out.size() + n > kMaxPartBytes || inflated_ + n > kMaxPackageBytes)
                return ReadResult::kTooLarge;
            for (std::uint64_t piece = 0; piece < n; piece += kPiece) {
                const auto size = static_cast<std::size_t>(std::min(kPiece, n - piece));
                const std::size_t start = out.size();
                out.append(reinterpret_cast<const char*>(memory_ + entry.at + at + piece), size);
                crc = obreader::Crc32(
                    crc, reinterpret_cast<const unsigned char*>(out.data()) + start, size);
            }
            inflated_ += n;
        }
    } catch (const std::bad_alloc&) {
        std::string().swap(out);
        return ReadResult::kOutOfMemory;
    }
    return crc == entry.crc ? ReadResult::kOk : ReadResult::kDamaged;
}

// A salvaged part, from its bytes in memory, with the caps of any other.
Package::ReadResult Package::ReadSalvaged(const salvage::Entry& entry, std::string& out) {
    if (entry.tooLarge) return ReadResult::kTooLarge;
    if (!entry.deflated) return ReadStored({entry.at, entry.size, entry.crc, true}, out);
    salvage::Inflation got;
    salvage::Inflated result = salvage::Inflated::kOutOfMemory;
    try {
        out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(entry.size, 16u << 20)) + 1);
        result = salvage::Inflate(memory_ + entry.at, entry.packed,
                                  std::min(kMaxPartBytes, kMaxPackageBytes - inflated_), &out, got);
    } catch (const std::bad_alloc&) {
    }
    inflated_ += got.produced;
    switch (result) {
    case salvage::Inflated::kEnd:
        return got.crc == entry.crc ? ReadResult::kOk : ReadResult::kDamaged;
    case salvage::Inflated::kTooLarge:
        return ReadResult::kTooLarge;
    case salvage::Inflated::kDamaged:
        return ReadResult::kDamaged;
    case salvage::Inflated::kOutOfMemory:
        break;
    }
    std::string().swap(out);
    return ReadResult::kOutOfMemory;
}

Package::ReadResult Package::Read(const std::string& name, std::string& out) {
    out.clear();
    auto found = index_.find(name);
    if (found == index_.end()) return ReadResult::kMissing;
    if (salvaged_) return ReadSalvaged(parts_[found->second], out);
    if (!zip_) return ReadResult::kMissing;
    const ReadResult result = found->second < stored_.size() && stored_[found->second].direct
                                  ? ReadStored(stored_[found->second], out)
                                  : ReadZipped(found->second, out);
    return result == ReadResult::kDamaged ? Recover(name, out) : result;
}

// The package's parts by their local headers, walked once, when a part
// first needs them; a package libzip reads from a stream is read into
// memory for it then (up to kMaxPackageBytes). False when memory ran out.
bool Package::WalkLocal() {
    if (walked_ != Walked::kNone) return walked_ == Walked::kDone;
    walked_ = Walked::kOutOfMemory;
    if (!memory_ && stream_) {
        const long long position = stream_->Tell();
        stream_->Seek(base_, kSeekFromStart);
        const Status read = ReadAll(stream_);
        stream_->Seek(position, kSeekFromStart);
        if (read != Status::kOk) return false;
        memory_ = reinterpret_cast<const unsigned char*>(buffer_.data());
        memorySize_ = buffer_.size();
    }
    salvage::Found found = salvage::Walk(memory_, memorySize_, kMaxPartBytes, kMaxPackageBytes);
    if (found.outOfMemory) return false;
    parts_ = std::move(found.entries);
    try {
        local_.reserve(parts_.size());
        for (std::size_t i = 0; i < parts_.size(); ++i)
            local_.emplace(parts_[i].name, i); // of repeated names, the first
    } catch (const std::bad_alloc&) {
        local_.clear();
        return false;
    }
    walked_ = Walked::kDone;
    return true;
}

// A part libzip lists but cannot read whole (its central record misstates
// its CRC, size, method or place), read from its local header when that
// holds it whole; otherwise out keeps what libzip gave.
Package::ReadResult Package::Recover(const std::string& name, std::string& out) {
    if (!WalkLocal()) {
        std::string().swap(out);
        return ReadResult::kOutOfMemory;
    }
    auto found = local_.find(name);
    if (found == local_.end()) return ReadResult::kDamaged;
    std::string whole;
    switch (ReadSalvaged(parts_[found->second], whole)) {
    case ReadResult::kOk:
        out.swap(whole);
        ++recovered_;
        return ReadResult::kOk;
    case ReadResult::kOutOfMemory:
        std::string().swap(out);
        return ReadResult::kOutOfMemory;
    default:
        return ReadResult::kDamaged;
    }
}

// A part through libzip.
Package::ReadResult Package::ReadZipped(std::uint64_t index, std::string& out) {
    zip_file_t* file = zip_fopen_index(zip_, index, 0);
    if (!file) {
        zip_error_t* error = zip_get_error(zip_);
        bool noMemory = error && zip_error_code_zip(error) == ZIP_ER_MEMORY;
        zip_error_clear(zip_);
        return noMemory ? ReadResult::kOutOfMemory : ReadResult::kDamaged;
    }
    ReadResult result = ReadResult::kOk;
    try {
        // Grown as the data comes: the declared size only sets the first
        // allocation, and a modest one at that.
        zip_stat_t st;
        if (zip_stat_index(zip_, index, 0, &st) == 0 && (st.valid & ZIP_STAT_SIZE))
            out.reserve(static_cast<std::size_t>(std::min<zip_uint64_t>(st.size, 16u << 20)) + 1);
        char chunk[65536];
        for (;;) {
            zip_int64_t n = zip_fread(file, chunk, sizeof chunk);
            if (n < 0) {
                result = ReadResult::kDamaged;
                break;
            }
            if (n == 0) break;
            if (out.size() + static_cast<std::uint64_t>(n) > kMaxPartBytes ||
                inflated_ + static_cast<std::uint64_t>(n) > kMaxPackageBytes) {
                result = ReadResult::kTooLarge;
                break;
            }
            out.append(chunk, static_cast<std::size_t>(n));
            inflated_ += static_cast<std::uint64_t>(n);
        }
    } catch (const std::bad_alloc&) {
        result = ReadResult::kOutOfMemory;
    }
    zip_fclose(file);
    if (result == ReadResult::kOutOfMemory) {
        std::string().swap(out);
    }
    return result;
}

} // namespace idml
