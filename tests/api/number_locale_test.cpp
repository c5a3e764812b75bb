// Numbers in files read the same whatever C locale the host has set: a host
// running with a decimal comma still gets 1.5 from "1.5".
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/api_fixture.h"
#include "support/cannot_run.h"

namespace kivanime::test {
namespace {

class NumberLocale : public ApiTest {
protected:
    void SetUp() override {
        ApiTest::SetUp();
        const char* previous = std::setlocale(LC_NUMERIC, nullptr);
        saved_ = previous ? previous : "C";
        for (const char* name :
             {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "German_Germany.1252"}) {
            if (TrySet(name)) {
                return;
            }
        }
#if defined(__linux__)
        // No such locale installed: build a tiny one holding only the numeric
        // rules (a few milliseconds) and point the C library at it.
        const std::string folder = dir_ + "locales";
        const std::string source = writeFile("comma.def",
                                             "LC_NUMERIC\ndecimal_point \"<U002C>\"\n"
                                             "thousands_sep \"<U002E>\"\ngrouping 3;3\n"
                                             "END LC_NUMERIC\n");
        std::filesystem::create_directories(folder);
        const std::string command = "localedef -c -i '" + source + "' -f ANSI_X3.4-1968 '" +
                                    folder + "/kivanime_comma' >/dev/null 2>&1";
        if (std::system(command.c_str()) != -1) {
            const char* locpath = std::getenv("LOCPATH");
            hadLocpath_ = locpath != nullptr;
            savedLocpath_ = locpath ? locpath : "";
            setenv("LOCPATH", folder.c_str(), 1);
            setLocpath_ = true;
            TrySet("kivanime_comma");
        }
#endif
    }

    void TearDown() override {
        std::setlocale(LC_NUMERIC, saved_.c_str());
#if defined(__linux__)
        if (setLocpath_) {
            if (hadLocpath_) {
                setenv("LOCPATH", savedLocpath_.c_str(), 1);
            } else {
                unsetenv("LOCPATH");
            }
        }
#endif
        ApiTest::TearDown();
    }

    // True when `name` exists and really reads numbers with a comma.
    bool TrySet(const char* name) {
        if (std::setlocale(LC_NUMERIC, name) == nullptr) {
            return false;
        }
        if (std::strtod("1,5", nullptr) == 1.5 && std::strtod("1.5", nullptr) == 1.0) {
            commaLocale_ = true;
            return true;
        }
        std::setlocale(LC_NUMERIC, saved_.c_str());
        return false;
    }

    bool commaLocale_ = false;
    std::string saved_;
    std::string savedLocpath_;
    bool hadLocpath_ = false;
    bool setLocpath_ = false;
};

TEST_F(NumberLocale, DecimalCommaLocaleDoesNotChangeNumbers) {
    if (!commaLocale_) {
        KIVANIME_CANNOT_RUN_HERE() << "no decimal-comma locale available";
    }
    loadModel("m", R"({"textures": {"t": "t.png"}, "parts": [{"texture": "t",
        "position": [1.5, -2.25e1], "alpha": 0.75, "anchor": [0.125, 1E-1]}]})");
    Anime_CreateInstance("m");
    updateAndRender(16.0f);
    ASSERT_EQ(host().draws.size(), 1u);
    const AnimeDrawParams& d = host().draws[0];
    EXPECT_EQ(d.x, 1.5f);
    EXPECT_EQ(d.y, -22.5f);
    EXPECT_EQ(d.alpha, 0.75f);
    EXPECT_EQ(d.anchorX, 0.125f);
    EXPECT_EQ(d.anchorY, 0.1f);
    // The host's locale is left as it was.
    EXPECT_EQ(std::strtod("1,5", nullptr), 1.5);
}

}  // namespace
}  // namespace kivanime::test
