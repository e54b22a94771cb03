// The Scribus reader as the managers see it: recognition by content (plain
// and compressed, never by name), the stream left where it was, probes
// beside a conversion in progress, the formats and the preference list.
#include "ScribusTestSupport.h"

#include <ombra/typedstreams.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using namespace scribus_test;

short Probe(ScribusReader& reader, const std::string& bytes, long long at = 0) {
    OBBufferStreamRead stream(bytes.data(), bytes.size());
    stream.Seek(at, kSeekFromStart);
    short answer = reader.CanImportThis(&stream);
    EXPECT_EQ(stream.Tell(), at) << "the probe moved the stream";
    EXPECT_EQ(stream.GetStreamState(), kStreamOK);
    return answer;
}

// The root counts after a byte-order mark, the declaration, comments and a
// document type, from where the stream stands and within the bytes a probe
// reads, and under gzip, whose prefix is enough; damage after the root does
// not hide it, damage before it does. (Every generation's document, plain and
// compressed, is recognised by the pump in ScribusGenerations.)
TEST(ScribusReaderDetect, RecognisesTheRootFromWhereTheStreamStandsAndNothingElse) {
    ScribusReader reader;
    EXPECT_EQ(reader.CanImportThis(nullptr), 0);
    const std::string doc = Fixture("v14.sla"), gz = Fixture("v14.sla.gz");
    std::string flipped = gz, scrambled = gz;
    for (std::size_t i = 10; i < gz.size(); ++i) {
        flipped[i] = i < gz.size() / 2 ? gz[i] : static_cast<char>(~gz[i]);
        scrambled[i] = static_cast<char>(i * 7);
    }
    const struct {
        std::string bytes;
        long long at;
        short answer;
    } kCases[] = {{"\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!-- made by hand -->\n"
                   "<!DOCTYPE x>\n  <SCRIBUSUTF8NEW Version=\"1.5.8\">",
                   0, 1},
                  {"<!DOCTYPE SCRIBUSUTF8NEW [<!ENTITY co \"a > b ]\"><!-- it's > -->]>\n"
                   "<SCRIBUSUTF8NEW Version=\"1.5.8\">",
                   0, 1},
                  {"<!DOCTYPE SCRIBUSUTF8NEW [<!ENTITY co 'x'>", 0, 0},
                  {"<SCRIBUS Version=\"1.0\">", 0, 1},
                  {gz.substr(0, 512), 0, 1},
                  {flipped, 0, 1},
                  {scrambled, 0, 0},
                  {"0123456789" + doc, 10, 1},
                  {"0123456789" + doc, 0, 0},
                  {"<!--" + std::string(3000, 'x') + "-->" + doc, 0, 1},
                  {"<!--" + std::string(5000, 'x') + "-->" + doc, 0, 0},
                  {"PK" + Gzip(doc), 2, 1}};
    for (const auto& c : kCases)
        EXPECT_EQ(Probe(reader, c.bytes, c.at), c.answer) << "case " << &c - kCases;
    for (const std::string& other :
         {std::string(), std::string("<"), std::string("<SCRIBUS"), std::string("<SCRIBUSUTF8NEW"),
          std::string("<?xml version=\"1.0\""), std::string("<?xml version=\"1.0\"?><svg/>"),
          std::string("<SCRIBUSX/>"), std::string("<scribusutf8new Version=\"1.5\">"),
          std::string("<DOCUMENT><SCRIBUSUTF8NEW/></DOCUMENT>"), std::string("text SCRIBUSUTF8NEW"),
          std::string("%PDF-1.4\n"), std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16),
          std::string("\x1f\x8b", 2),
          std::string("\x1f\x8b\x08\x00garbage that is not deflate", 30),
          Gzip("plain text, compressed"), std::string(10000, '\0')})
        EXPECT_EQ(Probe(reader, other), 0) << other.substr(0, 40);
}

// Probes between the Elements of a conversion (the first) and on another
// thread all along leave every conversion as it would be without them.
TEST(ScribusReaderDetect, ProbesOnThisOrAnotherThreadDoNotDisturbConversions) {
    ScribusReader reader;
    std::string doc = Fixture("reader-features.sla");
    std::string probe = Fixture("v14.sla.gz");
    std::atomic<bool> done{false};
    std::atomic<int> yes{0}, wrong{0};
    std::thread prober([&] {
        while (!done) {
            OBBufferStreamRead stream(probe.data(), probe.size());
            (reader.CanImportThis(&stream) == 1 ? yes : wrong)++;
        }
    });
    // Conversions go on until the prober has probed a number of times, so
    // that the two overlap however late the prober's thread starts and
    // however the machine shares its time between them.
    std::vector<std::vector<unsigned>> ids;
    for (int round = 0; round < 20 || yes.load() + wrong.load() < 20; ++round) {
        OBBufferStreamRead input(doc.data(), doc.size());
        OBPreferenceList prefs;
        reader.GetStreamPrefs(&input, &prefs);
        reader.Init(&input, &prefs);
        ids.emplace_back();
        for (Element* e = reader.GetFirstElement(); e; e = reader.GetNextElement()) {
            ids.back().push_back(e->GetId());
            if (round == 0) {
                EXPECT_EQ(Probe(reader, Fixture("v13.sla.gz")), 1);
                EXPECT_EQ(Probe(reader, "not a document"), 0);
            }
        }
        reader.Reset();
    }
    done = true;
    prober.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GT(yes.load(), 0);
    EXPECT_GT(ids.front().size(), 5u);
    for (const std::vector<unsigned>& run : ids)
        EXPECT_EQ(run, ids.front());
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
        // Index 3 is no group either: the pump's reader adjustment has nothing to change.
        auto* flag = dynamic_cast<OBBooleanPreference*>(p);
        ASSERT_NE(flag, nullptr) << i;
        EXPECT_EQ(flag->GetCurrentValue(), 1) << i;
        EXPECT_EQ(flag->GetResourceID(), 117000u + 16u * static_cast<unsigned>(i));
    }
    ASSERT_NE(reader.GetPrefs(), nullptr);
    EXPECT_EQ(reader.GetPrefs()->GetNumberOfPreferences(), ScribusReader::kPreferenceCount);
}

} // namespace
