// COBString, WOBString and IOBStringPtr as hosts and plug-ins use them. Rules
// the two kinds share (number parsing, searches, position checks) are shown
// on one kind and only the other's own paths on the other.
#include <ombra/strings.h>

#include "support/TestSupport.h"
#include "text/TextFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

using ombra_test::Ptr;
using ombra_test::U16;

namespace {

std::string Of(const COBString& s) {
    return std::string(s.GrabCString(), s.Length());
}
std::u16string Of(const WOBString& s) {
    return U16(s.GrabWString(), s.Length());
}

// Restores the process-wide system script after a test changes it.
class SystemScriptGuard {
public:
    SystemScriptGuard() : saved_(COBString::OBGetSystemScript()) {}
    ~SystemScriptGuard() { COBString::OBSetSystemScript(saved_); }

private:
    WSE::WritingScriptEnum saved_;
};

using Strings = ombra_test::WithTextService;

// ---- The system script, equality and order ----------------------------------

TEST_F(Strings, TheSystemScriptMarkerTakesTheProcessWideScript) {
    SystemScriptGuard guard;
    ASSERT_EQ(COBString::OBGetSystemScript(), WSE::kSystemScript);
    EXPECT_EQ(OBGetSystemScript(), 0x40000000);

    COBString::OBSetSystemScript(WSE::kRomanScript);
    COBString roman("x", WSE::kSystemScript);
    EXPECT_EQ(roman.GetWSEScript(), WSE::kRomanScript);
    EXPECT_EQ(OBGetSystemScript(), 0);
    roman.SetScript(WSE::kSystemScript); // the marker itself is kept
    EXPECT_EQ(roman.GetWSEScript(), WSE::kSystemScript);

    SetSystemScript(1);
    // A substring is tagged with the system script, not the source's.
    COBString* sub = COBString("abc", WSE::kCyrillicScript).Substring(1, 1);
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->GetWSEScript(), WSE::kJapaneseScript);
    delete sub;
    SetSystemScript(0x40000000);
    EXPECT_EQ(COBString::OBGetSystemScript(), WSE::kSystemScript);
}

TEST_F(Strings, EqualityLooksAtScriptsKindAndBytes) {
    COBString roman("abc", WSE::kRomanScript);
    COBString cyrillic("abc", WSE::kCyrillicScript);
    COBString system("abc", WSE::kRomanScript);
    system.SetScript(WSE::kSystemScript);
    EXPECT_TRUE(roman != cyrillic);
    EXPECT_TRUE(roman == system);
    EXPECT_TRUE(system == cyrillic);
    EXPECT_FALSE(roman == "abcd");
    EXPECT_TRUE(COBString() == static_cast<const char*>(nullptr));
    system = cyrillic; // an assignment takes the script too
    EXPECT_EQ(system.GetWSEScript(), WSE::kCyrillicScript);
    WOBString wide(Ptr(u"abc"));
    EXPECT_FALSE(roman == wide);
    EXPECT_FALSE(wide == roman);

    // Equal lengths compare up to the first NUL.
    COBString a(WSE::kRomanScript), b(WSE::kRomanScript);
    a.SetXString("x\0y", 3);
    b.SetXString("x\0z", 3);
    EXPECT_TRUE(a == b);
    b.SetXString("x\0zz", 4);
    EXPECT_FALSE(a == b);
}

