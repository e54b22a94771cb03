#include "ToolRunner.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace ombra_test {

namespace fs = std::filesystem;

bool Exists(const std::string& path) {
    std::error_code ignored;
    return fs::exists(fs::symlink_status(path, ignored));
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

namespace {
// In the child: only calls that are safe after fork.
[[noreturn]] void Exec(const RunHow& how, const std::string& out, const std::string& err,
                       char** argv, char** envp) {
    int in = ::open(how.input.c_str(), O_RDONLY);
    int o = ::open(how.output.empty() ? out.c_str() : how.output.c_str(),
                   O_WRONLY | O_CREAT | O_TRUNC, 0666);
    int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (in < 0 || o < 0 || e < 0 || ::dup2(in, 0) < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0)
        ::_exit(126);
    if (!how.folder.empty() && ::chdir(how.folder.c_str()) != 0) ::_exit(126);
    if (how.uid >= 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(how.uid) != 0 || ::setuid(how.uid) != 0))
        ::_exit(126);
    rlimit processes{static_cast<rlim_t>(how.processes), static_cast<rlim_t>(how.processes)};
    if (how.processes >= 0 && ::setrlimit(RLIMIT_NPROC, &processes) != 0) ::_exit(126);
    ::execve(argv[0], argv, envp);
    ::_exit(127);
}
} // namespace

ToolResult RunOmbra(const std::vector<std::string>& arguments, const RunHow& how) {
    ToolResult result;
    TempFolder capture;
    std::string outPath = capture / "out", errPath = capture / "err";
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        if (entry.rfind("LC_ALL=", 0) != 0 && entry.rfind("LC_MESSAGES=", 0) != 0 &&
            entry.rfind("LANG=", 0) != 0 && entry.rfind("LANGUAGE=", 0) != 0)
            environment.push_back(entry);
    }
    if (!how.language.empty()) environment.push_back("LANG=" + how.language);
    std::vector<std::string> words = {OMBRA_CLI};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> envp, argv;
    for (std::string& entry : environment)
        envp.push_back(&entry[0]);
    for (std::string& word : words)
        argv.push_back(&word[0]);
    envp.push_back(nullptr);
    argv.push_back(nullptr);

    pid_t child = ::fork();
    if (child == 0) Exec(how, outPath, errPath, argv.data(), envp.data());
    int status = 0;
    while (child > 0 && ::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.exitCode = 128 + WTERMSIG(status);
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
}

} // namespace ombra_test
