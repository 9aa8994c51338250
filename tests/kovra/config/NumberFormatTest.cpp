#include "kovra/config/NumberFormat.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <locale>
#include <stdexcept>
#include <string>

#include "kovra/config/IniDocument.h"

namespace kovra {
namespace {

TEST(NumberFormat, GeneralNotationWithSixDigits) {
    EXPECT_EQ(formatNumber(0.075f), "0.075");
    EXPECT_EQ(formatNumber(-70.0f), "-70");
    EXPECT_EQ(formatNumber(1.0f), "1");
    EXPECT_EQ(formatNumber(0.00001f), "1e-05");
    EXPECT_EQ(formatNumber(1234567.0f), "1.23457e+06");
    EXPECT_EQ(formatNumber(123456.0f), "123456");
    EXPECT_EQ(formatNumber(-0.1f), "-0.1");
}

TEST(NumberFormat, ExtractionReadsLikeAStream) {
    std::string_view text = "  1.5 +3e2 x";
    float a = 0, b = 0;
    ASSERT_TRUE(extractNumber(text, a) && extractNumber(text, b));
    EXPECT_EQ(a, 1.5f);
    EXPECT_EQ(b, 300.0f);
    for (const char* bad : {" x", "", "inf", "-nan", "+-1", ".", "1e39"}) {
        std::string_view v = bad;
        float f = 7.0f;
        EXPECT_FALSE(extractNumber(v, f)) << bad;
        EXPECT_EQ(f, 7.0f) << bad;
        EXPECT_EQ(v, bad) << "a failed read consumes nothing";
    }
    std::string_view integer = "12.7", tooBig = "2147483648";
    std::int32_t i = 0;
    ASSERT_TRUE(extractInteger(integer, i));
    EXPECT_EQ(i, 12);
    EXPECT_EQ(integer, ".7");
    EXPECT_FALSE(extractInteger(tooBig, i));
    std::string_view negative = "-1";
    std::uint32_t u = 5;
    EXPECT_FALSE(extractUnsigned(negative, u));
}

// Installs a process locale for the test's duration, for C++ streams and C.
class GlobalLocale {
public:
    explicit GlobalLocale(const std::locale& locale, const char* cName = nullptr)
        : oldLocale_(std::locale::global(locale)), oldC_(std::setlocale(LC_ALL, nullptr)) {
        if (cName != nullptr) std::setlocale(LC_ALL, cName);
    }
    ~GlobalLocale() {
        std::locale::global(oldLocale_);
        std::setlocale(LC_ALL, oldC_.c_str());
    }
    GlobalLocale(const GlobalLocale&) = delete;
    GlobalLocale& operator=(const GlobalLocale&) = delete;

private:
    std::locale oldLocale_;
    std::string oldC_;
};

// Writes and reads numbers through a document under the locale in force.
void expectLocaleIndependent() {
    EXPECT_EQ(formatNumber(0.075f), "0.075");
    EXPECT_EQ(formatNumber(1234567.0f), "1.23457e+06");

    IniDocument document;
    document.parse("[S]\nA = 0.075 1,5 -2.5e-3\n");
    Vector3 v;
    ASSERT_TRUE(document.sections()[0].getVector("A", v));
    EXPECT_FLOAT_EQ(v.x, 0.075f);
    EXPECT_FLOAT_EQ(v.y, 1.0f);  // the comma separates, it is no decimal point
    EXPECT_FLOAT_EQ(v.z, 5.0f);
    ASSERT_TRUE(document.setVector("S", "B", Vector3(-0.5f, 1000.25f, 1e-5f)));
    EXPECT_EQ(document.text(), "[S]\nA = 0.075 1,5 -2.5e-3\nB = -0.5 1000.25 1e-05\n");
}

struct CommaDecimal : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

TEST(NumberFormat, IndependentOfACommaDecimalStreamLocale) {
    GlobalLocale guard(std::locale(std::locale::classic(), new CommaDecimal));
    expectLocaleIndependent();
}

TEST(NumberFormat, IndependentOfTheGermanLocale) {
    std::locale german;
    try {
        german = std::locale("de_DE.UTF-8");
    } catch (const std::runtime_error&) {
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed (Debian package locales-all); "
                        "the classic and comma-decimal cases above still ran";
    }
    GlobalLocale guard(german, "de_DE.UTF-8");
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", 0.5);
    ASSERT_STREQ(buffer, "0,5") << "the German C locale did not take effect";
    expectLocaleIndependent();
}

}  // namespace
}  // namespace kovra