// 8-bit text orders by unsigned bytes; UTF-16 text puts the shorter first.
TEST_F(Strings, OrderingAndCompareDifferBetweenTheKinds) {
    COBString abc("abc", WSE::kRomanScript);
    EXPECT_TRUE(COBString("b", WSE::kCyrillicScript) > abc);
    EXPECT_TRUE(COBString("\xE9", WSE::kRomanScript) > COBString("z", WSE::kRomanScript));
    EXPECT_TRUE(WOBString(Ptr(u"b")) < WOBString(Ptr(u"abc")));
    EXPECT_TRUE(WOBString(Ptr(u"\u00E9")) > WOBString(Ptr(u"z")));

    // Compare gives -1, 0 or 1 with case, the runtime's difference without.
    COBString s("Apple", WSE::kRomanScript);
    EXPECT_EQ(s.Compare(true, COBString("Apple", WSE::kGreekScript)), 0);
    EXPECT_EQ(s.Compare(true, "Ap"), 1);
    EXPECT_EQ(s.Compare(true, "apple"), -1);
    EXPECT_EQ(s.Compare(false, "aPPLE"), 0);
    EXPECT_LT(s.Compare(false, "apply"), 0);
    WOBString w(Ptr(u"Apple"));
    EXPECT_EQ(w.Compare(false, WOBString(Ptr(u"aPPLE"))), 0);
    EXPECT_EQ(WOBString(Ptr(u"\uFF21")).Compare(true, WOBString(Ptr(u"z"))), 1);
    // An 8-bit operand compares by its translation.
    EXPECT_EQ(w.Compare(true, COBString("Apple", WSE::kRomanScript)), 0);
}

// ---- Numbers ---------------------------------------------------------------

TEST_F(Strings, GetAsNumberReadsIntegersThenDecimals) {
    for (const auto& row : ombra_test::ReadTable("text/strings.tsv", "number")) {
        std::string text = row.size() > 2 ? row[2] : "";
        auto expected = static_cast<IOBString::ConversionError>(std::stoi(row[1]));
        auto error = expected ? IOBString::kConversionOK : IOBString::kConversionFailed;
        EXPECT_EQ(COBString(text.c_str(), WSE::kRomanScript).GetAsNumber(&error), std::stoi(row[0]))
            << text;
        EXPECT_EQ(error, expected) << text;
    }
    // UTF-16 text is read through its translation.
    EXPECT_EQ(WOBString(Ptr(u"-42")).GetAsNumber(nullptr), -42);
    // The text counts up to its first NUL; the error pointer may be null.
    COBString c(WSE::kRomanScript);
    c.SetXString("12\0"
                 "34",
                 5);
    EXPECT_EQ(c.GetAsNumber(), 12);

    // GetAsDouble reads the whole text or nothing.
    IOBString::ConversionError error = IOBString::kConversionFailed;
    EXPECT_DOUBLE_EQ(WOBString(Ptr(u"2.5e-1")).GetAsDouble(&error), 0.25);
    EXPECT_EQ(error, IOBString::kConversionOK);
    EXPECT_EQ(COBString("1.5cm", WSE::kRomanScript).GetAsDouble(&error), 0.0);
    EXPECT_EQ(error, IOBString::kConversionFailed);
}

TEST_F(Strings, NumbersAreFormattedPerKind) {
    COBString c("x=", WSE::kRomanScript);
    c.AppendDouble(0.5);
    c.AppendNumber(INT_MIN);
    EXPECT_EQ(Of(c), "x=0.500000-2147483648");
    c.Clear();
    c.AppendDouble(1e300); // "%f" gives 308 characters; 38 remain
    EXPECT_EQ(c.Length(), 38);

    WOBString w(Ptr(u"x="));
    w.AppendDouble(0.5);
    w.AppendNumber(-7);
    w.AppendDouble(0.1);
    EXPECT_EQ(Of(w), u"x=0.5-70.10000000000000001");
}

// ---- Editing and searching against a model ---------------------------------

