// The pages of README.md and docs/ as a newcomer uses them: every ```c and
// ```csharp block is a complete program that compiles as written, every
// kivanime-player and kivanime-lint command of a ```sh block runs against the
// sample puppet and ends as the page says, and a number the prose quotes from
// a table of its own page is the table's. New blocks and commands are checked
// as soon as a page shows them; how a page marks the exceptions is described
// in README.md ("The docs are tested").
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/cannot_run.h"
#include "support/run_program.h"
#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;
using kivanime::test::ProgramRun;
using kivanime::test::RunProgram;
using kivanime::test::ScratchDir;
using kivanime::test::ShellQuote;

const fs::path kTop = KIVANIME_SOURCE_DIR;

struct Page {
    std::string name;  // as messages name it: README.md, docs/player.md
    std::vector<std::string> lines;
};

// A fenced block's text, which starts on page line `line`.
struct Block {
    const Page* page;
    int line;
    std::string text;
};

const std::vector<Page>& Pages() {
    static const std::vector<Page> pages = [] {
        std::vector<fs::path> files(fs::directory_iterator(kTop / "docs"), {});
        std::erase_if(files, [](const fs::path& file) { return file.extension() != ".md"; });
        std::sort(files.begin(), files.end());
        files.insert(files.begin(), kTop / "README.md");
        std::vector<Page> read;
        for (const fs::path& file : files) {
            read.push_back({fs::relative(file, kTop).generic_string(), {}});
            std::ifstream in(file);
            for (std::string line; std::getline(in, line);) {
                read.back().lines.push_back(line);
            }
        }
        return read;
    }();
    return pages;
}

// The blocks whose opening fence names `language`, but for those marked as
// excerpts.
std::vector<Block> Blocks(const std::string& language) {
    std::vector<Block> blocks;
    for (const Page& page : Pages()) {
        const std::vector<std::string>& lines = page.lines;
        for (size_t open = 0; open < lines.size(); ++open) {
            if (!lines[open].starts_with("```")) {
                continue;
            }
            const bool wanted = lines[open].substr(3, lines[open].find(' ') - 3) == language &&
                                (open == 0 || lines[open - 1] != "<!-- fragment -->");
            Block block{&page, static_cast<int>(open) + 2, ""};
            for (++open; open < lines.size() && lines[open] != "```"; ++open) {
                block.text += lines[open] + "\n";
            }
            if (wanted) {
                blocks.push_back(block);
            }
        }
    }
    return blocks;
}

// Compiles every block in `language` that is not a fragment; the source
// keeps the page's line numbers, so a compiler's message points into the page.
void CompileEvery(const std::string& language,
                  const std::function<ProgramRun(const fs::path& source)>& compile) {
    const ScratchDir dir("kivanime_docs_" + language);
    const std::vector<Block> blocks = Blocks(language);
    for (size_t i = 0; i < blocks.size(); ++i) {
        const Block& block = blocks[i];
        const fs::path source = dir / (std::to_string(i) + (language == "c" ? ".c" : ".cs"));
        std::ofstream(source) << "#line " << block.line << " \""
                              << (kTop / block.page->name).string() << "\"\n"
                              << block.text;
        const ProgramRun run = compile(source);
        EXPECT_EQ(run.exitCode, 0)
            << block.page->name << ":" << block.line << ": this ```" << language
            << " block does not compile on its own (an "
            << "excerpt takes the line <!-- fragment --> before its fence):\n"
            << run.out << run.err;
    }
    EXPECT_FALSE(blocks.empty()) << "no ```" << language << " program found: the reader lost them";
}

TEST(DocPrograms, EveryCBlockCompilesAgainstThePublicHeader) {
    CompileEvery("c", [](const fs::path& source) {
        const fs::path dir = source.parent_path();
        return RunProgram(KIVANIME_C_COMPILER,
                          {"-std=c99", "-Wall", "-Wextra", "-Wpedantic", "-Werror",
                           "-I" + (kTop / "include").string(), source.string(),
                           KIVANIME_LIBRARY_FILE, "-o", (dir / "program").string()},
                          dir / "run");
    });
}

// The bindings promise any C# from 6 on; so does every program shown with
// them, which sees only their public surface, as a game's code does.
TEST(DocPrograms, EveryCSharpBlockCompilesWithTheBindings) {
    if (std::string(KIVANIME_MCS).empty()) {
        KIVANIME_CANNOT_RUN_HERE() << "mcs is missing (scripts/install-deps.sh csharp)";
    }
    const ScratchDir dir("kivanime_docs_bindings");
    const std::string library = (dir / "Kivanime.dll").string();
    std::vector<std::string> args = {"-nologo", "-warnaserror+", "-langversion:6",
                                     "-target:library", "-out:" + library};
    std::istringstream sources(KIVANIME_CSHARP_SOURCES);
    for (std::string source; std::getline(sources, source, '|');) {
        args.push_back(source);
    }
    const ProgramRun bindings = RunProgram(KIVANIME_MCS, args, dir / "run");
    ASSERT_EQ(bindings.exitCode, 0) << bindings.out << bindings.err;
    CompileEvery("csharp", [&library](const fs::path& source) {
        return RunProgram(
            KIVANIME_MCS,
            {"-nologo", "-warnaserror+", "-langversion:6", "-r:" + library,
             "-out:" + (source.parent_path() / "program.exe").string(), source.string()},
            source.parent_path() / "run");
    });
}

