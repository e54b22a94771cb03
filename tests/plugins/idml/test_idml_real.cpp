// Real packages through the pump into the text writer: their words are the
// words the Content of their placed stories holds (make_packages.py reads
// those from the XML, with the XML parser of its own language).
#include "IdmlTestSupport.h"

#include <ombra/convertor.h>
#include <ombra/typedstreams.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace {

using namespace idml_test;

std::string Convert(OBConvertor* convertor, const std::string& bytes) {
    OBBufferStreamRead input(bytes.data(), bytes.size());
    OBMemXferBytes xfer;
    OBStream* output = OBStreamUtilRef::CreateMemoryStreamWrite(&xfer);
    Preferences utf8{0, "", 0, "", 0, 0, -1, 0};
    short ok = convertor->ExtractData(&input, output, &utf8);
    delete output;
    EXPECT_EQ(ok, 1);
    std::string text(static_cast<std::size_t>(xfer.Tell()), '\0');
    xfer.Seek(0, kSeekFromStart);
    if (!text.empty()) text.resize(static_cast<std::size_t>(xfer.Read(&text[0], text.size())));
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
