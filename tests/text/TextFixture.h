// A fixture that gives the test's thread the core's text service and takes
// it away afterwards, so that suites without one are unaffected.
#ifndef OMBRA_TESTS_TEXT_FIXTURE_H
#define OMBRA_TESTS_TEXT_FIXTURE_H

#include <ombra/convertorlumservice.h>
#include <ombra/textservice.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace ombra_test {

class WithTextService : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(OBLumHandler::GetLumService(), nullptr) << "a service leaked from another test";
        service_ = new OBConvertorLumService;
        ASSERT_NE(service_, nullptr);
        OBLumHandler::SetLumService(service_);
        ASSERT_EQ(OBLumHandler::GetLumService(), service_);
    }
    void TearDown() override {
        if (OBLumHandler::GetLumService() == service_) OBLumHandler::ResetLumService();
        delete service_;
    }
    OBConvertorLumService* service_ = nullptr;
};

inline std::u16string U16(const unsigned short* units, long long n) {
    return std::u16string(units, units + n);
}

inline std::u16string U16(const unsigned short* units) {
    std::u16string s;
    while (units && *units)
        s.push_back(static_cast<char16_t>(*units++));
    return s;
}

inline const unsigned short* Ptr(const std::u16string& s) {
    return reinterpret_cast<const unsigned short*>(s.c_str());
}

/// The rows of one table in tests/data/<file>: tab-separated fields,
/// the first naming the table (left out of the row); '#' starts a comment.
inline std::vector<std::vector<std::string>> ReadTable(const std::string& file,
                                                       const std::string& table) {
    std::ifstream in(std::string(OMBRA_TEST_DATA_DIR) + "/" + file);
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, '\t');)
            fields.push_back(field);
        if (fields.size() > 1 && fields[0] == table)
            rows.emplace_back(fields.begin() + 1, fields.end());
    }
    EXPECT_FALSE(rows.empty()) << table << " in " << file;
    return rows;
}

/// The code points of a table's field: \xHH, \uHHHH and \UHHHHHHHH escapes
/// and \\, else the field's own bytes.
inline std::u32string Decode(const std::string& field) {
    std::u32string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        char kind = field[i] == '\\' && i + 1 < field.size() ? field[i + 1] : 0;
        std::size_t digits = kind == 'x' ? 2 : kind == 'u' ? 4 : kind == 'U' ? 8 : 0;
        if (digits) {
            out += char32_t(std::stoul(field.substr(i + 2, digits), nullptr, 16));
            i += digits + 1;
        } else {
            out += char32_t(static_cast<unsigned char>(field[i]));
            i += kind == '\\';
        }
    }
    return out;
}

/// A field as bytes (each code point one byte) and as UTF-16 units.
inline std::string BytesOf(const std::string& field) {
    std::u32string points = Decode(field);
    return std::string(points.begin(), points.end());
}
inline std::u16string UnitsOf(const std::string& field) {
    std::u16string out;
    for (char32_t c : Decode(field)) {
        if (c > 0xFFFF) out += char16_t(0xD7C0 + (c >> 10));
        out += char16_t(c > 0xFFFF ? 0xDC00 | (c & 0x3FF) : c);
    }
    return out;
}

} // namespace ombra_test

#endif
