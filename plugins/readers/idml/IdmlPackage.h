// An IDML package: a zip of XML parts, read through libzip. Parts are
// inflated one at a time into memory, with a limit checked while inflating
// (the sizes a zip declares are not trusted), so that a zip bomb costs no
// more than the limit. A zip whose directory libzip refuses is salvaged by
// its local headers (IdmlSalvage.h) and served the same way; so is a part
// that libzip lists but cannot read whole.
#ifndef OMBRA_IDML_PACKAGE_H
#define OMBRA_IDML_PACKAGE_H

#include "IdmlSalvage.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class OBStream;
struct zip;

namespace idml {

/// The most a single part may inflate to, and the most all parts of one
/// package may inflate to together.
constexpr std::uint64_t kMaxPartBytes = 128ull << 20;
constexpr std::uint64_t kMaxPackageBytes = 1024ull << 20;

/// The media type a package's `mimetype` entry holds.
constexpr const char* kMediaType = "application/vnd.adobe.indesign-idml-package";

/// 1 when the stream holds an IDML package: a zip whose `mimetype` entry
/// (first or not) names the IDML media type, or that has a `designmap.xml`.
/// Reads the first local header, and the central directory only when that
/// does not decide; the stream is left where it was.
short DetectPackage(OBStream* input);

class Package {
public:
    enum class Status { kOk, kNotZip, kDamaged, kOutOfMemory };
    enum class ReadResult { kOk, kMissing, kDamaged, kTooLarge, kOutOfMemory };

    Package();
    ~Package();
    Package(const Package&) = delete;
    Package& operator=(const Package&) = delete;

    /// Opens the zip from the stream's current position; a stream that
    /// cannot seek is read into memory first (up to kMaxPackageBytes), and
    /// so is a zip whose central directory libzip refuses, to be salvaged.
    /// The stream must outlive the package: parts are read from it.
    Status Open(OBStream* input);
    /// Opens a zip held in memory; the bytes must outlive the package. A zip
    /// that starts with a local header but whose central directory libzip
    /// refuses is salvaged: its parts are found by their local headers, and
    /// those that read whole are served as any other (kDamaged when none do).
    Status OpenMemory(const void* data, std::size_t size);

    /// Whether the parts were found by their local headers; how many parts
    /// were left out then, and whether the bytes end before the directory.
    bool Salvaged() const { return salvaged_; }
    int Lost() const { return lost_; }
    bool Cut() const { return cut_; }

    /// The names of the entries that are safe part names, in zip order: a
    /// name that climbs out (`..`), starts at the root, holds a backslash
    /// or a control character, or repeats an earlier one is left out.
    const std::vector<std::string>& Names() const { return names_; }
    bool Has(const std::string& name) const { return index_.count(name) != 0; }
    /// Entries left out of Names(), by reason.
    int UnsafeNames() const { return unsafe_; }
    int DuplicateNames() const { return duplicates_; }

    /// Inflates a part into out (replacing its content). A part that libzip
    /// cannot read whole is read from its local header instead when that
    /// holds it whole (its CRC matching); otherwise it is kDamaged, out
    /// holding what libzip gave before the damage.
    ReadResult Read(const std::string& name, std::string& out);
    /// How many parts were read from their local headers that way.
    std::size_t Recovered() const { return recovered_; }
    /// Bytes inflated so far.
    std::uint64_t Inflated() const { return inflated_; }

private:
    /// Where a stored entry's bytes lie in a package held in memory.
    struct Stored {
        std::uint64_t at = 0, size = 0;
        std::uint32_t crc = 0;
        bool direct = false; ///< false: read through libzip
    };

    Status Finish(struct zip* archive);
    Status Salvage(const unsigned char* data, std::size_t size);
    Status ReadAll(OBStream* input);
    void AddName(const char* name, std::uint64_t index);
    ReadResult ReadSalvaged(const salvage::Entry& entry, std::string& out);
    void FindStored();
    ReadResult ReadStored(const Stored& entry, std::string& out);
    ReadResult ReadZipped(std::uint64_t index, std::string& out);
    ReadResult Recover(const std::string& name, std::string& out);
    bool WalkLocal();
    void Close();

    struct zip* zip_ = nullptr;
    const unsigned char* memory_ = nullptr; ///< the package, when it is in memory
    std::size_t memorySize_ = 0;
    std::vector<Stored> stored_;        ///< per entry, for packages in memory
    std::vector<salvage::Entry> parts_; ///< per entry, for salvaged packages; else as walked
    /// The parts found by their local headers, once a part libzip cannot
    /// read needs them (kNone: not yet; kOutOfMemory: the walk ran out).
    enum class Walked { kNone, kDone, kOutOfMemory } walked_ = Walked::kNone;
    std::unordered_map<std::string_view, std::size_t> local_; ///< names into parts_
    std::size_t recovered_ = 0;
    OBStream* stream_ = nullptr; ///< the seekable stream libzip reads, from base_
    long long base_ = 0;
    bool salvaged_ = false;
    bool cut_ = false;
    int lost_ = 0;
    std::string buffer_; // the package, for streams that cannot seek
    std::vector<std::string> names_;
    std::unordered_map<std::string_view, std::uint64_t> index_; ///< names as libzip holds them
    int unsafe_ = 0;
    int duplicates_ = 0;
    std::uint64_t inflated_ = 0;
};

} // namespace idml

#endif