// Random edits, reads and searches on a string and on a std::string or
// std::u16string, with positions and counts around both ends and beyond,
// texts with spaces, high bytes, surrogate pairs and NULs (where plain
// pointers and needles stop), and the string's own text as operand.
template <class S, class Text> class StringModel {
    using Ch = typename Text::value_type;
    using Unit = std::conditional_t<std::is_same<S, COBString>::value, char, unsigned short>;
    static constexpr long long kAll = IOBString::kUpToTerminator;

public:
    StringModel(unsigned seed, std::vector<Text> pieces) : rng_(seed), pieces_(pieces) {}

    // False when memory ran out on the way: each edit is then whole or not
    // made, and a string whose storage could not be had is empty but works.
    bool Run(int steps) {
        S s;
        Text m;
        bool whole = true;
        for (int step = 0; step < steps && !::testing::Test::HasFailure(); ++step) {
            if (m.size() > 300) m.erase(0, 200), s.Remove(0, 200);
            refused_ = ombra_test::Stats().refused;
            Text before = m;
            const char* name = Apply(s, m);
            if (Refusing() && Of(s) == before) m = before;
            whole = whole && !Refusing();
            EXPECT_EQ(Of(s), m) << name << " at step " << step;
        }
        return whole && !::testing::Test::HasFailure();
    }

private:
    bool Refusing() const { return ombra_test::Stats().refused != refused_; }
    long long Pick(long long low, long long high) {
        return std::uniform_int_distribution<long long>(low, high)(rng_);
    }
    static const char* P(const std::string& t) { return t.c_str(); }
    static const unsigned short* P(const std::u16string& t) { return Ptr(t); }
    static Text ToNul(const Text& t) { return t.substr(0, t.find(Ch(0))); }
    static Text Cut(const Text& t, long long n) { return n > 0 ? t.substr(0, n) : Text(); }
    static long long Found(std::size_t at) {
        return at == Text::npos ? -1 : static_cast<long long>(at);
    }
    template <class F> static bool Throws(F f) {
        try {
            f();
        } catch (const std::out_of_range& e) {
            EXPECT_STREQ(e.what(), "invalid string position");
            return true;
        }
        return false;
    }

    const char* Apply(S& s, Text& m) {
        const long long size = static_cast<long long>(m.size());
        const long long p = Pick(-2, size + 2), n = Pick(-2, size + 2);
        const std::size_t at = static_cast<std::size_t>(std::min(std::max(p, 0LL), size));
        Text t;
        for (long long k = Pick(0, 3); k > 0; --k)
            t += pieces_[static_cast<std::size_t>(Pick(0, 5))];
        const bool self = Pick(0, 3) == 0, insert = Pick(0, 1) == 1;
        S other;
        other.SetXString(P(t), static_cast<long long>(t.size()));
        S& operand = self ? s : other;
        const Text source = Of(operand); // empty if memory ran out
        const long long count =
            Pick(0, 4) ? Pick(-1, static_cast<long long>(source.size()) + 2) : kAll;
        const Ch unit = t.empty() ? Ch('x') : t[0];
        Text added; // what an insertion or an append adds
        bool threw = false;
        switch (Pick(0, 10)) {
        case 0:
            if (insert) {
                EXPECT_EQ(Throws([&] { s.Remove(p, n); }), p > size);
                if (p <= size) m.erase(at, n < 0 ? Text::npos : std::size_t(n));
            } else {
                EXPECT_EQ(Throws([&] { s.Truncate(n); }), n < 0);
                if (n >= 0) m.resize(n >= size ? 0 : std::size_t(size - n));
            }
            return "Remove or Truncate";
        case 1:
            added = Text(1, unit);
            if (insert)
                threw = Throws([&] { s.Insert(Unit(unit), p); });
            else
                s.Append(Unit(unit));
            break;
        case 2: {
            long long c = count == kAll ? kAll : std::min(count, static_cast<long long>(t.size()));
            added = c == kAll ? ToNul(t) : Cut(t, c);
            if (insert) {
                threw = Throws([&] { s.Insert(P(t), c, p); });
            } else if (Pick(0, 5) == 0) {
                s.Append(static_cast<decltype(P(t))>(nullptr), c);
                added.clear();
            } else {
                s.Append(P(t), c);
            }
            break;
        }
        case 3:
            added = Cut(source, count);
            if (insert) {
                threw = Throws([&] { s.Insert(operand, p, count); });
            } else if (count == kAll) {
                EXPECT_EQ(&(s + operand), &s); // + changes its left operand
                added = ToNul(source);
            } else {
                s.Append(static_cast<const IOBString&>(operand), count);
            }
            break;
        case 4: {
            const S& read = s;
            bool inside = p >= 0 && p < size;
            EXPECT_EQ(Throws([&] { (void)read.GetChar(p); }), !inside);
            EXPECT_EQ(Throws([&] { (void)read[p]; }), !inside);
            if (inside) {
                EXPECT_EQ(long(read[p]), long(std::make_unsigned_t<Ch>(m[at])));
            }
            if constexpr (std::is_same<S, WOBString>::value) {
                EXPECT_EQ(Throws([&] { s[p] = unit; }), !inside);
                if (inside) m[at] = unit;
            } else {
                // A fixed buffer takes the text and a NUL, or nothing without
                // room for both; a Pascal string shows up to 255 bytes.
                std::string c(size + 2, '#'), pascal = c;
                s.GetCString(&c[0], size + insert);
                s.GetPString(reinterpret_cast<unsigned char*>(&pascal[0]), size + insert);
                const std::size_t shown = std::min<std::size_t>(m.size(), 255);
                EXPECT_EQ(c, insert ? m + '\0' + '#' : std::string(size + 2, '#'));
                EXPECT_EQ(pascal, insert ? char(shown) + m.substr(0, shown) +
                                               std::string(m.size() + 1 - shown, '#')
                                         : std::string(size + 2, '#'));
            }
            return "characters";
        }
        case 5: {
            // The count is read as an unsigned 32-bit number.
            long long c = insert ? -1 : n < 0 ? n : n + (Pick(0, 1) << 32);
            std::unique_ptr<S> sub(s.Substring(p, c));
            EXPECT_EQ(sub == nullptr, p < 0 || p >= size || Refusing());
            if (sub) {
                EXPECT_EQ(Of(*sub), m.substr(at, c < 0 ? Text::npos : std::size_t(n)));
            }
            return "Substring";
        }
        case 6: {
            Text needle = ToNul(source);
            long long first = p > size ? -1 : Found(m.find(needle, at));
            EXPECT_EQ(s.IndexOfString(operand, p), first);
            EXPECT_EQ(s.Contains(static_cast<const IOBString&>(operand), p), first >= 0);
            EXPECT_EQ(s.LastIndexOfString(operand, p), p < 0 ? -1 : Found(m.rfind(needle, p)));
            if constexpr (std::is_same<S, COBString>::value) {
                long long plain = p > size ? -1 : Found(m.find(ToNul(t), at));
                EXPECT_EQ(s.IndexOfString(self ? nullptr : P(t), p), self ? -1 : plain);
            }
            EXPECT_EQ(s.IndexOfCharacter(Unit(unit), p), p > size ? -1 : Found(m.find(unit, at)));
            EXPECT_EQ(s.LastIndexOfCharacter(Unit(unit)), Found(m.rfind(unit)));
            return "searches";
        }
        case 7:
            // The runtime's case mapping: in the C locale only ASCII letters.
            insert ? s.ToUpper() : s.ToLower();
            for (Ch& c : m)
                if ((insert ? c >= 'a' && c <= 'z' : c >= 'A' && c <= 'Z'))
                    c = static_cast<Ch>(c ^ 0x20);
            return "case";
        case 8:
            if constexpr (std::is_same<S, COBString>::value) {
                // Only the space counts as white space.
                auto type = static_cast<COBString::WhitespaceType>(Pick(0, 3));
                s.StripWhiteSpace(type);
                std::size_t first = m.find_first_not_of(' '), last = m.find_last_not_of(' ');
                if (type == COBString::kAllWhitespace || first == Text::npos)
                    m.erase(std::remove(m.begin(), m.end(), ' '), m.end());
                else if (type != COBString::kLeadingWhitespace)
                    m.erase(last + 1);
                if (type < COBString::kAllWhitespace && type != COBString::kTrailingWhitespace)
                    m.erase(0, std::min(first, m.size()));
                return "StripWhiteSpace";
            }
            return "nothing";
        case 9: {
            // A clone and a handle's copy are whole, or none without memory;
            // a UTF-16 copy or assignment stops at the first 0 unit. All are
            // independent, and self-assignment changes nothing.
            long long refused = ombra_test::Stats().refused;
            IOBStringPtr handle(s.Clone());
            IOBStringPtr copy(handle);
            S copied(s), assigned;
            assigned = s;
            EXPECT_TRUE(copy.IsValid() || ombra_test::Stats().refused != refused);
            if (copy.IsValid()) {
                EXPECT_EQ(Of(*static_cast<S*>(copy.GetPtr())), m);
            }
            if (ombra_test::Stats().refused == refused) {
                Text shown = std::is_same<S, COBString>::value ? m : ToNul(m);
                EXPECT_TRUE(Of(copied) == shown && Of(assigned) == shown);
            }
            copied.Clear();
            handle.IsValid() ? handle->Clear() : void();
            s = static_cast<const S&>(s);
            return "copies";
        }
        default:
            if (p >= 0 && p <= size) {
                if constexpr (std::is_same<S, COBString>::value)
                    s.SetCString(s.GrabCString() + p); // from its own text
                else
                    s.SetWString(s.GrabWString() + p);
                m = ToNul(m.substr(at));
            }
            return "set from its own text";
        }
        EXPECT_EQ(threw, insert && p < 0);
        if (!threw) m.insert(insert ? at : m.size(), added);
        return insert ? "Insert" : "Append";
    }

    std::mt19937 rng_;
    std::vector<Text> pieces_;
    long long refused_ = 0;
};

