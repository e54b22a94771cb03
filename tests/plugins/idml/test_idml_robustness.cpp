// Damaged packages as one table, recognition by content, and memory running
// out anywhere along a conversion.
// Real packages through the pump into the text writer: their words are the
// words the Content of their placed stories holds.
#include <ombra/convertor.h>
#include <ombra/messages.h>
#include <ombra/typedstreams.h>

#include "ReaderCrc.h"
#include "IdmlPackage.h"
#include "IdmlParser.h"
#include "IdmlXml.h"
#include "IdmlTestSupport.h"
#include "plugins/PluginTestSupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>
#include <sstream>

namespace {

using namespace idml_test;

struct Damaged {
    const char* package;
    short recognised;
    std::vector<int> logged;
    std::vector<std::string> kept, lost;   ///< texts some story holds, and none does
    std::vector<std::string> details = {}; ///< what some note names
};

const std::string kSalvaged =
    "zip directory is damaged; parts recovered from their local headers: ";

const Damaged kDamaged[] = {
    {"truncated", 1, {OBERR::kTruncatedInput}, {}, {"Alpha"}},
    {"empty", 0, {}, {}, {}},
    {"garbage", 0, {}, {}, {}},
    {"not-idml", 0, {}, {}, {}},
    {"other-mimetype", 0, {}, {}, {}},
    {"corrupt-story", 1, {OBERR::kMalformedInput}, {"Alpha"}, {"Beta"}},
    {"stored-crc", 1, {OBERR::kMalformedInput}, {"Alpha", "Beta"}, {}},
    {"malformed-story", 1, {OBERR::kMalformedInput}, {"Alpha", "Beta", "Lost"}, {}},
    {"missing-parts", 1, {OBERR::kMalformedInput}, {"Alpha"}, {"Beta"}},
    {"missing-spread", 1, {OBERR::kMalformedInput}, {"Alpha", "Beta"}, {}}, // frameless: last
    {"no-designmap", 1, {OBERR::kMalformedInput}, {"Alpha", "Beta"}, {}},
    {"duplicate-parts", 1, {OBERR::kMalformedInput}, {"Alpha", "Beta"}, {"Again"}},
    {"duplicate-story", 1, {OBERR::kMalformedInput}, {"Alpha", "Beta"}, {"Twice"}},
    {"escaping-names", 1, {OBERR::kMalformedInput}, {"Alpha", "Beta"}, {"Outside", "Rooted"}},
    {"zip-bomb", 1, {OBERR::kLimitExceeded}, {"Alpha"}, {"Bomb"}},
    {"deep-nesting", 1, {OBERR::kLimitExceeded}, {"Top"}, {"Deep"}},
    {"huge-attributes", 1, {}, {"Huge"}, {}},
    {"dangling",
     1,
     {OBERR::kBrokenReference},
     {"Looped", "Beta"},
     {},
     {"\"f3\" shows the story \"zz\"", "ParagraphStyle/Missing", "\"h\" has no source",
      "the text frames of the story \"a\" form a loop"}},
    {"cell-positions",
     1,
     {OBERR::kBadValue, OBERR::kMalformedInput},
     {"Kept"},
     {"Same", "Outside", "NoName"}},
    {"table-rows",
     1,
     {OBERR::kLimitExceeded},
     {"Claimed", "Far"},
     {},
     {"a table claims 3000000000 rows, but its data hold 3; they and 1024 empty rows are kept"}},
    {"zero-reference",
     1,
     {OBERR::kMalformedInput},
     {"keep\uFFFDafter\uFFFDend cdata&#0; bell\uFFFDtab\tnc\uFFFD\uFFFD."},
     {}},
    // A zip directory libzip refuses: the parts are found by their local headers.
    {"salvage-eocd", 1, {OBERR::kMalformedInput}, {"Alpha", "Beta"}, {}, {kSalvaged + "8"}},
    {"salvage-cut", 1, {OBERR::kMalformedInput}, {"Alpha", "Beta"}, {}, {kSalvaged + "8"}},
    {"salvage-central", 1, {OBERR::kMalformedInput}, {"Alpha", "Beta"}, {}, {kSalvaged + "8"}},
    {"salvage-stored", 1, {OBERR::kMalformedInput}, {"Alpha", "Beta"}, {}, {kSalvaged + "8"}},
    {"salvage-storyless", 1, {OBERR::kMalformedInput}, {}, {}, {kSalvaged + "6"}},
    {"salvage-crc", 1, {OBERR::kMalformedInput}, {"Alpha"}, {"Beta"}, {kSalvaged + "7, lost: 1"}},
    {"salvage-bomb",
     1,
     {OBERR::kLimitExceeded, OBERR::kMalformedInput},
     {"Alpha"},
     {"Bomb"},
     {kSalvaged + "8"}},
    // A directory libzip reads, with a record it cannot read its part by: the
    // part is read from its local header when that holds it whole.
    {"central-crc", 1, {OBERR::kMalformedInput}, {"Alpha", "Beta"}, {}, {kSalvaged + "1"}},
    {"central-packed", 1, {OBERR::kMalformedInput}, {"Alpha", "Beta"}, {}, {kSalvaged + "1"}},
    {"central-offset", 1, {OBERR::kMalformedInput}, {"Alpha", "Beta"}, {}, {kSalvaged + "1"}},
    {"stored-corrupt", 1, {OBERR::kMalformedInput}, {"Alpha"}, {"Beta"}},
};

TEST(IdmlDamaged, WhatWasGoodIsYieldedAndTheRestReported) {
    for (const Damaged& d : kDamaged) {
        SCOPED_TRACE(d.package);
        Reading r(Package(std::string("damaged/") + d.package));
        EXPECT_EQ(r.recognised, d.recognised);
        for (int code : d.logged)
            EXPECT_TRUE(r.Logged(code)) << "code " << code;
        std::string all;
        for (Element* child : r.All(EL::kChildStory))
            all += Text(child) + "\n";
        for (const std::string& text : d.kept)
            EXPECT_NE(all.find(text), std::string::npos) << text;
        for (const std::string& text : d.lost)
            EXPECT_EQ(all.find(text), std::string::npos) << text;
        bool salvaged = false;
        for (const std::string& text : d.details) {
            EXPECT_NE(r.details.find(text), std::string::npos) << text << " in " << r.details;
            salvaged = salvaged || text.find(kSalvaged) != std::string::npos;
        }
        if (!salvaged) {
            EXPECT_EQ(r.details.find(kSalvaged), std::string::npos) << r.details;
        }
        EXPECT_EQ(CheckStories(r.top), "");
    }
}

// Recognition reads from where the stream stands and leaves it there, with
// the media type first, second or not at all.
TEST(IdmlDamaged, RecognitionLeavesTheStreamWhereItWas) {
    for (const char* name : {"features/text", "features/mimetype-second", "features/no-mimetype",
                             "damaged/not-idml"}) {
        SCOPED_TRACE(name);
        std::string bytes = "12345" + Package(name);
        OBBufferStreamRead input(bytes.data(), bytes.size());
        input.Seek(5, kSeekFromStart);
        IdmlReader reader;
        EXPECT_EQ(reader.CanImportThis(&input), std::string(name) == "damaged/not-idml" ? 0 : 1);
        EXPECT_EQ(input.Tell(), 5);
    }
}

// The Elements at and below these.
std::size_t Count(const std::vector<Element*>& elements) {
    std::size_t n = elements.size();
    for (Element* e : elements)
        for (unsigned long long i = 0; e && i < e->GetChildCount(); ++i)
            n += Count({e->GetNthChild(i)});
    return n;
}

// Any allocation along the way may fail (the memory service's, the heap's,
// the XML parser's): the conversion ends, what it yields is consistent, and
// either the failure is reported or nothing was lost.
TEST(IdmlDamaged, RunningOutOfMemoryAnywhere) {
    for (const char* name :
         {"features/items", "features/table", "features/ruby", "features/hyperlinks",
          "damaged/salvage-eocd", "damaged/central-crc"}) {
        SCOPED_TRACE(name);
        const std::string bytes = Package(name);
        Reading whole(bytes);
        for (long long n = 0;; ++n) {
            Reading r(bytes, {}, n);
            if (!plugin_test::FailHeapAfter::Refused()) break; // past the last allocation
            EXPECT_EQ(CheckStories(r.top, false), "") << "failing at " << n;
            EXPECT_TRUE(r.Logged(OBERR::kOutOfMemory) ||
                        (r.Texts() == whole.Texts() && Count(r.top) == Count(whole.top)))
                << "failing at " << n;
        }
    }
}

// The CRC that checks stored parts is zlib's on every length and alignment,
// each way the processor allows (folding takes 64 bytes and more, 512-bit
// folding 256, zlib the rest), and when continued from any split point.
TEST(IdmlPackage, Crc32IsZlibsOnEveryLengthAndAlignment) {
    std::mt19937 random(15);
    std::vector<unsigned char> bytes(70000);
    for (unsigned char& b : bytes)
        b = static_cast<unsigned char>(random());
    for (obreader::CrcPath path :
         {obreader::CrcPath::kZlib, obreader::CrcPath::kFold128, obreader::CrcPath::kFold512})
        for (std::size_t size : {0,   1,   15,  63,  64,  65,  79,  80,   127,  128,
                                 255, 256, 257, 320, 335, 511, 512, 1000, 4096, 69000})
            for (std::size_t at = 0; at < 17; ++at) {
                const unsigned char* p = bytes.data() + at;
                const std::size_t split = random() % (size + 1);
                const std::uint32_t first = obreader::Crc32(0, p, split, path);
                ASSERT_EQ(obreader::Crc32(0, p, size, path), crc32_z(0, p, size))
                    << size << " bytes from " << at << " by way " << static_cast<int>(path);
                ASSERT_EQ(obreader::Crc32(first, p + split, size - split, path),
                          crc32_z(0, p, size))
                    << size << " bytes from " << at << " split at " << split;
            }
}

// A zip whose directory libzip refuses (its end record gone, or cut
// anywhere) yields, from its local headers, a first run of the parts libzip
// reads from the whole zip, each with the same bytes; every part when only
// the end record is gone.
TEST(IdmlPackage, SalvagedPartsAreTheFirstPartsLibzipReads) {
    std::mt19937 random(17);
    int packages = 0, salvaged = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(OMBRA_IDML_PACKAGES) + "/features")) {
        SCOPED_TRACE(entry.path().string());
        const std::string whole = ReadFile(entry.path().string());
        idml::Package reference;
        ASSERT_EQ(reference.OpenMemory(whole.data(), whole.size()), idml::Package::Status::kOk);
        for (int round = 0; round < 12; ++round) {
            std::string bytes = whole;
            if (round == 0)
                bytes[bytes.rfind("PK\5\6")] = 0;
            else
                bytes.resize(random() % bytes.size());
            idml::Package package;
            const auto status = package.OpenMemory(bytes.data(), bytes.size());
            if (status != idml::Package::Status::kOk) {
                EXPECT_EQ(status, idml::Package::Status::kDamaged) << bytes.size();
                continue;
            }
            EXPECT_TRUE(package.Salvaged());
            salvaged += round > 0;
            const auto& names = package.Names();
            ASSERT_LE(names.size(), reference.Names().size());
            if (round == 0) {
                EXPECT_EQ(names.size(), reference.Names().size());
            }
            for (std::size_t i = 0; i < names.size(); ++i) {
                ASSERT_EQ(names[i], reference.Names()[i]) << bytes.size();
                std::string got, expected;
                EXPECT_EQ(package.Read(names[i], got), idml::Package::ReadResult::kOk);
                reference.Read(names[i], expected);
                EXPECT_EQ(got, expected) << names[i];
            }
        }
        ++packages;
    }
    EXPECT_GT(packages, 10);
    EXPECT_GT(salvaged, packages * 3) << "cut packages salvaged";
}

