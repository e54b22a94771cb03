// Detection of Scribus documents by content: plain and gzip compressed,
// every generation, and the many things that are not Scribus documents.
#include "ScribusTestSupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

namespace {

using scribus_test::Fixture;

short DetectBytes(const std::string& s) {
    return scribus::Detect(reinterpret_cast<const unsigned char*>(s.data()), s.size());
}

std::string Gzip(const std::string& s) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, s.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(s.data()));
    z.avail_in = static_cast<uInt>(s.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    return out;
}

TEST(ScribusDetect, RecognisesEveryGenerationPlainAndCompressed) {
    for (const char* name : {"v12-basic.sla", "v13.sla", "v14.sla", "v15.sla", "v16.sla"}) {
        std::string bytes = Fixture(name);
        ASSERT_FALSE(bytes.empty()) << name;
        EXPECT_EQ(1, DetectBytes(bytes)) << name;
    }
    for (const char* name : {"v12-basic.sla.gz", "v13.sla.gz", "v14.sla.gz", "v15.sla.gz"}) {
        std::string bytes = Fixture(name);
        ASSERT_FALSE(bytes.empty()) << name;
        EXPECT_EQ(1, DetectBytes(bytes)) << name;
        // A reader hands over only the first bytes; a gzip prefix must do.
        EXPECT_EQ(1, DetectBytes(bytes.substr(0, 512))) << name;
        // Damage after the root does not hide it; damage before it does.
        std::string damaged = bytes;
        for (std::size_t i = damaged.size() / 2; i < damaged.size(); ++i) damaged[i] = static_cast<char>(~damaged[i]);
        EXPECT_EQ(1, DetectBytes(damaged)) << name;
        damaged = bytes;
        for (std::size_t i = 10; i < damaged.size(); ++i) damaged[i] = static_cast<char>(i * 7);
        EXPECT_EQ(0, DetectBytes(damaged)) << name;
    }
}

TEST(ScribusDetect, LooksPastDeclarationCommentsAndByteOrderMark) {
    EXPECT_EQ(1, DetectBytes("\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!-- made by hand -->\n"
                             "<!DOCTYPE x>\n  <SCRIBUSUTF8NEW Version=\"1.5.8\">"));
    EXPECT_EQ(1, DetectBytes("<SCRIBUSUTF8 Version=\"1.2.2\" >"));
    EXPECT_EQ(1, DetectBytes("<SCRIBUS Version=\"1.0\">"));
    EXPECT_EQ(1, DetectBytes("<SCRIBUSUTF8NEW/>"));
    EXPECT_EQ(1, DetectBytes(Gzip("<?xml version=\"1.0\"?>\n<SCRIBUSUTF8NEW Version=\"1.6.1\"><DOCUMENT/></SCRIBUSUTF8NEW>")));
}

TEST(ScribusDetect, RejectsOtherXmlAndOtherFiles) {
    EXPECT_EQ(0, DetectBytes("<?xml version=\"1.0\"?><svg xmlns=\"http://www.w3.org/2000/svg\"/>"));
    EXPECT_EQ(0, DetectBytes("<SCRIBUSX Version=\"1\">"));
    EXPECT_EQ(0, DetectBytes("<scribusutf8new Version=\"1.5\">"));
    EXPECT_EQ(0, DetectBytes("<DOCUMENT><SCRIBUSUTF8NEW/></DOCUMENT>"));
    EXPECT_EQ(0, DetectBytes("text SCRIBUSUTF8NEW"));
    EXPECT_EQ(0, DetectBytes(std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)));
    EXPECT_EQ(0, DetectBytes(std::string("%PDF-1.7\n%\xe2\xe3\xcf\xd3\n")));
    EXPECT_EQ(0, DetectBytes(Gzip("<?xml version=\"1.0\"?><html/>")));
    EXPECT_EQ(0, DetectBytes(std::string("\x1f\x8b\x08\x00garbage that is not deflate", 30)));
}

TEST(ScribusDetect, RejectsInputTooShortToTell) {
    EXPECT_EQ(0, scribus::Detect(nullptr, 100));
    EXPECT_EQ(0, DetectBytes(""));
    EXPECT_EQ(0, DetectBytes("<"));
    EXPECT_EQ(0, DetectBytes("<SCRIBUS"));         // could still be <SCRIBUSX...
    EXPECT_EQ(0, DetectBytes("<SCRIBUSUTF8NEW"));
    EXPECT_EQ(0, DetectBytes("<?xml version=\"1.0\""));
    EXPECT_EQ(0, DetectBytes("\x1f\x8b"));
}

TEST(ScribusDetect, LooksOnlyAtTheFirstKilobytes) {
    // The root behind a long comment is out of reach, as it would be for a
    // reader that hands over kDetectBytes.
    std::string far = "<!--" + std::string(scribus::kDetectBytes, '-') + "-->" + "<SCRIBUSUTF8NEW Version=\"1.5\">";
    EXPECT_EQ(0, DetectBytes(far));
    std::string nearEnough = "<!--" + std::string(scribus::kDetectBytes - 64, ' ') + "--><SCRIBUSUTF8NEW Version=\"1.5\">";
    EXPECT_EQ(1, DetectBytes(nearEnough));
}

} // namespace
