#include <gtest/gtest.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Outcome
{
    int status = -1;
    std::string error;
};

// Runs adc-monitor with `args` taken byte for byte, no display, and collects standard error.
Outcome runMonitor(std::vector<std::string> args)
{
    int err[2];
    if (::pipe(err) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    args.insert(args.begin(), ADC_MONITOR_PATH);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    char* env[] = {nullptr};
    pid_t pid = -1;
    ::posix_spawn(&pid, ADC_MONITOR_PATH, &actions, nullptr, argv.data(), env);
    posix_spawn_file_actions_destroy(&actions);
    ::close(err[1]);
    Outcome outcome;
    char buf[512];
    for (ssize_t n; (n = ::read(err[0], buf, sizeof buf)) > 0;)
        outcome.error.append(buf, static_cast<std::size_t>(n));
    ::close(err[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

TEST(CommandLine, APortNameThatIsNotUtf8IsRefusedPlainly)
{
    const Outcome outcome = runMonitor({"--port", "/dev/tty\xff\xfe"});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.error.find("not valid UTF-8"), std::string::npos) << outcome.error;
}

} // namespace