// A central directory record that misstates its part's method, CRC, packed
// size or local header offset loses no part: each part of the feature packages and
// the real ones (stored and deflated) reads as from the whole zip, from its
// local header when libzip cannot read it.
TEST(IdmlPackage, AMisstatedCentralRecordLosesNoPart) {
    std::mt19937 random(18);
    std::vector<std::string> paths;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(OMBRA_IDML_PACKAGES) + "/features"))
        paths.push_back(entry.path().string());
    std::istringstream lines(ReadFile(std::string(OMBRA_IDML_PACKAGES) + "/real-words.txt"));
    for (std::string line; std::getline(lines, line);)
        paths.push_back(line.substr(0, line.find('\t')));
    std::size_t recovered = 0;
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const std::string whole = ReadFile(path);
        idml::Package reference;
        ASSERT_EQ(reference.OpenMemory(whole.data(), whole.size()), idml::Package::Status::kOk);
        const auto* end = reinterpret_cast<const unsigned char*>(&whole[whole.rfind("PK\5\6")]);
        std::vector<std::size_t> records;
        for (auto at = whole.find("PK\1\2", obreader::Le32(end + 16)); at != std::string::npos;
             at = whole.find("PK\1\2", at + 4))
            records.push_back(at);
        for (int round = 0; round < 12; ++round) {
            // Method, CRC, packed size, local header offset: where each lies, how long.
            const std::size_t fields[][2] = {{10, 2}, {16, 4}, {20, 4}, {42, 4}};
            const auto* f = fields[round % 4];
            const std::size_t field = records[random() % records.size()] + f[0];
            std::string bytes = whole;
            bytes[field + random() % f[1]] ^= static_cast<char>(1 + random() % 255);
            idml::Package package;
            ASSERT_EQ(package.OpenMemory(bytes.data(), bytes.size()), idml::Package::Status::kOk);
            ASSERT_EQ(package.Names(), reference.Names()) << round;
            for (const std::string& name : package.Names()) {
                std::string got, expected;
                EXPECT_EQ(package.Read(name, got), idml::Package::ReadResult::kOk) << name;
                reference.Read(name, expected);
                EXPECT_EQ(got, expected) << name << " round " << round;
            }
            EXPECT_LE(package.Recovered(), 1u);
            recovered += package.Recovered();
        }
    }
    EXPECT_GT(recovered, paths.size() * 3) << "parts read from their local headers";
}