TEST_F(Strings, EditsAndSearchesFollowAModelOfTheTextWhateverMemoryRemains) {
    auto narrow = [](unsigned seed, int steps) {
        return StringModel<COBString, std::string>(seed, {"a", "B", " ", "1", "\xE9", {'\0'}})
            .Run(steps);
    };
    auto wide = [](unsigned seed, int steps) {
        return StringModel<WOBString, std::u16string>(
                   seed, {u"a", u"B", u" ", u"\u65E5", u"\U0001F600", {u'\0'}})
            .Run(steps);
    };
    for (unsigned seed = 1; seed <= 40; ++seed) {
        ASSERT_TRUE(narrow(seed, 300)) << "seed " << seed;
        ASSERT_TRUE(wide(seed, 300)) << "seed " << seed;
    }
    EXPECT_GT(ombra_test::SweepAllocationFailures([&] { return narrow(3, 60); }), 10);
    EXPECT_GT(ombra_test::SweepAllocationFailures([&] { return wide(3, 60); }), 10);
}

TEST_F(Strings, SettersLeaveTheTextForNullOrEmptySourcesAndPascalStringsHoldUpTo255) {
    COBString c("keep", WSE::kRomanScript);
    c.SetCString(nullptr);
    c.SetWString(Ptr(u""));
    c.SetXString(Ptr(u"abc"), 0);
    c.SetWAsCString(nullptr);
    EXPECT_EQ(Of(c), "keep");
    const unsigned char pascal[] = {3, 'x', 'y', 'z', 'w'};
    c.SetPString(pascal);
    c.SetPString(nullptr);
    EXPECT_EQ(Of(c), "xyz");
    c.SetCString("");
    EXPECT_TRUE(c.IsNull());
    c.SetHexChar(0);
    EXPECT_EQ(c.Length(), 1);
    std::string pascal300(400, '\0');
    COBString(std::string(300, 'q').c_str(), WSE::kRomanScript)
        .GetPString(reinterpret_cast<unsigned char*>(&pascal300[0]), 400);
    EXPECT_EQ(static_cast<unsigned char>(pascal300[0]), 255);

    WOBString w(Ptr(u"keep"));
    w.SetCString("");
    w.SetWString(nullptr);
    w.SetXString("abc", 0);
    w.SetCAsWString(nullptr);
    EXPECT_EQ(Of(w), u"keep");
    w.SetWString(Ptr(u""));
    EXPECT_TRUE(w.IsNull());
    w.SetXString("a\0b", 3); // the translation counts up to its first 0 unit
    EXPECT_EQ(Of(w), u"a");
    w.SetX16String(Ptr(u"a\0b"), 3);
    EXPECT_EQ(w.Length(), 3);
    w.SetHexChar(0xE9);
    EXPECT_EQ(Of(w), u"\u00E9");
}