// The command lines of ```sh blocks whose program is the player or the lint,
// by any path (a build folder's, the installed one), continuation lines
// joined, each expected to end with the status its "# exit N" comment gives,
// else 0. Each runs through the shell (wildcards expand as for a user) in a
// fresh folder holding examples/, with the built programs first on the PATH.
// The table of commands, with the statuses they ended with, is printed.
TEST(DocCommands, EveryPlayerAndLintCommandEndsAsThePageSays) {
    if (std::string(KIVANIME_PLAYER_EXE).empty()) {
        KIVANIME_CANNOT_RUN_HERE() << "kivanime-player was not built (it needs libpng and giflib: "
                                      "scripts/install-deps.sh demo)";
    }
    static const std::regex tool(R"(^\s*(\S*/)?(kivanime-(player|lint)(\s.*)?)$)");
    static const std::regex status(R"( #\s*exit\s+(\d+))");
    const ScratchDir dir("kivanime_docs_commands");
    fs::create_directories(dir / "bin");
    fs::create_symlink(KIVANIME_PLAYER_EXE, dir / "bin/kivanime-player");
    fs::create_symlink(KIVANIME_LINT_EXE, dir / "bin/kivanime-lint");
    int count = 0;
    for (const Block& block : Blocks("sh")) {
        std::istringstream in(block.text);
        int next = block.line;
        for (std::string text, command; std::getline(in, text);) {
            const std::string where = block.page->name + ":" + std::to_string(next++);
            for (command = text; command.ends_with("\\") && std::getline(in, text); ++next) {
                command.back() = ' ';
                command += text;
            }
            std::smatch words;
            if (!std::regex_match(command, words, tool)) {
                continue;
            }
            std::smatch code;
            const int expected = std::regex_search(command, code, status) ? std::stoi(code[1]) : 0;
            const fs::path work = dir / std::to_string(++count);
            fs::create_directories(work);
            fs::create_directory_symlink(kTop / "examples", work / "examples");
            const ProgramRun run = RunProgram(
                "sh",
                {"-c", "cd " + ShellQuote(work.string()) + " && PATH=" +
                           ShellQuote((dir / "bin").string()) + ":\"$PATH\" && " + words[2].str()},
                work / "run");
            std::cout << where << "  exit " << run.exitCode << " (expected " << expected << ")  "
                      << words[2] << "\n";
            EXPECT_EQ(run.exitCode, expected) << where << ": " << command << "\n"
                                              << run.out << run.err;
        }
    }
    EXPECT_GT(count, 5) << "the reader lost the commands";
}

// A number the prose quotes from a table of its page is followed by
// <!-- table: ROW | COLUMN -->: it must equal the last number of the cell in
// the column headed COLUMN of the one row whose first cell is ROW, or starts
// with ROW and a blank.
TEST(DocNumbers, NumbersQuotedFromATableAgreeWithIt) {
    static const std::string kNumber = R"([0-9]+(?:,[0-9]{3})*(?:\.[0-9]+)?)";
    static const std::regex marker("(" + kNumber + ")[^0-9<]*<!-- table: (.+?) \\| (.+?) -->");
    static const std::regex number(kNumber + "(?!.*[0-9])");
    const auto value = [](std::string text) {
        std::erase(text, ',');
        return std::stod(text);
    };
    const auto cells = [](const std::string& row) {
        std::vector<std::string> split;
        for (size_t at = 1, bar; (bar = row.find('|', at)) != std::string::npos; at = bar + 1) {
            std::string cell = std::regex_replace(row.substr(at, bar - at), std::regex("[`*]"), "");
            split.push_back(std::regex_replace(cell, std::regex("^ +| +$"), ""));
        }
        return split;
    };
    int quoted = 0;
    for (const Page& page : Pages()) {
        for (size_t at = 0; at < page.lines.size(); ++at) {
            const std::string& line = page.lines[at];
            for (std::sregex_iterator m(line.begin(), line.end(), marker), end; m != end; ++m) {
                const std::string row = (*m)[2], column = (*m)[3];
                std::vector<std::string> found, header;
                for (const std::string& text : page.lines) {
                    const std::vector<std::string> split = cells(text);
                    if (!text.starts_with("|") || header.empty()) {
                        header = text.starts_with("|") ? split : std::vector<std::string>{};
                        continue;
                    }
                    const size_t col =
                        std::find(header.begin(), header.end(), column) - header.begin();
                    if (col < split.size() &&
                        (split[0] == row || split[0].starts_with(row + " "))) {
                        found.push_back(split[col]);
                    }
                }
                const std::string where = page.name + ":" + std::to_string(at + 1);
                std::smatch cell;
                ASSERT_TRUE(found.size() == 1 && std::regex_search(found[0], cell, number))
                    << where << ": no one number in row \"" << row << "\", column \"" << column
                    << "\"";
                EXPECT_EQ(value((*m)[1]), value(cell[0]))
                    << where << ": the prose says " << (*m)[1] << ", the table " << found[0];
                ++quoted;
            }
        }
    }
    EXPECT_GT(quoted, 0) << "no quoted number found: the markers were lost";
}

}  // namespace