// The attributes of an element as (name, value) pairs.
std::vector<std::pair<std::string, std::string>> Attributes(pugi::xml_node n) {
    std::vector<std::pair<std::string, std::string>> out;
    for (pugi::xml_attribute a : n.attributes())
        out.emplace_back(a.name(), a.value());
    return out;
}

// The scan that spares Preferences.xml a whole parse accepts only what
// pugixml parses without an error, and each start tag it finds, closed and
// parsed alone, has the attributes of the child pugixml finds: on every
// part of the real packages, cut short and damaged at random.
TEST(IdmlXml, TopChildrenScanAcceptsOnlyWhatPugixmlParses) {
    std::mt19937 random(16);
    std::istringstream lines(ReadFile(std::string(OMBRA_IDML_PACKAGES) + "/real-words.txt"));
    int accepted = 0;
    for (std::string line; std::getline(lines, line);) {
        const std::string bytes = ReadFile(line.substr(0, line.find('\t')));
        idml::Package package;
        ASSERT_EQ(package.OpenMemory(bytes.data(), bytes.size()), idml::Package::Status::kOk);
        for (const std::string& name : package.Names()) {
            std::string part;
            if (name.find(".xml") == std::string::npos ||
                package.Read(name, part) != idml::Package::ReadResult::kOk)
                continue;
            for (int round = 0; round < 16; ++round) {
                std::string xml = part;
                if (round % 4 == 1) xml.resize(random() % (xml.size() + 1));
                if (round % 4 == 2) xml[random() % xml.size()] = "<>\"'=/ ?!&\0a\n"[random() % 14];
                if (round % 4 == 3) xml.erase(random() % xml.size(), 1);
                std::string_view tags[idml::parse::kPreferenceElementCount];
                const char* const* names = idml::parse::kPreferenceElements;
                if (!idml::xml::FindTopChildren(xml, names, std::size(tags), tags)) continue;
                ++accepted;
                pugi::xml_document doc;
                bool malformed = true;
                std::string copy = xml;
                idml::xml::Load(doc, copy, false, malformed);
                ASSERT_FALSE(malformed) << name << " round " << round;
                for (std::size_t i = 0; i < std::size(tags); ++i) {
                    pugi::xml_node child = doc.document_element().child(names[i]);
                    ASSERT_EQ(!tags[i].empty(), !child.empty()) << name << " " << names[i];
                    std::string alone = std::string(tags[i]) + "/>";
                    pugi::xml_document one;
                    if (child) idml::xml::Load(one, alone, false, malformed);
                    EXPECT_EQ(Attributes(one.document_element()), Attributes(child)) << name;
                }
            }
        }
    }
    EXPECT_GT(accepted, 100);
}

