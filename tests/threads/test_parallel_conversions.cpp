// Real documents converted on eight threads at once, through one shared
// converter (one convertor manager) and through a converter of each
// thread's own, give byte for byte what the same conversions give one after
// another. ThreadSanitizer's build runs it too (scripts/tsan.sh).
#include <ombra/convert.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Job {
    const char* input; // below the source folder
    const char* writer;
    const char* encoding;
};

// Scribus (plain and gzip'd) and IDML, into text, a code page and the dump.
const Job kJobs[] = {
    {"samples/sample.sla", "text", ""},
    {"samples/sample.sla", "json", ""},
    {"tests/data/scribus/real/colours.sla", "text", "cp1252"},
    {"tests/data/scribus/real/linked-frames.sla.gz", "json", ""},
    {"tests/data/scribus/real/resaved-nl2.sla.gz", "text", "utf16"},
    {"tests/data/idml/real/idmllib/example.idml", "json", ""},
    {"tests/data/idml/real/simpleidml/interview.idml", "text", "shift_jis"},
    {"tests/data/idml/real/simpleidml/magazineA-edito.idml", "text", ""},
};
constexpr int kJobCount = sizeof kJobs / sizeof kJobs[0];
constexpr int kThreads = 8;

struct Output {
    ombra::Status status = ombra::Status::kFailed;
    std::string bytes;
};

Output Convert(const ombra::Converter& converter, const Job& job) {
    ombra::Options options;
    options.writer = job.writer;
    options.encoding = job.encoding;
    Output out;
    out.status = converter
                     .Convert(ombra::Source::Path(std::string(OMBRA_SOURCE_DIR) + "/" + job.input),
                              ombra::Sink::Memory(out.bytes), options)
                     .status;
    return out;
}

// Each thread converts every job, starting at its own, so that different
// documents and writers are under way at the same moment.
void CheckThreads(const std::vector<Output>& expected, const ombra::Converter* shared) {
    std::vector<std::vector<Output>> got(kThreads, std::vector<Output>(kJobCount));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            std::unique_ptr<ombra::Converter> own;
            if (!shared) own.reset(new ombra::Converter);
            const ombra::Converter& converter = shared ? *shared : *own;
            for (int k = 0; k < kJobCount; ++k) {
                int j = (t + k) % kJobCount;
                got[t][j] = Convert(converter, kJobs[j]);
            }
        });
    for (std::thread& t : threads)
        t.join();
    for (int t = 0; t < kThreads; ++t)
        for (int j = 0; j < kJobCount; ++j) {
            EXPECT_EQ(got[t][j].status, expected[j].status) << kJobs[j].input << " thread " << t;
            EXPECT_TRUE(got[t][j].bytes == expected[j].bytes)
                << kJobs[j].input << " to " << kJobs[j].writer << " differs on thread " << t;
        }
}

TEST(ParallelConversions, EightThreadsGiveWhatOneThreadGives) {
    ombra::Converter converter;
    ASSERT_TRUE(converter.State().Ok()) << converter.State().reason;
    std::vector<Output> expected;
    for (const Job& job : kJobs) {
        expected.push_back(Convert(converter, job));
        EXPECT_EQ(expected.back().status, ombra::Status::kConverted) << job.input;
        EXPECT_FALSE(expected.back().bytes.empty()) << job.input;
    }
    CheckThreads(expected, &converter);
    CheckThreads(expected, nullptr);
}

} // namespace
