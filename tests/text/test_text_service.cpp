// The per-thread text service slots, the process-wide translator and the
// symbol and control character tables.
#include <ombra/textservice.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

std::atomic<int> gDestroyed{0};

// Records what the translator hands on, and answers with a fixed count.
class RecordingService : public OBLumService {
public:
    ~RecordingService() override { ++gDestroyed; }
    long long CharToTextChar(const char* src, long long, unsigned short* dst, long long capacity,
                             WSE::WritingScriptEnum script, CPGE::CodePageEnum codePage) override {
        lastScript = script;
        lastCodePage = codePage;
        lastCapacity = capacity;
        if (src && dst && capacity > 0) dst[0] = static_cast<unsigned char>(src[0]);
        return 1;
    }
    long long TextCharToChar(const unsigned short*, long long, char*, long long,
                             OBFont* font) override {
        lastFont = font;
        return 11;
    }
    long long TextCharToChar_Exact(const unsigned short*, long long, char*, long long, short& exact,
                                   long long& used, OBFont*) override {
        exact = 1;
        used = 4;
        return 12;
    }
    void SetEncoding(int encoding) override { lastEncoding = encoding; }

    using OBLumService::TextCharToChar;
    using OBLumService::TextCharToChar_Exact;

    int lastScript = -1;
    int lastCodePage = -1;
    long long lastCapacity = -1;
    OBFont* lastFont = nullptr;
    int lastEncoding = -1;
};

class NoFonts : public OBLumFontService {
public:
    ~NoFonts() override { ++gDestroyed; }
    WSE::WritingScriptEnum GetFontScript(const OBFont*) override { return WSE::kRomanScript; }
    CPGE::CodePageEnum GetFontCodePage(const OBFont*) override { return CPGE::kUndefinedCodePage; }
    short IsSymbolFont(const OBFont*) override { return 0; }
    short HasGlyph(const OBFont*, unsigned short) override { return 0; }
    double GetCharWidth(const OBFont*, unsigned short) override { return 0.0; }
    short GetPostScriptName(const OBFont*, char*, long long) override { return 0; }
    void SetEncoding(int) override {}
};

// Runs f on a fresh thread, which starts without services.
template <typename F> void OnNewThread(F f) {
    std::thread t(f);
    t.join();
}

TEST(TextService, TheFirstServiceOfAThreadStays) {
    OnNewThread([] {
        EXPECT_EQ(OBLumHandler::GetLumService(), nullptr);
        RecordingService* first = new RecordingService;
        RecordingService* second = new RecordingService;
        OBLumHandler::SetLumService(first);
        OBLumHandler::SetLumService(second);
        EXPECT_EQ(OBLumHandler::GetLumService(), first);

        NoFonts* font = new NoFonts;
        NoFonts* otherFont = new NoFonts;
        OBLumHandler::SetLumFontService(font);
        OBLumHandler::SetLumFontService(otherFont);
        EXPECT_EQ(OBLumHandler::GetLumFontService(), font);

        // Reset takes both away without deleting them; a new one may follow.
        OBLumHandler::ResetLumService();
        EXPECT_EQ(OBLumHandler::GetLumService(), nullptr);
        EXPECT_EQ(OBLumHandler::GetLumFontService(), nullptr);
        OBLumHandler::SetLumService(second);
        EXPECT_EQ(OBLumHandler::GetLumService(), second);
        OBLumHandler::ResetLumService();
        delete first;
        delete second;
        delete font;
        delete otherFont;
    });
}

TEST(TextService, ServicesAreThreadLocalAndDeletedWithTheirThread) {
    gDestroyed = 0;
    OBLumService* mine = nullptr;
    OnNewThread([&mine] {
        OBLumHandler::SetLumService(new RecordingService);
        OBLumHandler::SetLumFontService(new NoFonts);
        mine = OBLumHandler::GetLumService();
        EXPECT_NE(mine, nullptr);
        EXPECT_NE(OBLumHandler::GetLumFontService(), nullptr);
        OnNewThread([] {
            EXPECT_EQ(OBLumHandler::GetLumService(), nullptr);
            EXPECT_EQ(OBLumHandler::GetLumFontService(), nullptr);
        });
    });
    EXPECT_EQ(gDestroyed.load(), 2);
    EXPECT_EQ(OBLumHandler::GetLumService(), nullptr);

    // What was reset before the thread ended stays with its owner.
    gDestroyed = 0;
    RecordingService* kept = new RecordingService;
    OnNewThread([kept] {
        OBLumHandler::SetLumService(kept);
        OBLumHandler::ResetLumService();
    });
    EXPECT_EQ(gDestroyed.load(), 0);
    delete kept;
}

