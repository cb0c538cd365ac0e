// The manual page stays true to the program: every option the usage text offers is described.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

std::string usage_text() {
    std::string text;
    FILE* pipe = popen("timeout 20 " KESTO_BINARY " -h -a 0 </dev/null", "r");
    if (!pipe) return text;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) text.append(chunk, n);
    pclose(pipe);
    return text;
}

// The manual writes a hyphen as "\-" so that it is not typeset as a dash.
std::string plain_manual() {
    std::ifstream in(KESTO_SOURCE_DIR "/doc/kesto.1");
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string text = buffer.str();
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '-') continue;
        plain += text[i];
    }
    return plain;
}

}  // namespace

TEST(ManualPage, DescribesEveryOptionOfTheUsageText) {
    const std::string usage = usage_text();
    const std::string manual = plain_manual();
    ASSERT_FALSE(manual.empty());

    // Option lines of the usage text begin with two blanks and the option word.
    std::set<std::string> options;
    const std::regex option_line(R"(^  (--?[A-Za-z]+))");
    std::istringstream lines(usage);
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (std::regex_search(line, match, option_line)) options.insert(match[1]);
    }
    ASSERT_GE(options.size(), 18u) << usage;
    for (const std::string& option : options) {
        const std::regex described("(^|[^A-Za-z-])" + option + "([^A-Za-z]|$)");
        EXPECT_TRUE(std::regex_search(manual, described)) << option << " is not in the manual page";
    }
}

TEST(ManualPage, NamesEveryActionLetter) {
    const std::string manual = plain_manual();
    for (const char* action : {"\n.B e\n", "\n.B b\n", "\n.B p\n", "\n.B v\n", "\n.B i\n", "\n.B x\n",
                               "\n.B o\n", "\n.B fuse\n", "+r"})
        EXPECT_NE(manual.find(action), std::string::npos) << action;
}
