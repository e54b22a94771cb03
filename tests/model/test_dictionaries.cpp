// DictElements and DictAttrs: element-kind and attribute names, both ways.
#include <ombra/elements.h>
#include <ombra/strings.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string NameOfKind(int kind, bool* found = nullptr) {
    COBString name("stale");
    bool ok = DictElements::GetStringById(static_cast<EL::ElementTypeEnum>(kind), name);
    if (found) *found = ok;
    return name.GrabCString();
}

int KindOfName(const char* text, bool* found = nullptr) {
    EL::ElementTypeEnum id = EL::kPublication;
    bool ok = DictElements::GetIdByString(COBString(text), id);
    if (found) *found = ok;
    return id;
}

std::string NameOfAttr(int attr) {
    COBString name("stale");
    DictAttrs::GetStringByNameId(static_cast<AN::AttrNameEnum>(attr), name);
    return name.GrabCString();
}

int AttrOfName(const char* text) {
    AN::AttrNameEnum id = AN::kName;
    DictAttrs::GetNameIdByString(COBString(text), id);
    return id;
}

TEST(DictElements, NamesOfKinds) {
    bool found = false;
    EXPECT_EQ(NameOfKind(163, &found), "Publication");
    EXPECT_TRUE(found);
    EXPECT_EQ(NameOfKind(0), "AdjustLayoutPreferences");
    EXPECT_EQ(NameOfKind(43), "CommomMarginPropertiesBlock");
    EXPECT_EQ(NameOfKind(227), "YIQ");
    EXPECT_EQ(NameOfKind(229), "FreeLine");
    EXPECT_EQ(NameOfKind(231), "FreeLinePath");
    EXPECT_EQ(NameOfKind(232, &found), "KinsokuTableList");
    EXPECT_TRUE(found);
    for (int unnamed : {228, 233, 234, -1, -233, 100000}) {
        EXPECT_EQ(NameOfKind(unnamed, &found), "UNDEFINED") << unnamed;
        EXPECT_FALSE(found) << unnamed;
    }
}

TEST(DictElements, KindsOfNamesIgnoreLetterCase) {
    bool found = false;
    EXPECT_EQ(KindOfName("publication", &found), 163);
    EXPECT_TRUE(found);
    EXPECT_EQ(KindOfName("PUBLICATION"), 163);
    EXPECT_EQ(KindOfName("Publicatio", &found), 233);
    EXPECT_FALSE(found);
    EXPECT_EQ(KindOfName("Publications"), 233);
    EXPECT_EQ(KindOfName(""), 233);
    EXPECT_EQ(KindOfName("UNDEFINED"), 233);
    // The repeated name finds its first slot.
    EXPECT_EQ(KindOfName("kinsokutablelist", &found), 120);
    EXPECT_TRUE(found);

    // Every named kind comes back from its name.
    for (int kind = 0; kind <= 231; ++kind) {
        if (kind == 228) continue;
        EXPECT_EQ(KindOfName(NameOfKind(kind).c_str()), kind) << kind;
    }
}

TEST(DictAttrs, NamesOfAttributes) {
    EXPECT_EQ(NameOfAttr(41), "Name");
    EXPECT_EQ(NameOfAttr(0), "AdjustLayoutForColumns");
    EXPECT_EQ(NameOfAttr(93), "NumberofSteps");
    EXPECT_EQ(NameOfAttr(973), OBAttrNameString(static_cast<AN::AttrNameEnum>(973)));
    for (int unnamed : {974, 977, 978, 979, -1, 5000})
        EXPECT_EQ(NameOfAttr(unnamed), "UNDEFINED") << unnamed;
}

TEST(DictAttrs, AttributesOfNamesRespectLetterCase) {
    EXPECT_EQ(AttrOfName("Name"), 41);
    EXPECT_EQ(AttrOfName("name"), 978);
    EXPECT_EQ(AttrOfName("NAME"), 978);
    EXPECT_EQ(AttrOfName("Levelnorestart"), AN::kLevelnorestart);
    EXPECT_EQ(AttrOfName("LevelNoRestart"), 978);
    EXPECT_EQ(AttrOfName(""), 978);
    EXPECT_EQ(AttrOfName("UNDEFINED"), 978);

    // Every name leads to the first attribute that carries it.
    for (int attr = 0; attr <= 973; ++attr) {
        std::string name = NameOfAttr(attr);
        int found = AttrOfName(name.c_str());
        EXPECT_LE(found, attr) << name;
        EXPECT_EQ(NameOfAttr(found), name);
    }
}

} // namespace