// ---- Translation between the kinds -----------------------------------------

TEST_F(Strings, EightBitTextTranslatesWithItsScript) {
    COBString japanese("\x93\xFA\x96\x7B", WSE::kJapaneseScript);
    EXPECT_EQ(U16(japanese.GrabWString()), u"\u65E5\u672C");
    COBString same("\x93\xFA\x96\x7B", WSE::kRomanScript);
    EXPECT_EQ(U16(same.GrabWString()), u"\u201C\u00FA\u2013{");

    COBString cyrillic(WSE::kCyrillicScript);
    cyrillic.SetWString(Ptr(u"\u041C\u0438\u0440"));
    EXPECT_EQ(Of(cyrillic), "\xCC\xE8\xF0");
    cyrillic.Append(static_cast<unsigned short>(0x65E5)); // no bytes for it in Cyrillic
    cyrillic.AppendWAsCString(Ptr(u"\u0430\0\u0431"), 3); // stops at the 0 unit
    EXPECT_EQ(Of(cyrillic), "\xCC\xE8\xF0?\xE0");
    cyrillic.SetXString(Ptr(u"\U0001F600"), 2);
    EXPECT_EQ(Of(cyrillic), "?");
}

TEST_F(Strings, RenderingsAreMadeOnceAndRenewedAfterAChange) {
    COBString c("\x93\xFA", WSE::kJapaneseScript);
    EXPECT_EQ(U16(c.GrabWString()), u"\u65E5");
    c.Append("\x96\x7B", 2);
    EXPECT_EQ(U16(c.GrabWString()), u"\u65E5\u672C");

    // Write access alone keeps the rendering (and pointers to it); writing
    // through the own bytes is seen by the next rendering.
    const unsigned short* before = c.GrabWString();
    c.GrabCString();
    EXPECT_EQ(c.GrabWString(), before);
    c.GrabCString()[0] = 'A';
    c.GrabCString()[1] = 'B';
    EXPECT_EQ(U16(c.GrabWString()), u"AB\u672C");

    // A WOBString keeps its first rendering whatever script is asked later.
    WOBString w(Ptr(u"\u65E5\u672C"));
    const char* sjis = w.GrabAsCString(WSE::kJapaneseScript, CPGE::kCodePageFromScript);
    EXPECT_STREQ(sjis, "\x93\xFA\x96\x7B");
    EXPECT_EQ(w.GrabAsCString(WSE::kCyrillicScript, CPGE::kCodePageFromScript), sjis);
    w[1] = w[1];
    EXPECT_EQ(w.GrabAsCString(WSE::kJapaneseScript, CPGE::kCodePageFromScript), sjis);
    w[0] = 0x8A9E;
    EXPECT_STREQ(w.GrabAsCString(WSE::kJapaneseScript, CPGE::kCodePageFromScript),
                 "\x8C\xEA\x96\x7B");
    w.Append(static_cast<unsigned short>(u'!'));
    EXPECT_STREQ(w.GrabCString(), "?\?!"); // the system script is Windows-1252 here
}

