// Numbers in files read the same whatever C locale the host has set: a host
// running with a decimal comma still gets 1.5 from "1.5", and keeps its
// locale.
#include <clocale>
#include <cstdlib>
#include <string>

#include "support/api_fixture.h"
#include "support/cannot_run.h"

namespace kivanime::test {
namespace {

using NumberLocale = ApiTest;

TEST_F(NumberLocale, DecimalCommaLocaleDoesNotChangeNumbers) {
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    bool comma = false;
    for (const char* name :
         {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "German_Germany.1252"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr && std::strtod("1,5", nullptr) == 1.5) {
            comma = true;
            break;
        }
    }
    if (!comma) {
        std::setlocale(LC_NUMERIC, saved.c_str());
        KIVANIME_CANNOT_RUN_HERE() << "no decimal-comma locale (de_DE.UTF-8) is installed";
    }
    loadModel("m", R"({"textures": {"t": "t.png"}, "parts": [{"texture": "t",
        "position": [1.5, -2.25e1], "alpha": 0.75, "srcRect": [1, 0, 0, 0]}]})");
    run("new m; u 16");
    const bool stillComma = std::strtod("1,5", nullptr) == 1.5;
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_TRUE(stillComma);              // the host's locale is left as it was
    run("1.x 1.5; 1.y -22.5; 1.a 0.75");  // the script reads its numbers in the C locale
}

}  // namespace
}  // namespace kivanime::test
