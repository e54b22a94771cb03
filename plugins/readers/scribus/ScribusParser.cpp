// From bytes to the document model. A document is read once, as it
// streams in (ScribusXml.h), into the model (ScribusReading.h). What the
// streaming reader cannot vouch for (damaged XML or compression, a document
// beyond the size limit, a document type) is read again as a tree, repaired
// first when it is damaged, and the tree goes through the same document
// reader.
#include "ScribusProlog.h"
#include "ScribusReading.h"

#include <ReaderXmlReferences.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace scribus {

using namespace detail;

Input::~Input() {}

namespace {

const unsigned kXmlOptions = pugi::parse_default;

class MemoryInput : public Input {
public:
    MemoryInput(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
    long long Read(char* data, std::size_t size) override {
        std::size_t n = size < size_ - at_ ? size : size_ - at_;
        if (n) std::memcpy(data, data_ + at_, n);
        at_ += n;
        return static_cast<long long>(n);
    }
    bool Rewind() override {
        at_ = 0;
        return true;
    }
    const unsigned char* Data() const { return data_; }
    std::size_t Size() const { return size_; }

private:
    const unsigned char* data_;
    std::size_t size_, at_ = 0;
};

// Reads until size bytes or the end; -1 when the input fails first.
long long ReadFully(Input& input, char* data, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        long long n = input.Read(data + got, size - got);
        if (n < 0) return got ? static_cast<long long>(got) : -1;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<long long>(got);
}

// The first bytes, read already to recognise the document, then the rest.
class HeadSource : public ByteSource {
public:
    HeadSource(const char* head, std::size_t size, Input& input)
        : head_(head), size_(size), input_(input) {}
    long long Read(char* data, std::size_t size) override {
        if (at_ < size_) {
            std::size_t n = size < size_ - at_ ? size : size_ - at_;
            std::memcpy(data, head_ + at_, n);
            at_ += n;
            return static_cast<long long>(n);
        }
        return input_.Read(data, size);
    }

private:
    const char* head_;
    std::size_t size_, at_ = 0;
    Input& input_;
};

// A tree that memory ran out for is no damage to repair.
bool Loaded(const pugi::xml_parse_result& r) {
    if (r.status == pugi::status_out_of_memory) throw std::bad_alloc();
    return static_cast<bool>(r);
}

bool LoadInPlace(pugi::xml_document& xml, char* data, std::size_t size, pugi::xml_parse_result& r) {
    r = xml.load_buffer_inplace(data, size, kXmlOptions, pugi::encoding_utf8);
    return Loaded(r);
}

// The streaming read. False when the document must be read as a tree.
bool Stream(Input& input, const ParseOptions& options, ParseResult& result) {
    if (options.maxInputBytes == 0) return false;
    Context ctx(options, result);
    char head[kDetectBytes];
    long long n = ReadFully(input, head, sizeof head);
    if (n < 0) return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(head);
    if (n == 0 || Detect(bytes, static_cast<std::size_t>(n)) != 1) {
        result.status = ParseResult::Status::kNotScribus;
        return true;
    }
    HeadSource source(head, static_cast<std::size_t>(n), input);
    const bool gzip = n >= 2 && bytes[0] == 0x1f && bytes[1] == 0x8b;
    DocumentReader reader(ctx, result.document, false);
    XmlResult r;
    if (gzip) {
        // The inflater's state and buffers are large: plain XML does without.
        GzipSource inflated(source);
        // Inflating exactly up to the limit is damage to Gunzip: the tree says so.
        r = ReadXml(inflated, reader, options.maxInputBytes - 1);
    } else {
        r = ReadXml(source, reader, options.maxInputBytes);
    }
    if (r != XmlResult::kDone || !reader.Finish()) return false;
    result.status = reader.SawRoot() && reader.SawDocument() ? ParseResult::Status::kOk
                                                             : ParseResult::Status::kNotScribus;
    return true;
}

// The tree read of damaged documents: bytes in memory, inflated whole, parsed
// by pugixml (in place where the bytes are ours), repaired when that fails,
// and the tree read as the stream would have been.
class TreeParse {
public:
    TreeParse(const ParseOptions& options, ParseResult& result)
        : options_(options), result_(result), ctx_(options, result) {}