TEST_F(Strings, MixedKindsConvertIntoTheTargetsForm) {
    WOBString w("caf\xE9"); // 8-bit text for a WOBString is in the system script
    w.Append('\xE9');       // a single char is widened with its sign
    EXPECT_EQ(Of(w), u"caf\u00E9\uFFE9");
    w.Clear();
    w.AppendTranslate("\xCF", 1, WSE::kCyrillicScript);
    w.AppendTranslate(nullptr, 1, WSE::kCyrillicScript);
    COBString japanese("\x93\xFA", WSE::kJapaneseScript);
    w.Append(japanese);
    EXPECT_EQ(Of(w), u"\u041F\u65E5");

    COBString cyrillic("a", WSE::kCyrillicScript);
    cyrillic.Append(WOBString(Ptr(u"\u041F\u0440")));
    EXPECT_EQ(Of(cyrillic), "a\xCF\xF0");
    static_cast<IOBString&>(cyrillic) = WOBString(Ptr(u"\u0416")); // keeps its script
    EXPECT_EQ(Of(cyrillic), "\xC6");
    static_cast<IOBString&>(cyrillic) = WOBString();
    EXPECT_TRUE(cyrillic.IsNull());
    static_cast<IOBString&>(cyrillic) = japanese;
    EXPECT_EQ(cyrillic.GetWSEScript(), WSE::kJapaneseScript);
    EXPECT_EQ(Of(cyrillic), "\x93\xFA");
    // Searches read the other kind through its translation.
    EXPECT_TRUE(COBString("abc", WSE::kRomanScript)
                    .Contains(static_cast<const IOBString&>(WOBString(Ptr(u"bc")))));
    EXPECT_TRUE(WOBString(Ptr(u"\u65E5a"))
                    .Contains(static_cast<const IOBString&>(COBString("a", WSE::kRomanScript))));
}

