// Runs the panelhost executable with an argument list (no shell) and keeps
// how it ended and what it wrote to stdout and stderr.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern char** environ;

namespace cli_test {

struct Outcome {
    bool exited = false;   // false: killed by a signal (a crash)
    int code = -1;         // exit code when exited
    int signal = 0;
    std::string out, err;
};

inline std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// `scratch` receives the two output files.
inline Outcome run_panelhost(const std::vector<std::string>& args, const std::filesystem::path& scratch) {
    const std::string out_file = (scratch / "stdout").string(), err_file = (scratch / "stderr").string();
    std::vector<std::string> argv_strings = {PANELHOST_EXE};
    argv_strings.insert(argv_strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_strings) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    Outcome r;
    if (spawned != 0) {
        r.err = "cannot start " + argv_strings[0];
        return r;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    r.exited = WIFEXITED(status);
    r.code = r.exited ? WEXITSTATUS(status) : -1;
    r.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    r.out = slurp(out_file);
    r.err = slurp(err_file);
    return r;
}

}  // namespace cli_test