std::string Convert(OBConvertor* convertor, const std::string& bytes) {
    Preferences utf8{0, "", 0, "", 0, 0, -1, 0};
    short ok = 0;
    std::string text = plugin_test::ConvertBytes(convertor, bytes, &utf8, ok);
    EXPECT_EQ(ok, 1);
    return text;
}

TEST(IdmlRealPackages, TheirWordsAreTheWordsOfTheirStories) {
    OBConvertorManager manager(OMBRA_READER_DIR, OMBRA_WRITER_DIR);
    ErrorCode error = kNoError;
    OBConvertor* convertor = manager.GetConvertor(1, error);
    ASSERT_NE(convertor, nullptr);
    std::istringstream lines(ReadFile(std::string(OMBRA_IDML_PACKAGES) + "/real-words.txt"));
    int packages = 0;
    for (std::string line; std::getline(lines, line); ++packages) {
        std::string path = line.substr(0, line.find('\t'));
        SCOPED_TRACE(path);
        std::vector<std::string> expected;
        std::istringstream words(line.substr(path.size() + 1));
        for (std::string w; words >> w;)
            expected.push_back(w);
        std::vector<std::string> got = Words(Convert(convertor, ReadFile(path)));
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got.size(), expected.size());
        EXPECT_EQ(got, expected);
    }
    EXPECT_GE(packages, 8); // the packages in tests/data/idml/real
}

} // namespace