// ---- IOBStringPtr ----------------------------------------------------------

TEST_F(Strings, HandlesCopyDeeply) {
    IOBStringPtr wide(true);
    wide->SetWString(Ptr(u"\u65E5"));
    IOBStringPtr copy(wide);
    ASSERT_TRUE(copy.IsValid());
    EXPECT_EQ(copy->IsUnicode(), 1);
    EXPECT_TRUE(copy == wide);
    copy->Append(static_cast<unsigned short>(u'x'));
    EXPECT_EQ(wide->Length(), 1);

    IOBStringPtr narrow(new COBString("n", WSE::kHebrewScript));
    IOBStringPtr empty;
    narrow = empty; // a handle holding nothing changes nothing
    ASSERT_TRUE(narrow.IsValid());
    const IOBStringPtr& same = narrow;
    narrow = same;
    copy = narrow;
    ASSERT_TRUE(copy.IsValid());
    EXPECT_EQ(static_cast<COBString*>(copy.GetPtr())->GetWSEScript(), WSE::kHebrewScript);
    copy = static_cast<const IOBString*>(nullptr);
    EXPECT_FALSE(copy.IsValid());
    EXPECT_FALSE(narrow == copy);

    narrow = narrow.GetPtr(); // a copy of its own string
    EXPECT_STREQ(narrow->GrabCString(), "n");
    IOBStringPtr taken;
    taken.Release(narrow);
    EXPECT_FALSE(narrow.IsValid());
    EXPECT_STREQ(taken->GrabCString(), "n");
}

// ---- Without a text service or memory ---------------------------------------

TEST(StringsWithoutService, ConversionsProduceNothingUntilAServiceIsThere) {
    std::thread([] {
        COBString c("\xE9", WSE::kRomanScript);
        EXPECT_EQ(U16(c.GrabWString()), u"");
        WOBString w(Ptr(u"\u00E9"));
        EXPECT_STREQ(w.GrabCString(), "");
        COBString keep("keep", WSE::kRomanScript);
        keep.SetWString(Ptr(u"new"));
        EXPECT_EQ(Of(keep), "keep");

        OBLumHandler::SetLumService(new OBConvertorLumService);
        EXPECT_EQ(U16(c.GrabWString()), u"\u00E9"); // the failure was not kept
        EXPECT_STREQ(w.GrabCString(), "\xE9");
    }).join();
}

} // namespace