    // owned: the bytes are data itself and may be overwritten; input then
    // gives them again.
    void Run(const unsigned char* data, std::size_t size, char* owned, Input* input) {
        if (!data || size == 0 || Detect(data, size) != 1) {
            result_.status = ParseResult::Status::kNotScribus;
            return;
        }
        data_ = data, size_ = size, owned_ = owned, input_ = input;
        Prepare();
        Expand();
        Load();
        Read();
    }

private:
    void Prepare() {
        bytes_ = reinterpret_cast<const char*>(data_);
        length_ = size_;
        if (size_ >= 2 && data_[0] == 0x1f && data_[1] == 0x8b) {
            std::string error;
            if (!Gunzip(data_, size_, options_.maxInputBytes, inflated_, error)) {
                limited_ = inflated_.size() >= options_.maxInputBytes;
                if (limited_) // a bomb or a huge document, not damage
                    ctx_.Warn(Warning::Code::kLimit, "the document inflates to more than " +
                                                         std::to_string(options_.maxInputBytes) +
                                                         " bytes; only that much is read");
                else
                    ctx_.Warn(Warning::Code::kDecompression, error + "; the " +
                                                                 std::to_string(inflated_.size()) +
                                                                 " bytes before are read");
                repaired_ = true;
            }
            bytes_ = inflated_.data();
            length_ = inflated_.size();
            owned_ = nullptr;
        } else if (size_ > options_.maxInputBytes) {
            ctx_.Warn(Warning::Code::kLimit, "the document is larger than " +
                                                 std::to_string(options_.maxInputBytes) +
                                                 " bytes; only that much is read");
            length_ = options_.maxInputBytes;
            limited_ = repaired_ = true;
        }
    }

    // pugixml keeps references to the entities of a document type as
    // written: they are replaced first, in a text of their own. A value may
    // hold references in turn, so the text may grow; by at most sixteen
    // times the document, which still holds a handful of uses of a large
    // value and stops a chain of doublings.
    void Expand() {
        const std::size_t limit =
            std::min(options_.maxInputBytes, length_ * 16 + (std::size_t(1) << 20));
        const EntityExpansion e = ExpandEntities(bytes_, length_, limit, expanded_);
        if (e.result == EntityExpansion::Result::kNone) return;
        if (e.result == EntityExpansion::Result::kLimited) {
            ctx_.Warn(Warning::Code::kLimit, "the document's entities expand it past " +
                                                 std::to_string(limit) +
                                                 " bytes; only that much is read");
            limited_ = repaired_ = true;
        }
        if (e.unknown)
            ctx_.Warn(Warning::Code::kUnsupported,
                      std::to_string(e.unknown) +
                          " reference(s) to external or self-referring entities are kept as "
                          "written");
        inflated_.clear();
        inflated_.shrink_to_fit();
        bytes_ = expanded_.data();
        length_ = expanded_.size();
        owned_ = nullptr;
    }

    // Inflated bytes are ours and owned ones the caller's to give: they are
    // parsed where they are. Repair then needs them again, so a failed
    // in-place parse is followed by inflating or reading them anew.
    void Load() {
        const bool inflated = bytes_ == inflated_.data() && !inflated_.empty();
        bool loaded;
        if (inflated)
            loaded = LoadInPlace(xml_, &inflated_[0], inflated_.size(), r_);
        else if (owned_)
            loaded = LoadInPlace(xml_, owned_, length_, r_);
        else
            loaded = static_cast<bool>(
                r_ = xml_.load_buffer(bytes_, length_, kXmlOptions, pugi::encoding_utf8));
        if (loaded) return;
        bool restored = true;
        if (inflated) {
            std::string error;
            Gunzip(data_, size_, options_.maxInputBytes, inflated_, error);
            bytes_ = inflated_.data();
            length_ = inflated_.size();
        } else if (owned_) {
            restored = input_ && input_->Rewind() &&
                       ReadFully(*input_, owned_, length_) == static_cast<long long>(length_);
        }
        repaired_ = true;
        if (restored)
            Repair();
        else // the tree keeps what came before the damage
            ctx_.Warn(Warning::Code::kMalformedXml,
                      std::string("the XML is not well formed (") + r_.description() + " at byte " +
                          std::to_string(r_.offset) + "); what came before the damage is read");
    }

