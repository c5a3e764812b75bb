// Runs a program as a user would from a shell and captures what it prints and
// how it ends, for tests of the command-line tools.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace kivanime::test {

struct ProgramRun {
    int exitCode = -1;
    bool crashed = false;
    std::string out;
    std::string err;
};

inline std::string ShellQuote(const std::string& text) {
#if defined(_WIN32)
    return "\"" + text + "\"";
#else
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
#endif
}

inline std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs `program` with `args`; its output goes through files in `scratch`.
inline ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                             const std::filesystem::path& scratch) {
    std::string command = ShellQuote(program);
    for (const std::string& arg : args) {
        command += " " + ShellQuote(arg);
    }
    std::filesystem::create_directories(scratch);
    const std::filesystem::path out = scratch / "stdout.txt";
    const std::filesystem::path err = scratch / "stderr.txt";
    command += " >" + ShellQuote(out.string()) + " 2>" + ShellQuote(err.string());
#if defined(_WIN32)
    command = "\"" + command + "\"";
#endif
    const int status = std::system(command.c_str());
    ProgramRun run;
#if defined(_WIN32)
    run.exitCode = status;
#else
    run.crashed = !WIFEXITED(status);
    run.exitCode = run.crashed ? -1 : WEXITSTATUS(status);
#endif
    run.out = ReadWholeFile(out);
    run.err = ReadWholeFile(err);
    return run;
}

}  // namespace kivanime::test
