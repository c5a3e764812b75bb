// The pages of README.md and docs/ as a newcomer uses them: every ```c and
// ```csharp block compiles, a whole program as written and an excerpt (a
// fragment) inside a wrapper that supplies what the page leaves out; every
// kivanime-player and kivanime-lint command of a ```sh block runs against the
// sample puppet and ends as the page says; and a number the prose quotes from
// a table of its own page is the table's. New blocks and commands are checked
// as soon as a page shows them; only a block whose marker states a reason is
// skipped. README.md ("The docs are tested") describes the markers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
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

// Compiles `source`, a whole program or a fragment in its wrapper.
using Compiler = std::function<ProgramRun(const fs::path& source, bool fragment)>;

struct Page {
    std::string name;  // as messages name it: README.md, docs/player.md
    std::vector<std::string> lines;
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

// A piece of source taken from a page, with the page line its text starts on.
struct Source {
    int line = 0;
    std::string text;
};

// A fenced block: a whole program, a fragment (compiled inside a wrapper,
// after its page's preamble and its own), or a block skipped for the reason
// its marker states.
struct Block {
    enum class Kind { kProgram, kFragment, kSkipped };
    const Page* page;
    Source source;
    Kind kind = Kind::kProgram;
    Source preamble;     // a fragment's own, from its marker
    std::string reason;  // why a skipped block is not checked
};

// The text of lines [from, to) of `page`, as a Source.
Source Lines(const Page& page, size_t from, size_t to) {
    Source source{static_cast<int>(from) + 1, ""};
    for (size_t at = from; at < to && at < page.lines.size(); ++at) {
        source.text += page.lines[at] + "\n";
    }
    return source;
}

// A #line directive pointing the compiler at `line` of `page`.
std::string LineMarker(int line, const Page& page) {
    return "#line " + std::to_string(line) + " \"" + (kTop / page.name).string() + "\"\n";
}

// Whether `block` is skipped; if so, says where and why.
bool Skipped(const Block& block) {
    if (block.kind == Block::Kind::kSkipped) {
        std::cout << block.page->name << ":" << block.source.line - 1
                  << "  skipped: " << block.reason << "\n";
    }
    return block.kind == Block::Kind::kSkipped;
}

// The preambles of `page` for `language`, in page order: the lines between
// "<!-- preamble LANGUAGE" and "-->".
std::vector<Source> PagePreambles(const Page& page, const std::string& language) {
    std::vector<Source> found;
    for (size_t open = 0; open < page.lines.size(); ++open) {
        if (page.lines[open] == "<!-- preamble " + language) {
            size_t close = open + 1;
            while (close < page.lines.size() && page.lines[close] != "-->") {
                ++close;
            }
            found.push_back(Lines(page, open + 1, close));
        }
    }
    return found;
}

// The blocks whose opening fence names `language`, each with what the line
// right before its fence makes of it.
std::vector<Block> Blocks(const std::string& language) {
    static const std::regex skipped("<!-- not (?:compiled|run): (.*\\S.*) -->");
    std::vector<Block> blocks;
    for (const Page& page : Pages()) {
        const std::vector<std::string>& lines = page.lines;
        for (size_t open = 0; open < lines.size(); ++open) {
            if (!lines[open].starts_with("```")) {
                continue;
            }
            const bool wanted = lines[open].substr(3, lines[open].find(' ') - 3) == language;
            size_t close = open + 1;
            while (close < lines.size() && lines[close] != "```") {
                ++close;
            }
            Block block{&page, Lines(page, open + 1, close), Block::Kind::kProgram, {}, ""};
            const std::string marker = open == 0 ? "" : lines[open - 1];
            std::smatch reason;
            if (marker == "<!-- fragment -->") {
                block.kind = Block::Kind::kFragment;
            } else if (std::regex_match(marker, reason, skipped)) {
                block.kind = Block::Kind::kSkipped;
                block.reason = reason[1];
            } else if (marker == "-->") {
                // "<!-- fragment" on a line of its own opens the block's
                // preamble, which ends with the "-->" right before the fence.
                size_t from = open - 1;
                while (from > 0 && !lines[from - 1].starts_with("<!--")) {
                    --from;
                }
                if (from > 0 && lines[from - 1] == "<!-- fragment") {
                    block.kind = Block::Kind::kFragment;
                    block.preamble = Lines(page, from, open - 1);
                }
            }
            if (wanted) {
                blocks.push_back(block);
            }
            open = close;
        }
    }
    return blocks;
}

// A fragment's source cut into top-level pieces: a preprocessor line, or the
// text up to a ';' outside brackets, or up to the '}' that closes a function
// or a statement's body (a declaration it is part of carries on: the tail of
// an if/else, do/while or try/catch is a statement piece of its own and lands
// right after its head in the body). Strings and comments are skipped over;
// each piece keeps the page line it starts on.
std::vector<Source> Pieces(const Source& source) {
    const std::string& text = source.text;
    std::vector<Source> pieces;
    size_t begin = 0;
    int line = source.line, beginLine = source.line, depth = 0;
    const auto cut = [&](size_t end) {
        pieces.push_back({beginLine, text.substr(begin, end - begin)});
        begin = end;
        beginLine = line;
    };
    for (size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        const bool startOfPiece = text.find_first_not_of(" \t\n", begin) == at;
        if (c == '\n') {
            ++line;
        } else if (text.compare(at, 2, "//") == 0 || (startOfPiece && c == '#')) {
            // A comment or a preprocessor line runs to the end of its line
            // (a preprocessor line is a piece of its own).
            at = std::min(text.find('\n', at), text.size()) - 1;
            if (c == '#') {
                cut(at + 1);
            }
        } else if (text.compare(at, 2, "/*") == 0) {
            const size_t end = std::min(text.find("*/", at + 2), text.size());
            line += static_cast<int>(std::count(text.begin() + at, text.begin() + end, '\n'));
            at = end + 1;
        } else if (c == '"' || c == '\'') {
            for (++at; at < text.size() && text[at] != c; ++at) {
                at += text[at] == '\\' ? 1 : 0;
            }
        } else if (c == '(' || c == '[' || c == '{') {
            ++depth;
        } else if (c == ')' || c == ']') {
            --depth;
        } else if (c == ';' && depth == 0) {
            cut(at + 1);
        } else if (c == '}' && --depth == 0) {
            static const std::regex partOf("^\\s*(typedef|struct|enum|union)\\b|^[^{]*=");
            if (!std::regex_search(text.substr(begin, at - begin), partOf)) {
                cut(at + 1);
            }
        }
    }
    if (text.find_first_not_of(" \t\n", begin) != std::string::npos) {
        cut(text.size());
    }
    return pieces;
}

// A piece's code without comments, blanks collapsed.
std::string Code(const std::string& text) {
    std::string code =
        std::regex_replace(text, std::regex(R"(//[^\n]*|/\*[^*]*\*+(?:[^/*][^*]*\*+)*/)"), " ");
    code = std::regex_replace(code, std::regex(R"(\s+)"), " ");
    return std::regex_replace(code, std::regex("^ | $"), "");
}

// Where a fragment's piece goes in its wrapper.
enum class Place { kFileScope, kMember, kBody };

Place PlaceOf(const std::string& language, const std::string& text) {
    const std::string code = Code(text);
    // A function (method) with its body: what comes before the first '{'
    // is a signature, not a statement's head or an initialiser.
    static const std::regex definition(
        R"(^(?!(if|for|foreach|while|switch|using|lock|fixed|catch|else|do|try|checked|unchecked|return|new)\b)[^={;]*\)\s*\{.*\}$)");
    if (language == "c") {
        // A declaration of a function with its types ("int32_t f(...);"),
        // a typedef, a static or extern declaration: wherever the body's
        // names and the file's functions both see them.
        static const std::regex top(
            R"(^(#|(typedef|static|extern)\b)|^(?!(return|else|case|goto|do)\b)[A-Za-z_][\w\s*]*[\s*]\w+\s*\([^=]*\);$)");
        return std::regex_search(code, top) || std::regex_match(code, definition)
                   ? Place::kFileScope
                   : Place::kBody;
    }
    static const std::regex directive(R"(^using\s+[\w.]+\s*(=\s*[\w.<>, ]+)?;$)");
    static const std::regex member(
        R"(^(\[|(public|private|protected|internal|static|const|readonly|abstract|sealed|partial|extern|override|virtual|class|struct|interface|enum|delegate)\b))");
    return std::regex_match(code, directive) ? Place::kFileScope
           : std::regex_search(code, member) || std::regex_match(code, definition) ? Place::kMember
                                                                                   : Place::kBody;
}

// The source a fragment compiles as: the header (C) or the bindings'
// namespace (C#) in scope; the preprocessor lines, declarations and
// functions of its page's preamble, its own and its text at file (class)
// scope; their statements, in the same order, in the body of a function.
// Every piece keeps its page line.
std::string Wrapped(const Block& block, const std::string& language) {
    std::vector<Source> sources = PagePreambles(*block.page, language);
    sources.push_back(block.preamble);
    sources.push_back(block.source);
    std::string out[3];
    for (const Source& source : sources) {
        for (const Source& piece : Pieces(source)) {
            out[static_cast<int>(PlaceOf(language, piece.text))] +=
                LineMarker(piece.line, *block.page) + piece.text + "\n";
        }
    }
    if (language == "c") {
        return "#include <kivanime.h>\n" + out[0] +
               "void kivanime_doc_fragment(void);\nvoid kivanime_doc_fragment(void) {\n" + out[2] +
               "}\n";
    }
    // A fragment may name the bindings' namespace itself; twice is a warning.
    const bool named = std::regex_search(out[0], std::regex(R"(\busing\s+Kivanime\s*;)"));
    return (named ? "" : "using Kivanime;\n") + out[0] + "class KivanimeDocFragment {\n" + out[1] +
           "static void Fragment() {\n" + out[2] + "}\n}\n";
}

// Compiles every block in `language` but for those skipped, a program as it
// is and a fragment inside its wrapper (`compile` is told which); the source
// keeps the page's line numbers, so a compiler's message points into the page.
// How many were compiled and skipped is printed.
void CompileEvery(const std::string& language, const Compiler& compile) {
    const ScratchDir dir("kivanime_docs_" + language);
    const std::vector<Block> blocks = Blocks(language);
    int programs = 0, fragments = 0, skipped = 0;
    for (size_t i = 0; i < blocks.size(); ++i) {
        const Block& block = blocks[i];
        const std::string where = block.page->name + ":" + std::to_string(block.source.line - 1);
        if (Skipped(block)) {
            ++skipped;
            continue;
        }
        const bool fragment = block.kind == Block::Kind::kFragment;
        const std::string text =
            fragment ? Wrapped(block, language)
                     : LineMarker(block.source.line, *block.page) + block.source.text;
        const fs::path source = dir / (std::to_string(i) + (language == "c" ? ".c" : ".cs"));
        std::ofstream(source) << text;
        const ProgramRun run = compile(source, fragment);
        EXPECT_EQ(run.exitCode, 0)
            << where << ": this ```" << language
            << (fragment ? " fragment does not compile in its wrapper (README.md, \"The docs are "
                           "tested\"), which was:\n" +
                               text
                         : " block does not compile as a whole program (an excerpt takes the "
                           "line <!-- fragment --> before its fence):\n")
            << run.out << run.err;
        ++(fragment ? fragments : programs);
    }
    std::cout << "```" << language << " blocks: " << programs + fragments
              << " compiled (whole programs " << programs << ", fragments " << fragments << "), "
              << skipped << " skipped\n";
    EXPECT_GT(programs + fragments, 0)
        << "no ```" << language << " block compiled: the reader lost them";
}

// Compiles a C block: a program against the header and the library, a
// fragment (already wrapped) against the header alone.
ProgramRun CompileC(const fs::path& source, bool fragment) {
    const fs::path dir = source.parent_path();
    std::vector<std::string> args = {"-std=c99",     "-Wall",   "-Wextra",
                                     "-Wpedantic",   "-Werror", "-I" + (kTop / "include").string(),
                                     source.string()};
    if (fragment) {
        // A fragment's names are used by the code around it that the page
        // leaves out; it is compiled, not linked.
        args.insert(args.end(),
                    {"-Wno-unused-variable", "-Wno-unused-but-set-variable", "-Wno-unused-function",
                     "-Wno-unused-local-typedefs", "-c", "-o", (dir / "fragment.o").string()});
    } else {
        args.insert(args.end(), {KIVANIME_LIBRARY_FILE, "-o", (dir / "program").string()});
    }
    return RunProgram(KIVANIME_C_COMPILER, args, dir / "run");
}

void SkipWithoutMcs() {
    if (std::string(KIVANIME_MCS).empty()) {
        KIVANIME_CANNOT_RUN_HERE() << "mcs is missing (scripts/install-deps.sh csharp)";
    }
}

// Builds the bindings into `dir` as a C# 6 library and compiles a C# block
// against them, a program as an executable, a fragment (already wrapped) as
// a library.
Compiler CSharpCompiler(const ScratchDir& dir) {
    const std::string library = (dir / "Kivanime.dll").string();
    std::vector<std::string> args = {"-nologo", "-warnaserror+", "-langversion:6",
                                     "-target:library", "-out:" + library};
    std::istringstream sources(KIVANIME_CSHARP_SOURCES);
    for (std::string source; std::getline(sources, source, '|');) {
        args.push_back(source);
    }
    const ProgramRun bindings = RunProgram(KIVANIME_MCS, args, dir / "run");
    EXPECT_EQ(bindings.exitCode, 0) << bindings.out << bindings.err;
    return [library](const fs::path& source, bool fragment) {
        const fs::path out = source.parent_path();
        std::vector<std::string> flags = {"-nologo", "-warnaserror+", "-langversion:6",
                                          "-r:" + library};
        if (fragment) {
            // Declared and unused: the page leaves out the code that uses them.
            flags.insert(flags.end(), {"-target:library", "-nowarn:168,169,219,414,649",
                                       "-out:" + (out / "fragment.dll").string()});
        } else {
            flags.push_back("-out:" + (out / "program.exe").string());
        }
        flags.push_back(source.string());
        return RunProgram(KIVANIME_MCS, flags, out / "run");
    };
}

TEST(DocPrograms, EveryCBlockCompilesAgainstThePublicHeader) {
    CompileEvery("c", CompileC);
}

// The bindings promise any C# from 6 on; so does every program shown with
// them, which sees only their public surface, as a game's code does.
TEST(DocPrograms, EveryCSharpBlockCompilesWithTheBindings) {
    SkipWithoutMcs();
    const ScratchDir dir("kivanime_docs_bindings");
    CompileEvery("csharp", CSharpCompiler(dir));
}

// The wrapper puts each kind of piece where the language accepts it (file
// or class scope, or the function's body), keeps the tails of if/else,
// do/while and try/catch after their heads, and lets a real mistake through.
TEST(DocPrograms, TheFragmentWrapperPlacesEveryKindOfPiece) {
    SkipWithoutMcs();
    const ScratchDir dir("kivanime_docs_wrapper");
    const Compiler csharp = CSharpCompiler(dir);
    // {language, whether it compiles, the fragment}
    static const std::tuple<std::string, bool, const char*> kCases[] = {
        {"c", true,
         "#include <string.h>\n"
         "static int count;\n"
         "int32_t helper(int32_t x);\n"
         "typedef struct Pair { int a, b; } Pair;\n"
         "static int twice(int x) { return 2 * x; }\n"
         "Pair pair = {1, 2}; /* ; { */\n"
         "const char* text = \"}; {\";\n"
         "if (pair.a) { count = twice(pair.b); } else { count = 0; }\n"
         "do { --count; } while (count > 0);\n"
         "for (int i = 0; i < 2; ++i) { count += (int)strlen(text) + helper(i); }\n"
         "AnimeHostCallbacks host = {NULL, NULL, NULL, NULL};\n"
         "Anime_Init(&host);\n"},
        {"c", false, "Anime_Update();\n"},
        {"c", false, "static int twice(int x) { return 2 * x; }\ntwice(1, 2);\n"},
        {"csharp", true,
         "using System;\n"
         "using System.Text;\n"
         "using Kivanime;\n"
         "class Counter { public int Value; }\n"
         "static int Twice(int x) { return 2 * x; }\n"
         "const string Hero = \"hero\";\n"
         "var counter = new Counter { Value = Twice(2) };\n"
         "var text = new StringBuilder(\"}; {\");\n"
         "Action<int> add = n => { counter.Value += n; };\n"
         "try { add(1); } catch (Exception e) { text.Append(e.Message); }\n"
         "finally { text.Append(counter.Value); }\n"
         "using (var puppet = new Puppet(Hero)) { puppet.PlayMotion(\"walk\"); }\n"},
        {"csharp", false, "Anime.Update();\n"},
    };
    const Page page{"wrapper-case.md", {}};
    for (const auto& [language, compiles, fragment] : kCases) {
        const std::string text =
            Wrapped({&page, {1, fragment}, Block::Kind::kFragment, {}, ""}, language);
        const fs::path source = dir / (language == "c" ? "case.c" : "case.cs");
        std::ofstream(source) << text;
        const ProgramRun run = (language == "c" ? CompileC : csharp)(source, true);
        EXPECT_EQ(run.exitCode == 0, compiles) << text << run.out << run.err;
    }
}

// The command lines of ```sh blocks whose program is the player or the lint,
// by any path (a build folder's, the installed one), continuation lines
// joined, each expected to end with the status its "# exit N" comment gives,
// else 0. Each runs through the shell (wildcards expand as for a user) in a
// fresh folder holding examples/, with the built programs first on the PATH.
// The table of commands, with the statuses they ended with, is printed.
TEST(DocCommands, EveryPlayerAndLintCommandEndsAsThePageSays) {
    if (std::string(KIVANIME_PLAYER_EXE).empty()) {
        KIVANIME_CANNOT_RUN_HERE()
            << "kivanime-player was not built (it needs libpng, giflib and libsndfile: "
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
        if (Skipped(block)) {
            continue;
        }
        std::istringstream in(block.source.text);
        int next = block.source.line;
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
