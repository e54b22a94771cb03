// The Scribus reader as the managers see it: recognition by content (plain
// and compressed, never by name), the stream left where it was, probes
// beside a conversion in progress, the formats and the preference list.
#include "ReaderTestSupport.h"

#include <ombra/typedstreams.h>
#include <ombra/valueutil.h>

#include <gtest/gtest.h>

#include <zlib.h>

#include <atomic>
#include <thread>

namespace {

using namespace scribus_reader_test;

short Probe(ScribusReader& reader, const std::string& bytes, long long at = 0) {
    OBBufferStreamRead stream(bytes.data(), bytes.size());
    stream.Seek(at, kSeekFromStart);
    short answer = reader.CanImportThis(&stream);
    EXPECT_EQ(stream.Tell(), at) << "the probe moved the stream";
    EXPECT_EQ(stream.GetStreamState(), kStreamOK);
    return answer;
}

std::string Gzip(const std::string& text) {
    std::string out(compressBound(text.size()) + 64, '\0');
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

TEST(ScribusReaderDetect, RecognisesEveryGenerationPlainAndCompressed) {
    ScribusReader reader;
    for (const char* name : {"v12-basic.sla", "v12-basic.sla.gz", "v13.sla", "v13.sla.gz", "v14.sla", "v14.sla.gz",
                             "v15.sla", "v15.sla.gz", "v16.sla"}) {
        std::string bytes = Fixture(name);
        ASSERT_FALSE(bytes.empty()) << name;
        EXPECT_EQ(Probe(reader, bytes), 1) << name;
    }
}

TEST(ScribusReaderDetect, ReadsOnlyTheContentFromWhereTheStreamStands) {
    ScribusReader reader;
    std::string doc = Fixture("v14.sla");
    // A document behind other bytes is found from the stream's position,
    // and not from the start.
    std::string behind = "0123456789" + doc;
    EXPECT_EQ(Probe(reader, behind, 10), 1);
    EXPECT_EQ(Probe(reader, behind, 0), 0);
    // A document whose first kilobytes are a long comment is found as long
    // as its root starts within the bytes a probe reads.
    EXPECT_EQ(Probe(reader, "<!--" + std::string(3000, 'x') + "-->" + doc), 1);
    EXPECT_EQ(Probe(reader, "<!--" + std::string(5000, 'x') + "-->" + doc), 0);
    // Compressed after other bytes as well.
    EXPECT_EQ(Probe(reader, "PK" + Gzip(doc), 2), 1);
}

TEST(ScribusReaderDetect, SaysNoToEverythingElse) {
    ScribusReader reader;
    EXPECT_EQ(reader.CanImportThis(nullptr), 0);
    EXPECT_EQ(Probe(reader, ""), 0);
    EXPECT_EQ(Probe(reader, "<"), 0);
    EXPECT_EQ(Probe(reader, "<SCRIBUS"), 0);  // cut inside the root's name
    EXPECT_EQ(Probe(reader, "<?xml version=\"1.0\"?><svg xmlns=\"http://www.w3.org/2000/svg\"/>"), 0);
    EXPECT_EQ(Probe(reader, "<SCRIBUSX/>"), 0);
    EXPECT_EQ(Probe(reader, "%PDF-1.4\n"), 0);
    EXPECT_EQ(Probe(reader, Gzip("plain text, compressed")), 0);
    EXPECT_EQ(Probe(reader, std::string("\x1f\x8b", 2)), 0);
    EXPECT_EQ(Probe(reader, std::string(10000, '\0')), 0);
}

TEST(ScribusReaderDetect, ProbesDoNotDisturbAConversionOnTheSameObject) {
    ScribusReader reader;
    std::string doc = Fixture("v15.sla");
    OBBufferStreamRead input(doc.data(), doc.size());
    OBPreferenceList prefs;
    reader.GetStreamPrefs(&input, &prefs);
    reader.Init(&input, &prefs);
    std::vector<unsigned> ids;
    for (Element* e = reader.GetFirstElement(); e; e = reader.GetNextElement()) {
        ids.push_back(e->GetId());
        EXPECT_EQ(Probe(reader, Fixture("v13.sla.gz")), 1);
        EXPECT_EQ(Probe(reader, "not a document"), 0);
    }
    reader.Reset();
    input.Seek(0, kSeekFromStart);
    OBPreferenceList again;
    reader.Init(&input, &again);
    std::vector<unsigned> second;
    for (Element* e = reader.GetFirstElement(); e; e = reader.GetNextElement()) second.push_back(e->GetId());
    reader.Reset();
    EXPECT_GT(ids.size(), 5u);
    EXPECT_EQ(ids, second);
}

TEST(ScribusReaderDetect, ProbesOnAnotherThreadRunBesideConversions) {
    ScribusReader reader;
    std::string doc = Fixture("reader-features.sla");
    std::string probe = Fixture("v14.sla.gz");
    std::atomic<bool> done{false};
    std::atomic<int> yes{0}, wrong{0};
    std::thread prober([&] {
        while (!done) {
            OBBufferStreamRead stream(probe.data(), probe.size());
            short a = reader.CanImportThis(&stream);
            (a == 1 ? yes : wrong)++;
        }
    });
    std::vector<std::size_t> counts;
    for (int round = 0; round < 20; ++round) {
        OBBufferStreamRead input(doc.data(), doc.size());
        OBPreferenceList prefs;
        reader.GetStreamPrefs(&input, &prefs);
        reader.Init(&input, &prefs);
        std::size_t n = 0;
        for (Element* e = reader.GetFirstElement(); e; e = reader.GetNextElement()) ++n;
        reader.Reset();
        counts.push_back(n);
    }
    done = true;
    prober.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GT(yes.load(), 0);
    for (std::size_t n : counts) EXPECT_EQ(n, counts.front());
}

TEST(ScribusReaderDetect, PublishesItsFormatsAndPreferences) {
    ScribusReader reader;
    EXPECT_EQ(reader.GetReaderID(), 17);
    Format* formats = nullptr;
    short count = 0;
    reader.GetFormats(formats, count);
    ASSERT_EQ(count, 2);
    EXPECT_STREQ(formats[0].GetFormatString(), "Scribus");
    EXPECT_STREQ(formats[1].GetFormatString(), "Scribus gz");
    delete[] formats;

    OBPreferenceList list;
    reader.GetStreamPrefs(nullptr, &list);
    ASSERT_EQ(list.GetNumberOfPreferences(), ScribusReader::kPreferenceCount);
    for (int i = 0; i < list.GetNumberOfPreferences(); ++i) {
        OBPreference* p = nullptr;
        list.GetNthPreference(i, &p);
        auto* flag = dynamic_cast<OBBooleanPreference*>(p);
        ASSERT_NE(flag, nullptr) << i;
        EXPECT_EQ(flag->GetCurrentValue(), 1) << i;
        EXPECT_EQ(flag->GetResourceID(), 117000u + 16u * static_cast<unsigned>(i));
    }
    // Index 3 is no group: the pump's reader adjustment has nothing to change.
    OBPreference* third = nullptr;
    list.GetNthPreference(3, &third);
    EXPECT_EQ(dynamic_cast<OBGroupPreference*>(third), nullptr);
    // The reader's own list has the same layout.
    ASSERT_NE(reader.GetPrefs(), nullptr);
    EXPECT_EQ(reader.GetPrefs()->GetNumberOfPreferences(), ScribusReader::kPreferenceCount);
}

} // namespace