    void Repair() {
        // A document without its root's end tag was cut short rather than damaged.
        std::size_t end = length_;
        while (end > 0 &&
               (bytes_[end - 1] == ' ' || bytes_[end - 1] == '\n' || bytes_[end - 1] == '\r' ||
                bytes_[end - 1] == '\t' || bytes_[end - 1] == '\0'))
            --end;
        std::size_t tail = end > 64 ? end - 64 : 0;
        bool cut = std::string(bytes_ + tail, end - tail).find("</SCRIBUS") == std::string::npos;
        if (cut && !limited_) // the limit's cut is reported as the limit
            ctx_.Warn(Warning::Code::kTruncated, "the document ends early, at byte " +
                                                     std::to_string(length_) +
                                                     "; what it holds is read and the rest closed");
        // Damage before the last bytes is damage, cut or not.
        if (!cut || (r_.offset >= 0 && static_cast<std::size_t>(r_.offset) < tail))
            ctx_.Warn(Warning::Code::kMalformedXml,
                      std::string("the XML is not well formed (") + r_.description() + " at byte " +
                          std::to_string(r_.offset) + "); it is repaired");
        RepairXml(bytes_, length_, fixed_);
        zeroReferences_ = obreader::ReplaceZeroReferences(fixed_);
        inflated_.clear();
        inflated_.shrink_to_fit();
        if (!LoadInPlace(xml_, &fixed_[0], fixed_.size(), r_))
            ctx_.Warn(Warning::Code::kTruncated, std::string("the repaired XML still fails (") +
                                                     r_.description() +
                                                     "); what came before that is read");
    }

    void Read() {
        DocumentReader reader(ctx_, result_.document, true);
        if (zeroReferences_) reader.ZeroReference();
        WalkTree(xml_, reader);
        reader.Finish();
        if (!reader.SawRoot() || !reader.SawDocument())
            result_.status = ParseResult::Status::kNotScribus;
        else
            result_.status = repaired_ ? ParseResult::Status::kRecovered : ParseResult::Status::kOk;
    }

    const ParseOptions& options_;
    ParseResult& result_;
    Context ctx_;
    const unsigned char* data_ = nullptr;
    std::size_t size_ = 0, length_ = 0;
    char* owned_ = nullptr;
    Input* input_ = nullptr;
    const char* bytes_ = nullptr;
    bool repaired_ = false;
    bool limited_ = false;         ///< cut at the size limit
    std::string inflated_, fixed_; // the repaired text, parsed in place: outlives xml_
    std::string expanded_;         // with the entities' references replaced
    bool zeroReferences_ = false;  // the repaired text referred to the character 0
    pugi::xml_document xml_;
    pugi::xml_parse_result r_;
};

// The tree read from an input: a memory input as it lies, anything else
// read whole into a block of our own.
void Tree(Input& input, const ParseOptions& options, ParseResult& result) {
    if (auto* memory = dynamic_cast<MemoryInput*>(&input)) {
        TreeParse(options, result).Run(memory->Data(), memory->Size(), nullptr, nullptr);
        return;
    }
    std::size_t size = 0, capacity = 1 << 16;
    std::unique_ptr<char[]> bytes;
    if (input.Rewind()) {
        bytes.reset(new char[capacity]);
        for (long long n; (n = ReadFully(input, bytes.get() + size, capacity - size)) > 0;) {
            size += static_cast<std::size_t>(n);
            if (size < capacity) break;
            std::unique_ptr<char[]> larger(new char[capacity * 2]);
            std::memcpy(larger.get(), bytes.get(), size);
            bytes = std::move(larger);
            capacity *= 2;
        }
    }
    TreeParse(options, result)
        .Run(reinterpret_cast<const unsigned char*>(bytes.get()), size, bytes.get(), &input);
}

ParseResult ParseWith(Input& input, const ParseOptions& options) {
    ParseResult result;
    try {
        if (!Stream(input, options, result)) {
            result = ParseResult();
            Tree(input, options, result);
        }
    } catch (const std::bad_alloc&) {
        // The model is plain standard containers; running out of memory ends
        // the parse with what is known so far discarded.
        result.document = Document();
        result.status = ParseResult::Status::kFailed;
        result.warnings.push_back(
            Warning{Warning::Code::kOutOfMemory, "out of memory while reading the document"});
    } catch (const std::exception& e) {
        result.document = Document();
        result.status = ParseResult::Status::kFailed;
        result.warnings.push_back(
            Warning{Warning::Code::kLimit, std::string("reading failed: ") + e.what()});
    }
    return result;
}

} // namespace

ParseResult Parse(const unsigned char* data, std::size_t size, const ParseOptions& options) {
    MemoryInput input(data, data ? size : 0);
    return ParseWith(input, options);
}

ParseResult Parse(Input& input, const ParseOptions& options) {
    return ParseWith(input, options);
}

} // namespace scribus