// A stream that is no buffer in memory (a host's file stream, or a large file
// the convert API reads as it goes) is read through seeks and reads of its
// own; each package gives the same stories as from its bytes in memory.
TEST(IdmlDamaged, PackagesReadThroughAFileStreamAsFromMemory) {
    namespace fs = std::filesystem;
    int packages = 0;
    for (const char* folder : {"features", "damaged"})
        for (const auto& entry :
             fs::directory_iterator(std::string(OMBRA_IDML_PACKAGES) + "/" + folder)) {
            const std::string path = entry.path().string();
            SCOPED_TRACE(path);
            Reading memory(ReadFile(path));
            std::unique_ptr<OBStream> file(
                OBStreamUtilRef::CreateFileStreamRead(OBSysFileRef(path.c_str()), kFileRead, 0, 0));
            ASSERT_TRUE(file);
            IdmlReader reader;
            EXPECT_EQ(reader.CanImportThis(file.get()), memory.recognised);
            OBPreferenceList prefs;
            reader.GetStreamPrefs(file.get(), &prefs);
            reader.Init(file.get(), &prefs);
            std::vector<Element*> top;
            for (Element* e = reader.GetFirstElement(); e; e = reader.GetNextElement())
                top.push_back(e);
            ASSERT_EQ(top.size(), memory.top.size());
            for (std::size_t i = 0; i < top.size(); ++i) {
                auto a = Below(top[i], EL::kChildStory), b = Below(memory.top[i], EL::kChildStory);
                ASSERT_EQ(a.size(), b.size());
                for (std::size_t k = 0; k < a.size(); ++k)
                    EXPECT_EQ(Text(a[k]), Text(b[k]));
            }
            reader.Reset();
            ++packages;
        }
    EXPECT_GT(packages, 20);
}