TEST(TextService, TheTranslatorForwardsToTheThreadsService) {
    OnNewThread([] {
        OBLumUnicodeTranslator* t = OBLumUnicodeTranslator::Instance();
        unsigned short units[4] = {};
        char bytes[4] = {};
        short exact = 0;
        long long used = 0;
        const unsigned short text[] = {'a', 0};
        // Without a service nothing converts (the strings suite has the rest).
        EXPECT_EQ(t->TextCharToChar(text, 1, bytes, 4, static_cast<OBFont*>(nullptr)), 0);
        EXPECT_EQ(
            t->TextCharToChar_Exact(text, 1, bytes, 4, exact, used, static_cast<OBFont*>(nullptr)),
            0);
        t->SetEncoding(5);

        RecordingService* service = new RecordingService;
        OBLumHandler::SetLumService(service);
        EXPECT_EQ(t->CharToTextChar("z", 1, units, 4, WSE::kGreekScript, CPGE::kCodePageFromScript),
                  1);
        EXPECT_EQ(units[0], 'z');
        EXPECT_EQ(service->lastScript, 6);
        EXPECT_EQ(service->lastCodePage, 54);
        EXPECT_EQ(service->lastCapacity, 4);
        OBFont* font = reinterpret_cast<OBFont*>(&exact);
        EXPECT_EQ(t->TextCharToChar(text, 1, bytes, 4, font), 11);
        EXPECT_EQ(service->lastFont, font);
        EXPECT_EQ(t->TextCharToChar_Exact(text, 1, bytes, 4, exact, used, font), 12);
        EXPECT_EQ(exact, 1);
        EXPECT_EQ(used, 4);
        t->SetEncoding(5);
        EXPECT_EQ(service->lastEncoding, 5);
        // Left installed: deleted when the thread ends.
    });
}

TEST(TextService, ControlBytesTranslateToTheSameUnits) {
    OBLumUnicodeTranslator* t = OBLumUnicodeTranslator::Instance();
    unsigned short out = 0xAAAA;
    EXPECT_EQ(t->TranslateSymbolAndControlChar(0x14, out, 0), 1);
    EXPECT_EQ(out, 0x14);
    EXPECT_EQ(t->TranslateSymbolAndControlChar(0x00, out, 0), 1);
    EXPECT_EQ(out, 0);
    out = 0xAAAA;
    EXPECT_EQ(t->TranslateSymbolAndControlChar(' ', out, 0), 0);
    EXPECT_EQ(t->TranslateSymbolAndControlChar('\x80', out, 0), 0);
    EXPECT_EQ(t->TranslateSymbolAndControlChar('\xFF', out, 0), 0);
    EXPECT_EQ(out, 0xAAAA);
}

TEST(TextService, SpecialSpacesReverseToControlBytes) {
    OBLumUnicodeTranslator* t = OBLumUnicodeTranslator::Instance();
    struct {
        unsigned short unit;
        char byte;
    } rows[] = {{0x2001, 0x15}, {0x2002, 0x13}, {0x2003, 0x14}, {0x2007, 0x17},
                {0x2008, 0x10}, {0x2009, 0x12}, {0x200A, 0x16}, {0x2011, 0x0F},
                {0x0000, 0x00}, {0x001F, 0x1F}, {0x000A, 0x0A}};
    for (const auto& row : rows) {
        char out = 'x';
        EXPECT_EQ(t->ReverseSymbolAndControlChar(row.unit, out, 0), 1) << row.unit;
        EXPECT_EQ(out, row.byte) << row.unit;
    }
    for (unsigned short unit : {0x2004, 0x2005, 0x2006, 0x200B, 0x2010, 0x0020, 0x00A0, 0x3000}) {
        char out = 'x';
        EXPECT_EQ(t->ReverseSymbolAndControlChar(unit, out, 0), 0) << unit;
        EXPECT_EQ(out, 'x');
    }
}

} // namespace
